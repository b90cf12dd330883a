#pragma once

#include <QDBusConnection>
#include <QObject>

namespace vxr {

// Whether the computer runs on battery, and whether it has one at all. Answers from
// what it last heard and never blocks: a source whose answer has not arrived yet says
// "on mains, no battery".
class PowerSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual bool onBattery() const = 0;
    [[nodiscard]] virtual bool hasBattery() const = 0;

signals:
    // Either answer changed.
    void changed();
};

// UPower on the system bus: OnBattery of org.freedesktop.UPower, followed through
// PropertiesChanged, and the display device's presence and type for hasBattery().
// Without UPower the computer counts as on mains power.
class UPowerSource : public PowerSource {
    Q_OBJECT

public:
    explicit UPowerSource(QDBusConnection bus = QDBusConnection::systemBus(),
                          QObject* parent = nullptr);

    [[nodiscard]] bool onBattery() const override { return m_onBattery; }
    [[nodiscard]] bool hasBattery() const override { return m_hasBattery; }

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    void readOnBattery();
    void readDisplayDevice();
    void update(bool onBattery, bool hasBattery);

    QDBusConnection m_bus;
    bool m_onBattery = false;
    bool m_hasBattery = false;
};

} // namespace vxr
