#include "platform/desktop_notifications.h"

#include "platform/app_paths.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vxr {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kExpireDefault = -1;
constexpr int kReplyTimeoutMs = 5000;
// Ids of notifications that were clicked or closed are forgotten beyond this many.
constexpr qsizetype kRememberedIds = 32;
} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {
    if (m_bus.isConnected())
        m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)));
}

void DesktopNotifications::send(const QString& key, const QString& summary, const QString& body) {
    if (!m_bus.isConnected())
        return;
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QLatin1String(kBundleIdentifier)}};
    // "default" is the click on the notification itself.
    notify << QStringLiteral("VXR Worker") << uint(0) << QLatin1String(kBundleIdentifier) << summary
           << body << QStringList{QStringLiteral("default"), QStringLiteral("Open")} << hints
           << kExpireDefault;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError())
                    return;
                if (m_keys.size() >= kRememberedIds)
                    m_keys.clear();
                m_keys.insert(reply.value(), key);
            });
}

void DesktopNotifications::onActionInvoked(uint id, const QString& action) {
    const auto key = m_keys.constFind(id);
    if (key == m_keys.constEnd() || action != QLatin1String("default"))
        return;
    emit activated(*key);
}

} // namespace vxr
