#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// What vxr-worker-ctl was asked to do, and how it reads and prints property values.
// The names and types mirror network.quorbel.vxrworker.Control1.xml (a test compares).
namespace vxr::ctl {

enum class Action { status, start, stop, toggle, quit, show, get, set, registerKey, watch };

struct Command {
    Action action = Action::status;
    bool json = false;
    QString name;  // get, set: the property as the interface spells it
    QString value; // set: the text to convert; register: the key

    bool operator==(const Command&) const = default;
};

struct PropertyInfo {
    const char* name;
    char type; // D-Bus signature: 'b', 'd', 'i' or 's'
    bool writable;
};

// The interface's properties, in the order status prints them.
[[nodiscard]] const QList<PropertyInfo>& properties();
// By name, ignoring case; nullptr when there is no such property.
[[nodiscard]] const PropertyInfo* findProperty(const QString& name);

// The arguments after the program name; nothing on a usage error.
[[nodiscard]] std::optional<Command> parseArguments(const QStringList& arguments);
[[nodiscard]] QString usageText();

// The text as the property's type: true/false, yes/no, on/off or 1/0 for booleans;
// any number the C locale reads (nan and inf too: the app judges the range).
[[nodiscard]] std::optional<QVariant> parseValue(const PropertyInfo& property, const QString& text);

[[nodiscard]] QString formatValue(const QVariant& value);
// "Name  value" lines in the table's order, unknown names last.
[[nodiscard]] QString statusText(const QVariantMap& values);
[[nodiscard]] QByteArray jsonText(const QVariantMap& values, bool indented);

} // namespace vxr::ctl
