#include "app/build_info.h"

#include "app/build_info_values.h"
#include "app/vxr_theme.h"
#include "controller/controller_environment.h"
#include "core/stored_file.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace vxr {

namespace BuildInfo {

namespace {

constexpr qint64 maxVersionsFileSize = 64 << 10;

// Declared name -> information-dictionary key.
const QList<std::pair<QLatin1String, QLatin1String>>& workerComponents() {
    static const QList<std::pair<QLatin1String, QLatin1String>> table = {
        {QLatin1String("node"), QLatin1String("VXRNodeVersion")},
        {QLatin1String("v8"), QLatin1String("VXRV8Version")},
        {QLatin1String("uvwasi"), QLatin1String("VXRUvwasiVersion")},
        {QLatin1String("dawn"), QLatin1String("VXRDawnVersion")},
        {QLatin1String("vxr-client"), QLatin1String("VXRClientVersion")},
        {QLatin1String("vxr-worker"), QLatin1String("VXRWorkerLibVersion")},
        {QLatin1String("vxr-native"), QLatin1String("VXRNativeVersion")},
    };
    return table;
}

QByteArray readVersionsFile(const QString& workerDir) {
    // The worker's directory is not ours: a link there may point anywhere, but only to a
    // regular file of sensible size.
    const StoredFile file =
        readStoredFile(workerDir + QLatin1Char('/') + QLatin1String(workerVersionsFile),
                       maxVersionsFileSize, SymlinkPolicy::follow);
    return file.status == StoredFile::Status::ok ? file.contents : QByteArray();
}

} // namespace

QVariantMap workerDeclaredVersions(const QByteArray& json) {
    const QJsonObject declared = QJsonDocument::fromJson(json).object();
    QVariantMap values;
    for (const auto& [name, key] : workerComponents()) {
        const QJsonValue value = declared.value(name);
        if (value.isString() && !value.toString().trimmed().isEmpty())
            values.insert(key, value.toString().trimmed());
    }
    return values;
}

QVariantMap dictionary(const QString& workerDir) {
    QVariantMap values;
    for (const auto& [key, value] : generated::buildInfoEntries) {
        if (key)
            values.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    }
    values.insert(QStringLiteral("QtRuntimeVersion"), QString::fromLatin1(qVersion()));
    values.insert(workerDeclaredVersions(readVersionsFile(workerDir)));
    return values;
}

QVariantMap dictionary() {
    return dictionary(ControllerEnvironment::defaultBinDir(QCoreApplication::applicationDirPath()));
}

QString string(const QVariantMap& dictionary, const QString& key) {
    const auto it = dictionary.constFind(key);
    if (it == dictionary.constEnd() || it->typeId() != QMetaType::QString)
        return QStringLiteral("unknown");
    return it->toString();
}

namespace {

BuildInfoCache& processCache() {
    static BuildInfoCache cache([] { return dictionary(); });
    return cache;
}

} // namespace

QString string(const QString& key) {
    return processCache().string(key);
}

QString appVersion() {
    return string(QStringLiteral("CFBundleShortVersionString"));
}
QString releaseDate() {
    return string(QStringLiteral("VXRReleaseDate"));
}
QString nodeVersion() {
    return string(QStringLiteral("VXRNodeVersion"));
}
QString v8Version() {
    return string(QStringLiteral("VXRV8Version"));
}
QString uvwasiVersion() {
    return string(QStringLiteral("VXRUvwasiVersion"));
}
QString dawnVersion() {
    return string(QStringLiteral("VXRDawnVersion"));
}
QString vxrClientVersion() {
    return string(QStringLiteral("VXRClientVersion"));
}
QString vxrWorkerLibVersion() {
    return string(QStringLiteral("VXRWorkerLibVersion"));
}
QString vxrNativeVersion() {
    return string(QStringLiteral("VXRNativeVersion"));
}

const QList<Row>& rows() {
    static const QList<Row> table = {
        {QStringLiteral("VXR Worker"), QStringLiteral("CFBundleShortVersionString")},
        {QStringLiteral("Release date"), QStringLiteral("VXRReleaseDate")},
        {QStringLiteral("Node"), QStringLiteral("VXRNodeVersion")},
        {QStringLiteral("V8"), QStringLiteral("VXRV8Version")},
        {QStringLiteral("uvwasi (WASI)"), QStringLiteral("VXRUvwasiVersion")},
        {QStringLiteral("WebGPU (Dawn)"), QStringLiteral("VXRDawnVersion")},
        {QStringLiteral("vxr-client"), QStringLiteral("VXRClientVersion")},
        {QStringLiteral("vxr-worker"), QStringLiteral("VXRWorkerLibVersion")},
        {QStringLiteral("vxr-native"), QStringLiteral("VXRNativeVersion")},
        {QStringLiteral("Qt"), QStringLiteral("QtRuntimeVersion")},
    };
    return table;
}

} // namespace BuildInfo

QString BuildInfoCache::string(const QString& key) {
    if (!m_values)
        m_values = m_source ? m_source() : QVariantMap{};
    return BuildInfo::string(*m_values, key);
}

const ProductConfig& productConfig() {
    static const ProductConfig config{
        QString::fromUtf8(generated::portalHost),
        QString::fromUtf8(generated::makerSite),
        QString::fromUtf8(generated::technicalContact),
        QString::fromUtf8(generated::abuseContact),
    };
    return config;
}

QVariantList AboutInfo::versionRows() {
    QVariantList list;
    for (const BuildInfo::Row& row : BuildInfo::rows())
        list.append(QVariant::fromValue(AboutRow{row.label, BuildInfo::string(row.key), {}}));
    return list;
}

QString AboutInfo::policyText() {
    return QStringLiteral("Worker Acceptable Use Policy ↗");
}

QString AboutInfo::policyURL() {
    QString site = productConfig().makerSite;
    while (site.endsWith(u'/'))
        site.chop(1);
    return site + QStringLiteral("/legal/worker-aup.html");
}

QString AboutInfo::policyHtml() {
    return QStringLiteral("<a href=\"%1\"><span style=\"color:%2\">%3</span></a>")
        .arg(policyURL().toHtmlEscaped(), VXRTheme::accent().name(), policyText());
}

QVariantList AboutInfo::contactRows() {
    const auto row = [](const QString& label, const QString& address) {
        return QVariant::fromValue(
            AboutRow{label, address,
                     QStringLiteral("<a href=\"mailto:%1\"><span style=\"color:%2\">%1</span></a>")
                         .arg(address.toHtmlEscaped(), VXRTheme::accent().name())});
    };
    return {row(QStringLiteral("Technical issues"), productConfig().technicalContact),
            row(QStringLiteral("Suspected abuse"), productConfig().abuseContact)};
}

} // namespace vxr
