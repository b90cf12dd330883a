#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace vxr {

// The per-user key-value store: a JSON file, which keeps booleans, numbers and strings
// apart (INI would turn everything into strings). The file is read once at
// construction and rewritten atomically at every change. A change first rereads the
// file, so two stores on one file (the controller's and the window's) keep each
// other's keys.
class SettingsStore {
public:
    explicit SettingsStore(const QString& filePath);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    [[nodiscard]] std::optional<QVariant> value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    [[nodiscard]] QStringList keys() const;
    [[nodiscard]] QString filePath() const;

    // The JSON <-> map conversion, exposed for tests and the fuzzer.
    [[nodiscard]] static std::optional<QVariantMap> decode(const QByteArray& json);
    [[nodiscard]] static QByteArray encode(const QVariantMap& map);

    // Far beyond a few settings and a window frame; a bigger file is not ours.
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

private:
    // The file's map as it is now (empty when there is none); nothing when it could not
    // be read, and then it has been moved aside.
    [[nodiscard]] std::optional<QVariantMap> load() const;
    void change(const QString& key, const std::optional<QVariant>& value);

    QString m_filePath;
    QVariantMap m_values;
};

// Typed readings of a stored value. Each answers nullopt when the stored value is
// not of the wanted type or would lose information converting.
[[nodiscard]] std::optional<bool> storedBool(const QVariant& value);
[[nodiscard]] std::optional<double> storedDouble(const QVariant& value);
[[nodiscard]] std::optional<qint64> storedInteger(const QVariant& value);
// The lenient boolean reading usual for preference stores: numbers are true when
// non-zero, strings when they start with y, Y, t, T or a digit 1-9.
[[nodiscard]] bool storedBoolLenient(const QVariant& value);

} // namespace vxr
