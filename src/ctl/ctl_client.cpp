#include "ctl/ctl_client.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

#include <cstdio>

namespace vxr::ctl {

namespace {

const QString kService = QStringLiteral("network.quorbel.vxrworker");
const QString kPath = QStringLiteral("/network/quorbel/vxrworker");
const QString kControl = QStringLiteral("network.quorbel.vxrworker.Control1");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kApplication = QStringLiteral("org.freedesktop.Application");

void print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

int error(const QString& message) {
    std::fprintf(stderr, "vxr-worker-ctl: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

Client::Client(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {}

QDBusMessage Client::call(const QString& interface, const QString& method,
                          const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(arguments);
    // Never start the app by asking it something.
    message.setAutoStartService(false);
    return m_bus.call(message, QDBus::Block, 10000);
}

int Client::fail(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return error(QStringLiteral("VXR Worker is not running"));
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface"))
        return error(QStringLiteral("the running VXR Worker has no control interface"));
    return error(reply.errorMessage().isEmpty() ? name : reply.errorMessage());
}

int Client::run(const Command& command) {
    if (!m_bus.isConnected())
        return error(QStringLiteral("no session bus"));
    m_json = command.json;
    QDBusMessage reply;
    switch (command.action) {
    case Action::status:
        reply = call(kProperties, QStringLiteral("GetAll"), {kControl});
        if (reply.type() != QDBusMessage::ReplyMessage)
            return fail(reply);
        {
            const QVariantMap values = qdbus_cast<QVariantMap>(reply.arguments().value(0));
            print(m_json ? QString::fromUtf8(jsonText(values, true)) : statusText(values));
        }
        return 0;
    case Action::get:
        reply = call(kProperties, QStringLiteral("Get"), {kControl, command.name});
        if (reply.type() != QDBusMessage::ReplyMessage)
            return fail(reply);
        print(formatValue(qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant()) +
              QLatin1Char('\n'));
        return 0;
    case Action::set: {
        const PropertyInfo* property = findProperty(command.name);
        const std::optional<QVariant> value = parseValue(*property, command.value);
        if (!value)
            return error(QStringLiteral("%1 cannot be \"%2\"").arg(command.name, command.value));
        reply = call(kProperties, QStringLiteral("Set"),
                     {kControl, command.name, QVariant::fromValue(QDBusVariant(*value))});
        break;
    }
    case Action::start:
        reply = call(kControl, QStringLiteral("Start"));
        break;
    case Action::stop:
        reply = call(kControl, QStringLiteral("Stop"));
        break;
    case Action::toggle:
        reply = call(kControl, QStringLiteral("Toggle"));
        break;
    case Action::registerKey:
        reply = call(kControl, QStringLiteral("Register"), {command.value});
        break;
    case Action::quit:
    case Action::show:
        reply =
            call(kApplication, QStringLiteral("ActivateAction"),
                 {command.action == Action::quit ? QStringLiteral("quit") : QStringLiteral("show"),
                  QVariantList(), QVariantMap()});
        break;
    case Action::watch:
        return watch();
    }
    return reply.type() == QDBusMessage::ReplyMessage ? 0 : fail(reply);
}

int Client::watch() {
    // Listen first, then make sure the app is there, so no change falls in between.
    m_bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    m_bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"),
                  {kService}, QString(), this, SLOT(ownerChanged(QString, QString, QString)));
    const QDBusMessage reply =
        call(kProperties, QStringLiteral("Get"), {kControl, QStringLiteral("ServiceRunning")});
    return reply.type() == QDBusMessage::ReplyMessage ? -1 : fail(reply);
}

void Client::propertiesChanged(const QString& interface, const QVariantMap& changed,
                               const QStringList&) {
    if (interface != kControl)
        return;
    print(m_json ? QString::fromUtf8(jsonText(changed, false)) + QLatin1Char('\n')
                 : statusText(changed));
}

void Client::ownerChanged(const QString& name, const QString&, const QString& newOwner) {
    if (name == kService && newOwner.isEmpty())
        emit finished(error(QStringLiteral("VXR Worker is not running")));
}

} // namespace vxr::ctl
