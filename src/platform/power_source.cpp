#include "platform/power_source.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace vxr {

namespace {
const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDisplayDevice = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr uint kBatteryType = 2; // UPower's device type for a battery
constexpr int kReplyTimeoutMs = 5000;

// Get(interface, name) without waiting: done sees the value, or an invalid one.
void getProperty(QDBusConnection& bus, QObject* context, const QString& path,
                 const QString& interface, const QString& name,
                 std::function<void(const QVariant&)> done) {
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("Get"));
    get << interface << name;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, kReplyTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *call;
                         done(reply.isError() ? QVariant() : reply.value().variant());
                     });
}
} // namespace

UPowerSource::UPowerSource(QDBusConnection bus, QObject* parent)
    : PowerSource(parent)
    , m_bus(std::move(bus)) {
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    readOnBattery();
    readDisplayDevice();
}

void UPowerSource::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                       const QStringList& invalidated) {
    if (interface != kService)
        return;
    const auto value = changed.constFind(QStringLiteral("OnBattery"));
    if (value != changed.constEnd())
        update(value->toBool(), m_hasBattery);
    else if (invalidated.contains(QStringLiteral("OnBattery")))
        readOnBattery();
    // A battery plugged in or removed changes the display device too.
    readDisplayDevice();
}

void UPowerSource::readOnBattery() {
    getProperty(m_bus, this, kPath, kService, QStringLiteral("OnBattery"),
                [this](const QVariant& value) { update(value.toBool(), m_hasBattery); });
}

void UPowerSource::readDisplayDevice() {
    getProperty(m_bus, this, kDisplayDevice, kDeviceInterface, QStringLiteral("Type"),
                [this](const QVariant& type) {
                    if (!type.isValid() || type.toUInt() != kBatteryType) {
                        update(m_onBattery, false);
                        return;
                    }
                    getProperty(
                        m_bus, this, kDisplayDevice, kDeviceInterface, QStringLiteral("IsPresent"),
                        [this](const QVariant& present) { update(m_onBattery, present.toBool()); });
                });
}

void UPowerSource::update(bool onBattery, bool hasBattery) {
    if (onBattery == m_onBattery && hasBattery == m_hasBattery)
        return;
    m_onBattery = onBattery;
    m_hasBattery = hasBattery;
    emit changed();
}

} // namespace vxr
