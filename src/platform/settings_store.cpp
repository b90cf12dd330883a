#include "platform/settings_store.h"

#include "core/atomic_file.h"
#include "core/stored_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <utility>

namespace vxr {

namespace {

constexpr double kMaxExactInteger = 9007199254740992.0; // 2^53

// A file we cannot read would be replaced by the next write and its contents lost:
// move it aside first, so the user can still recover it. A link is moved, not its
// target.
void setAside(const QString& path) {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QFile::rename(path, path + QLatin1String(".unreadable-") + stamp);
}

} // namespace

SettingsStore::SettingsStore(const QString& filePath)
    : m_filePath(filePath) {
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    m_values = load().value_or(QVariantMap());
}

std::optional<QVariantMap> SettingsStore::load() const {
    // Dotfile managers link the file elsewhere: the link is followed, but what it
    // leads to must still be a plain file.
    const StoredFile file = readStoredFile(m_filePath, kMaxFileBytes, SymlinkPolicy::follow);
    if (file.status == StoredFile::Status::absent)
        return QVariantMap();
    std::optional<QVariantMap> map;
    if (file.status == StoredFile::Status::ok)
        map = decode(file.contents);
    if (!map)
        setAside(m_filePath);
    return map;
}

void SettingsStore::change(const QString& key, const std::optional<QVariant>& value) {
    // What another store on the file wrote meanwhile is kept; a file gone unreadable
    // since is replaced by what this store knows.
    if (std::optional<QVariantMap> current = load())
        m_values = std::move(*current);
    if (value)
        m_values.insert(key, *value);
    else
        m_values.remove(key);
    (void)writeFileAtomically(m_filePath, encode(m_values));
}

std::optional<QVariant> SettingsStore::value(const QString& key) const {
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

void SettingsStore::setValue(const QString& key, const QVariant& value) {
    change(key, value);
}

void SettingsStore::remove(const QString& key) {
    if (m_values.contains(key) || load().value_or(QVariantMap()).contains(key))
        change(key, std::nullopt);
}

QStringList SettingsStore::keys() const {
    return m_values.keys();
}

QString SettingsStore::filePath() const {
    return m_filePath;
}

std::optional<QVariantMap> SettingsStore::decode(const QByteArray& json) {
    if (json.trimmed().isEmpty())
        return QVariantMap{};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QVariantMap map;
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

QByteArray SettingsStore::encode(const QVariantMap& map) {
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
