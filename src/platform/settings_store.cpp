#include "platform/settings_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace vxr {

namespace {

constexpr double kMaxExactInteger = 9007199254740992.0; // 2^53

bool readJson(QIODevice& device, QSettings::SettingsMap& map) {
    const auto decoded = SettingsStore::decode(device.readAll());
    if (!decoded)
        return false;
    map = *decoded;
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map) {
    const QByteArray bytes = SettingsStore::encode(map);
    return device.write(bytes) == bytes.size();
}

QSettings::Format jsonFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson);
    return format;
}

// A file we cannot read would be replaced by the next write and its contents lost:
// move it aside first, so the user can still recover it.
void setAsideIfUnreadable(const QString& path) {
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    const bool readable = SettingsStore::decode(file.readAll()).has_value();
    file.close();
    if (readable)
        return;
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QFile::rename(path, path + QLatin1String(".unreadable-") + stamp);
}

} // namespace

SettingsStore::SettingsStore(const QString& filePath) {
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    setAsideIfUnreadable(filePath);
    m_settings = std::make_unique<QSettings>(filePath, jsonFormat());
}

SettingsStore::~SettingsStore() = default;

std::optional<QVariant> SettingsStore::value(const QString& key) const {
    if (!m_settings->contains(key))
        return std::nullopt;
    return m_settings->value(key);
}

void SettingsStore::setValue(const QString& key, const QVariant& value) {
    m_settings->setValue(key, value);
    m_settings->sync();
}

void SettingsStore::remove(const QString& key) {
    m_settings->remove(key);
    m_settings->sync();
}

QStringList SettingsStore::keys() const {
    return m_settings->allKeys();
}

QString SettingsStore::filePath() const {
    return m_settings->fileName();
}

std::optional<QSettings::SettingsMap> SettingsStore::decode(const QByteArray& json) {
    if (json.trimmed().isEmpty())
        return QSettings::SettingsMap{};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QSettings::SettingsMap map;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonValue value = it.value();
        if (value.isDouble()) {
            // Integral numbers come back as integers so integer settings stay integers.
            const double number = value.toDouble();
            if (std::trunc(number) == number && std::fabs(number) <= kMaxExactInteger)
                map.insert(it.key(), QVariant::fromValue(qint64(number)));
            else
                map.insert(it.key(), number);
        } else {
            map.insert(it.key(), value.toVariant());
        }
    }
    return map;
}

QByteArray SettingsStore::encode(const QSettings::SettingsMap& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<bool> storedBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // A number converts to a boolean without loss only when it is 0 or 1.
    if (const auto integer = storedInteger(value); integer && (*integer == 0 || *integer == 1))
        return *integer == 1;
    return std::nullopt;
}

std::optional<double> storedDouble(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toDouble();
    default:
        return std::nullopt;
    }
}

std::optional<qint64> storedInteger(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (std::trunc(number) != number || std::fabs(number) > kMaxExactInteger)
            return std::nullopt;
        return qint64(number);
    }
    default:
        return std::nullopt;
    }
}

bool storedBoolLenient(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (const auto number = storedDouble(value))
        return *number != 0.0;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return false;
        const QChar first = text.front();
        return first == u'y' || first == u'Y' || first == u't' || first == u'T' ||
               (first >= u'1' && first <= u'9');
    }
    return false;
}

} // namespace vxr
