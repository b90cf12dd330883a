#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace vxr {

// The per-user key-value store: QSettings over a JSON file, which keeps booleans,
// numbers and strings apart (INI would turn everything into strings). Every write
// is synced at once through QSettings' atomic file replacement.
class SettingsStore {
public:
    explicit SettingsStore(const QString& filePath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    [[nodiscard]] std::optional<QVariant> value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    [[nodiscard]] QStringList keys() const;
    [[nodiscard]] QString filePath() const;

    // The JSON <-> settings-map conversion, exposed for tests and the fuzzer.
    [[nodiscard]] static std::optional<QSettings::SettingsMap> decode(const QByteArray& json);
    [[nodiscard]] static QByteArray encode(const QSettings::SettingsMap& map);

private:
    std::unique_ptr<QSettings> m_settings;
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
