#include "controller/worker_controller.h"

#include "controller/run_policy.h"
#include "core/diagnostics.h"
#include "platform/child_process.h"
#include "platform/idle_time_source.h"

namespace vxr {

bool WorkerController::evaluatorShouldRun() const {
    return vxr::evaluatorShouldRun({m_isApplyingRegistration, m_manualOverride,
                                    m_idleRestrictionEnabled, m_idleSeconds, m_idleThresholdMinutes,
                                    pausedOnBattery()});
}

void WorkerController::reconcileEvaluatorState() {
    if (evaluatorShouldRun()) {
        if (!m_evaluatorsRunning && !m_isStopping)
            launchEvaluator();
    } else if (m_evaluatorsRunning && !m_isStopping) {
        stopEvaluator();
    }
}

QStringList WorkerController::evaluatorArguments() const {
    QStringList arguments{QStringLiteral("--")};
    if (m_enableWebGPU)
        arguments << QStringLiteral("--webgpu");
    arguments << QStringLiteral("-o") << QStringLiteral("--single-threaded");
    return arguments;
}

void WorkerController::launchEvaluator() {
    if (m_shuttingDown)
        return;
    m_evaluatorUserRequestedStop = false;
    startMetricsSampler();
    // Alongside the launch: a leftover evaluator is ended a moment after ours starts.
    reapOrphansThen([] {});

    auto* process = new ChildProcess(m_env.binDir + QLatin1String("/vxr-evaluator.sh"),
                                     evaluatorArguments(), m_env.processEnvironment, this);
    attachLogging(process, QStringLiteral("evaluator"));
    connect(process, &ChildProcess::exited, this,
            [this, process](int status) { handleEvaluatorExit(process, status); });

    QString error;
    if (!process->start(&error)) {
        writeDiagnostic(QLatin1String("Failed to launch evaluator: ") + error);
        process->deleteLater();
        return;
    }
    m_evaluatorProcess = process;
    setEvaluatorsRunning(true);
    m_evaluatorActivityToken =
        ActivityToken::begin(QStringLiteral("Running VXR compute evaluator"));
    startTaskInfoPoll();
}

void WorkerController::stopEvaluator() {
    if (!m_evaluatorsRunning || m_isStopping)
        return;
    m_evaluatorUserRequestedStop = true;
    setIsStopping(true);
    clearSandboxes();
    cancelTaskInfoPoll();
    if (m_evaluatorProcess && m_evaluatorProcess->isRunning()) {
        m_evaluatorProcess->terminate();
        return;
    }
    setEvaluatorsRunning(false);
    setIsStopping(false);
    releaseProcess(m_evaluatorProcess);
}

void WorkerController::handleEvaluatorExit(ChildProcess* process, int status) {
    if (process != m_evaluatorProcess) {
        process->deleteLater(); // a handle already given up
        return;
    }
    m_evaluatorActivityToken.reset();
    if (m_evaluatorUserRequestedStop) {
        writeDiagnostic(QStringLiteral("evaluator exited (requested), status %1").arg(status));
        setEvaluatorsRunning(false);
        setIsStopping(false);
        releaseProcess(m_evaluatorProcess);
        return;
    }
    writeDiagnostic(QStringLiteral("evaluator exited unexpectedly (status %1)").arg(status));
    if (!m_shuttingDown)
        Q_EMIT evaluatorExitedUnexpectedly();
    clearSandboxes();
    cancelTaskInfoPoll();
    releaseProcess(m_evaluatorProcess);
    setEvaluatorsRunning(false);
    if (evaluatorShouldRun()) {
        QTimer::singleShot(m_env.timing.evaluatorRelaunchDelay, this, [this] {
            if (evaluatorShouldRun() && !m_evaluatorsRunning)
                launchEvaluator();
        });
    }
}

void WorkerController::startIdleTimer() {
    m_idleTimer.stop();
    m_idleTimer.disconnect(this);
    connect(&m_idleTimer, &QTimer::timeout, this, &WorkerController::idleTick);
    m_idleTimer.start(m_env.timing.idleTickInterval);
    idleTick(); // the first tick runs at once
}

// The idle tick falls on a task-info fetch while both run, so that the two share one
// wake-up. The tick only ever comes sooner for it: at the last fetch before it is due.
void WorkerController::alignIdleTickWithTaskInfo() {
    const Millis step = m_env.timing.taskInfoInterval;
    if (!m_idleTimer.isActive() || step <= Millis(0))
        return;
    const Millis remaining(m_idleTimer.remainingTime());
    if (remaining % step != Millis(0))
        m_idleTimer.start(remaining - remaining % step); // its own interval again from there
}

void WorkerController::idleTick() {
    if (m_idleTimer.isActive() && m_idleTimer.intervalAsDuration() != m_env.timing.idleTickInterval)
        m_idleTimer.start(m_env.timing.idleTickInterval);
    if (!m_idleSource) {
        applyIdleReading(0.0);
        return;
    }
    // The decision waits for the reading taken now; a tick that finds the previous
    // question still unanswered leaves the decision to that answer.
    if (m_idleReadInFlight)
        return;
    m_idleReadInFlight = true;
    m_idleSource->readIdleSeconds(this, [this](std::optional<double> seconds) {
        m_idleReadInFlight = false;
        if (m_idleTimer.isActive())
            applyIdleReading(seconds);
    });
}

void WorkerController::applyIdleReading(std::optional<double> seconds) {
    setIdleSeconds(seconds.value_or(0.0));
    reconcileEvaluatorState();
    setThrottleNotice(currentThrottleNotice());
}

} // namespace vxr
