// The worker service's local HTTP interface: status, run-info and task-info polls,
// the running-sandboxes rows and the throttle notice.
#include "controller/worker_controller.h"

#include "worker_interface/one_shot.h"
#include "worker_interface/poll_loops.h"
#include "worker_interface/sandbox_list_model.h"

#include <QDateTime>

namespace vxr {

namespace {
// Ends a loop now: a stopped loop emits nothing more. Deletion is deferred because
// the cancel may come from inside the loop's own signal.
template <typename Loop> void cancelLoop(QPointer<Loop>& handle) {
    if (Loop* loop = handle.data()) {
        loop->stop();
        loop->deleteLater();
    }
    handle = nullptr;
}
} // namespace

SandboxListModel* WorkerController::createSandboxModel() {
    return new SandboxListModel(this);
}

const QList<SandboxProgress>& WorkerController::sandboxes() const {
    return m_sandboxModel->rows();
}

void WorkerController::startStatusPoll() {
    cancelLoop(m_statusPollTask);
    m_statusPollTask = new StatusPoll(m_env.statusURL, m_env.timing, this);
    connect(m_statusPollTask, &StatusPoll::answered, this, [this] {
        setWorkerURL(m_env.statusURL);
        startRunInfoPoll();
    });
    m_statusPollTask->start();
}

void WorkerController::startRunInfoPoll() {
    cancelLoop(m_runInfoPollTask);
    m_runInfoPollTask = new RunInfoPoll(m_env.runInfoURL, m_env.timing, this);
    connect(m_runInfoPollTask, &RunInfoPoll::fetched, this, [this](const RunInfo& info) {
        setTotalEarnings(info.totalEarnings);
        setEarningsAccount(info.earningsAccount);
    });
    m_runInfoPollTask->start();
}

void WorkerController::startTaskInfoPoll() {
    cancelLoop(m_taskInfoPollTask);
    m_taskInfoPollTask = new TaskInfoPoll(m_env.taskInfoURL, m_env.timing, this);
    connect(m_taskInfoPollTask, &TaskInfoPoll::fetched, this,
            [this](const std::shared_ptr<const TaskInfo>& info, bool unchanged) {
                // The same document again: the rows and the history already hold it.
                if (unchanged)
                    return;
                setSandboxes(sandboxRows(info.get()));
                if (info)
                    Q_EMIT taskInfoFetched(*info);
            });
    m_taskInfoPollTask->start();
    alignIdleTickWithTaskInfo();
}

void WorkerController::cancelStatusPoll() {
    cancelLoop(m_statusPollTask);
}
void WorkerController::cancelRunInfoPoll() {
    cancelLoop(m_runInfoPollTask);
}
void WorkerController::cancelTaskInfoPoll() {
    cancelLoop(m_taskInfoPollTask);
}

void WorkerController::clearSandboxes() {
    setSandboxes({});
}

void WorkerController::setSandboxes(const QList<SandboxProgress>& rows) {
    const bool changed = m_sandboxModel->rows() != rows;
    m_sandboxModel->setRows(rows);
    if (changed)
        Q_EMIT sandboxesChanged();
}

void WorkerController::runOneShot(const QStringList& arguments, OneShotCompletion completion) {
    const QString command = arguments.value(0);
    const bool isShow = command.startsWith(QLatin1String("--show="));
    if (isShow) {
        // One question of each kind at a time: a crash loop launches the service every
        // 2 s, and a hung program must not collect a process per launch. Whoever asks
        // meanwhile gets the answer of one run started after the current one ends.
        if (const auto inFlight = m_showCommandsInFlight.find(command);
            inFlight != m_showCommandsInFlight.end()) {
            *inFlight = std::move(completion);
            return;
        }
        m_showCommandsInFlight.insert(command, nullptr);
        completion = [this, arguments, command,
                      completion = std::move(completion)](int status, const QString& output) {
            OneShotCompletion askedMeanwhile = m_showCommandsInFlight.take(command);
            if (askedMeanwhile)
                runOneShot(arguments, std::move(askedMeanwhile));
            else
                completion(status, output);
        };
    }
    const OneShotLimits limits{isShow ? m_env.timing.showCommandTimeout
                                      : m_env.timing.oneShotTimeout,
                               m_env.timing.killGracePeriod};
    vxr::runOneShot(m_env.binDir + QLatin1String("/vxr-worker.sh"), arguments, this,
                    std::move(completion), limits);
}

void WorkerController::loadThrottle() {
    runOneShot({QStringLiteral("--show=throttle")}, [this](int, const QString& output) {
        m_throttle = ThrottleSchedule::parse(output);
        setThrottleNotice(currentThrottleNotice());
    });
}

std::optional<QString> WorkerController::currentThrottleNotice() const {
    if (!m_throttle)
        return std::nullopt;
    return m_throttle->notice(QDateTime::currentDateTime());
}

} // namespace vxr
