#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

namespace vxr {

// Read-only build information (versions of the app and of the worker components),
// written by the build into a generated header. Each value is read once per process.
namespace BuildInfo {

// The worker installation may declare its components' versions in this file of its
// directory, a JSON object such as {"node": "20.11.1", "vxr-worker": "4.2.0"}. The names
// are the About rows' labels of the worker components.
inline constexpr auto workerVersionsFile = "vxr-versions.json";

// The information-dictionary entries a worker's versions file declares: each known name
// with a string value, under its key. Anything else, or a file that does not parse,
// declares nothing.
[[nodiscard]] QVariantMap workerDeclaredVersions(const QByteArray& json);

// What is known when the app runs: the build's keys, Qt's run-time version
// ("QtRuntimeVersion"), and the versions the worker installation in workerDir declares,
// which win over the build's (they describe what really runs).
[[nodiscard]] QVariantMap dictionary(const QString& workerDir);
// Same, for the worker directory the app uses.
[[nodiscard]] QVariantMap dictionary();

// The value under key when it is present and a string, else "unknown".
[[nodiscard]] QString string(const QVariantMap& dictionary, const QString& key);
[[nodiscard]] QString string(const QString& key);

[[nodiscard]] QString appVersion();
[[nodiscard]] QString releaseDate();
[[nodiscard]] QString nodeVersion();
[[nodiscard]] QString v8Version();
[[nodiscard]] QString uvwasiVersion();
[[nodiscard]] QString dawnVersion();
[[nodiscard]] QString vxrClientVersion();
[[nodiscard]] QString vxrWorkerLibVersion();
[[nodiscard]] QString vxrNativeVersion();

struct Row {
    QString label;
    QString key;
    bool operator==(const Row&) const = default;
};
// The About screen's version rows, in screen order.
[[nodiscard]] const QList<Row>& rows();

} // namespace BuildInfo

// Caches values from a dictionary source, reading it once on first use.
class BuildInfoCache {
public:
    explicit BuildInfoCache(std::function<QVariantMap()> source)
        : m_source(std::move(source)) {}
    [[nodiscard]] QString string(const QString& key);

private:
    std::function<QVariantMap()> m_source;
    std::optional<QVariantMap> m_values;
};

// Product configuration set at build time (placeholders under example.com by default).
struct ProductConfig {
    QString portalHost;
    QString makerSite;
    QString technicalContact;
    QString abuseContact;
};
[[nodiscard]] const ProductConfig& productConfig();

// One row of the About screen: a label and its value; contact rows also carry the
// value as a link.
struct AboutRow {
    Q_GADGET
    QML_VALUE_TYPE(aboutRow)
    Q_PROPERTY(QString label MEMBER label)
    Q_PROPERTY(QString value MEMBER value)
    Q_PROPERTY(QString html MEMBER html)

public:
    QString label;
    QString value;
    QString html;
};

// The About screen's data for QML.
class AboutInfo : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QVariantList versionRows READ versionRows CONSTANT) // AboutRow
    Q_PROPERTY(QString policyText READ policyText CONSTANT)
    Q_PROPERTY(QString policyHtml READ policyHtml CONSTANT)
    Q_PROPERTY(QVariantList contactRows READ contactRows CONSTANT) // AboutRow

public:
    using QObject::QObject;
    // In table order.
    [[nodiscard]] static QVariantList versionRows();
    [[nodiscard]] static QString policyText();
    [[nodiscard]] static QString policyURL();
    [[nodiscard]] static QString policyHtml();
    [[nodiscard]] static QVariantList contactRows();
};

} // namespace vxr
