// Registration of the worker to the user's account and the worker-ID reset, both
// driven through one-shot runs of the worker program.
#include "controller/worker_controller.h"

#include "platform/child_process.h"

#include <QDateTime>

namespace vxr {

void WorkerController::setRegistrationStatus(const RegistrationStatus& status) {
    if (std::exchange(m_registrationStatus, status) != status)
        Q_EMIT registrationStatusChanged();
}

void WorkerController::checkRegistration() {
    setRegistrationStatus(RegistrationStatus::checking());
    runOneShot({QStringLiteral("--show=owner")}, [this](int status, const QString& output) {
        setRegistrationStatus(ownerCheckResult(status, output));
    });
}

void WorkerController::checkRegistrationIfUnknown() {
    if (m_registrationStatus.kind == RegistrationStatus::Kind::unknown)
        checkRegistration();
}

void WorkerController::registerWorker(const QString& key) {
    if (key.isEmpty())
        return;
    setRegistrationStatus(RegistrationStatus::registering());
    runOneShot({QStringLiteral("--register=") + key}, [this](int status, const QString& output) {
        if (const std::optional<QString> failure = registrationFailure(status, output)) {
            setRegistrationStatus(RegistrationStatus::failed(*failure));
            Q_EMIT registrationFinished(false, *failure);
            return;
        }
        Q_EMIT registrationFinished(true, QString());
        applyRegistration();
        checkRegistration();
    });
}

void WorkerController::applyRegistration() {
    setIsApplyingRegistration(true);
    setHoldServiceRelaunch(true);
    stopEvaluator();
    terminateService();
    // The worker program needs time to settle its new identity before the service
    // starts again with it; a further registration meanwhile starts that time anew.
    m_registrationSettleTimer.start(m_env.timing.registrationRestartDelay);
}

void WorkerController::finishRegistrationSettle() {
    setIsApplyingRegistration(false);
    if (m_isResettingWorkerId)
        return; // the reset's completion restarts the service
    setHoldServiceRelaunch(false);
    launchService();
    reconcileEvaluatorState();
}

void WorkerController::resetWorkerId() {
    if (m_isResettingWorkerId)
        return;
    setIsResettingWorkerId(true);
    setHoldServiceRelaunch(true);
    terminateService();
    waitForServiceExitThenReset(m_env.timing.resetExitPollAttempts);
}

void WorkerController::waitForServiceExitThenReset(int attemptsLeft) {
    // The service's exit handler clears m_serviceProcess; after the last attempt the
    // reset goes on regardless.
    if (m_serviceProcess && attemptsLeft > 0) {
        QTimer::singleShot(m_env.timing.resetExitPollInterval, this,
                           [this, attemptsLeft] { waitForServiceExitThenReset(attemptsLeft - 1); });
        return;
    }
    const std::optional<QString> backupError =
        backupLocalStorage(m_env.paths.homeDir, QDateTime::currentDateTimeUtc());
    runOneShot({QStringLiteral("--reset")}, [this, backupError](int status, const QString& output) {
        setHoldServiceRelaunch(false);
        setIsResettingWorkerId(false);
        // A service that outlived the wait still holds the port and its handle:
        // launchService() leaves it be, and its exit, no longer held, relaunches it.
        launchService();
        if (const auto failed = resetResult(status, output, backupError))
            setRegistrationStatus(*failed);
        else
            checkRegistration();
    });
}

} // namespace vxr
