#include "controller/worker_controller.h"

#include "core/diagnostics.h"
#include "core/number_text.h"
#include "platform/child_process.h"
#include "platform/process_log.h"

#include <QDir>
#include <QFileInfo>

namespace vxr {

void WorkerController::startServiceIfNeeded() {
    if (m_serviceRunning)
        return;
    startMemoryGovernor();
    launchService();
    checkRegistrationIfUnknown();
}

QStringList WorkerController::serviceArguments() const {
    QStringList arguments{QStringLiteral("--max-sandboxes=%1").arg(m_maxSandboxes),
                          QStringLiteral("--output=stdio"), QStringLiteral("-f"), pidFilePath()};
    if (!m_joinGlobalGroup)
        arguments << QStringLiteral("--no-global");
    return arguments;
}

QProcessEnvironment WorkerController::serviceEnvironment() const {
    QProcessEnvironment environment = m_env.processEnvironment;
    const QString heapOption = QStringLiteral("--max-old-space-size=4096");
    environment.insert(QStringLiteral("NODE_OPTIONS"),
                       environment.contains(QStringLiteral("NODE_OPTIONS"))
                           ? environment.value(QStringLiteral("NODE_OPTIONS")) + u' ' + heapOption
                           : heapOption);
    environment.insert(QStringLiteral("VXR_WORKER_MEMORY_BUDGET"),
                       shortestDecimalText(m_memoryCapPercent / 100.0));
    environment.insert(QStringLiteral("VXR_WORKER_MEMORY_LIMIT_FILE"), memoryLimitFilePath());
    environment.insert(QStringLiteral("VXR_WORKER_MEMORY_STATS_FILE"), memoryStatsFilePath());
    return environment;
}

void WorkerController::launchService() {
    m_serviceRelaunchTimer.stop();
    // One service at a time: a second beside a recorded one would lose the port race
    // and outlive us untracked, and a hold means an operation will launch it itself.
    if (m_shuttingDown || m_serviceProcess || m_holdServiceRelaunch)
        return;
    loadThrottle();
    QDir().mkpath(m_env.paths.appSupportDir);

    auto* process = new ChildProcess(m_env.binDir + QLatin1String("/vxr-worker.sh"),
                                     serviceArguments(), serviceEnvironment(), this);
    attachLogging(process, QStringLiteral("worker"));
    connect(process, &ChildProcess::exited, this,
            [this, process](int status) { handleServiceExit(process, status); });

    QString error;
    if (!process->start(&error)) {
        writeDiagnostic(QLatin1String("Failed to launch worker service: ") + error);
        process->deleteLater();
        setServiceRunning(false);
        if (!QFileInfo::exists(m_env.binDir + QLatin1String("/vxr-worker.sh")))
            Q_EMIT workerProgramsMissing(m_env.binDir);
        return;
    }
    m_serviceStopRequested = false;
    m_serviceProcess = process;
    setServiceRunning(true);
    startStatusPoll();
}

void WorkerController::handleServiceExit(ChildProcess* process, int status) {
    writeDiagnostic(QStringLiteral("worker service exited unexpectedly (status %1)").arg(status));
    if (m_serviceProcess != process) {
        process->deleteLater(); // a handle already given up: the current state is not its
        return;
    }
    releaseProcess(m_serviceProcess);
    if (!std::exchange(m_serviceStopRequested, false) && !m_shuttingDown)
        Q_EMIT serviceExitedUnexpectedly();
    const bool held = m_holdServiceRelaunch;
    setServiceRunning(false);
    setWorkerURL(std::nullopt);
    if (held)
        return;
    cancelStatusPoll();
    cancelRunInfoPoll();
    setTotalEarnings(0);
    setEarningsAccount(std::nullopt);
    m_serviceRelaunchTimer.start(m_env.timing.serviceRelaunchDelay);
}

void WorkerController::scheduleRestartForSandboxes() {
    m_sandboxRestartTimer.start(m_env.timing.sandboxRestartDebounce);
}

void WorkerController::attachLogging(ChildProcess* process, const QString& label) {
    // One log for every child, so that rotation sees all the writers.
    if (!m_processLog)
        m_processLog = std::make_shared<ProcessLog>(m_env.paths.tempDir, kProcessLogName);
    process->attachLogging(m_processLog, label);
}

} // namespace vxr
