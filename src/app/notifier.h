#pragma once

#include "app/shell_rules.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

namespace vxr {

class DesktopNotifications;
class WorkerController;

// The service's exits as a crash loop: three unexpected exits within a minute make one
// notice, and the next only after the service has run for a minute again.
class CrashLoopWatch {
public:
    void started(const QDateTime& at) { m_startedAt = at; }
    // True when this exit completes a crash loop that was not reported yet.
    [[nodiscard]] bool exited(const QDateTime& at);

private:
    QList<QDateTime> m_exits;
    QDateTime m_startedAt;
    bool m_reported = false;
};

// Tells the user through desktop notifications what went wrong or finished while they
// were not looking; a click opens the window on the screen that matters. Nothing is
// said of what the user just did (Start, Stop, a setting).
class Notifier : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    Notifier(WorkerController* controller, DesktopNotifications* notifications,
             Clock now = &QDateTime::currentDateTimeUtc, QObject* parent = nullptr);

signals:
    void openRequested(vxr::NavTab tab);

private:
    void notify(NavTab tab, const QString& summary, const QString& body);

    QPointer<WorkerController> m_controller;
    DesktopNotifications* m_notifications;
    Clock m_now;
    CrashLoopWatch m_serviceExits;
};

} // namespace vxr
