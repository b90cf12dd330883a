#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

namespace vxr {

// Notifications through org.freedesktop.Notifications. Sending never waits for the
// server; a click on a notification comes back as activated() with the key it was
// sent with. Without a notification server nothing is shown.
class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);

    void send(const QString& key, const QString& summary, const QString& body);

signals:
    void activated(const QString& key);

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection m_bus;
    QHash<uint, QString> m_keys; // notification id → key, for the clicks
};

} // namespace vxr
