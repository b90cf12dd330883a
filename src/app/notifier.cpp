#include "app/notifier.h"

#include "controller/worker_controller.h"
#include "platform/desktop_notifications.h"

namespace vxr {

namespace {
constexpr qint64 kLoopWindowMs = 60'000;
constexpr qsizetype kLoopExits = 3;
} // namespace

bool CrashLoopWatch::exited(const QDateTime& at) {
    // A service that ran a minute is well again: a new loop is news again.
    if (m_startedAt.isValid() && m_startedAt.msecsTo(at) >= kLoopWindowMs) {
        m_exits.clear();
        m_reported = false;
    }
    m_startedAt = QDateTime(); // that run is over
    m_exits.append(at);
    while (!m_exits.isEmpty() && m_exits.first().msecsTo(at) > kLoopWindowMs)
        m_exits.removeFirst();
    if (m_reported || m_exits.size() < kLoopExits)
        return false;
    m_reported = true;
    return true;
}

Notifier::Notifier(WorkerController* controller, DesktopNotifications* notifications, Clock now,
                   QObject* parent)
    : QObject(parent)
    , m_controller(controller)
    , m_notifications(notifications)
    , m_now(std::move(now)) {
    connect(controller, &WorkerController::serviceRunningChanged, this, [this] {
        if (m_controller && m_controller->serviceRunning())
            m_serviceExits.started(m_now());
    });
    connect(controller, &WorkerController::serviceExitedUnexpectedly, this, [this] {
        if (m_serviceExits.exited(m_now()))
            notify(NavTab::logs, QStringLiteral("The worker service keeps stopping"),
                   QStringLiteral("It exited three times within a minute. VXR Worker keeps "
                                  "restarting it; the log may say why."));
    });
    connect(controller, &WorkerController::evaluatorExitedUnexpectedly, this, [this] {
        notify(NavTab::home, QStringLiteral("Compute stopped unexpectedly"),
               QStringLiteral("The sandbox evaluator exited on its own."));
    });
    connect(controller, &WorkerController::registrationFinished, this,
            [this](bool succeeded, const QString& message) {
                if (succeeded)
                    notify(NavTab::settings, QStringLiteral("Worker registered"),
                           QStringLiteral("This worker now earns for your account."));
                else
                    notify(NavTab::settings, QStringLiteral("Registration failed"), message);
            });
    connect(controller, &WorkerController::workerProgramsMissing, this,
            [this](const QString& binDir) {
                notify(NavTab::home, QStringLiteral("Worker programs not found"),
                       QStringLiteral("VXR Worker looked for them in %1.").arg(binDir));
            });
    connect(notifications, &DesktopNotifications::activated, this, [this](const QString& key) {
        bool ok = false;
        const int tab = key.toInt(&ok);
        if (ok && tab >= 0 && tab < navTabCount)
            emit openRequested(NavTab(tab));
    });
}

void Notifier::notify(NavTab tab, const QString& summary, const QString& body) {
    if (!m_controller || !m_controller->showNotifications())
        return;
    // Logs needs a page; without one the user lands Home.
    const NavTab shown = tabAfterWorkerURLChange(tab, m_controller->workerURLValue());
    m_notifications->send(QString::number(int(shown)), summary, body);
}

} // namespace vxr
