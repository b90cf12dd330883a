#include "controller/worker_controller.h"

#include "platform/child_process.h"
#include "platform/idle_time_source.h"
#include "platform/settings_store.h"

#include <QDir>

namespace vxr {

namespace {
const QString kJoinGlobalGroup = QStringLiteral("joinGlobalGroup");
const QString kMemoryCapPercent = QStringLiteral("memoryCapPercent");
const QString kYieldToOtherApps = QStringLiteral("yieldToOtherApps");
const QString kMemoryHeadroomGB = QStringLiteral("memoryHeadroomGB");
const QString kMaxSandboxes = QStringLiteral("maxSandboxes");
} // namespace

WorkerController::WorkerController(ControllerEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_env(std::move(environment)) {
    m_settings = std::make_unique<SettingsStore>(m_env.paths.settingsFile);
    m_jobHistory = new JobHistory(m_env.paths.appSupportDir, m_env.timing, {}, this);
    // The task-info poll hands every parsed document to the history as it fetched it.
    connect(this, &WorkerController::taskInfoFetched, m_jobHistory, &JobHistory::ingest);
    m_performanceCores = m_env.performanceCores ? std::max(1, m_env.performanceCores()) : 1;
    if (m_env.makeIdleTimeSource)
        m_idleSource = m_env.makeIdleTimeSource();

    m_sandboxRestartTimer.setSingleShot(true);
    connect(&m_sandboxRestartTimer, &QTimer::timeout, this, [this] {
        if (m_serviceProcess && m_serviceProcess->isRunning())
            m_serviceProcess->terminate();
    });

    readPersistedSettings();
    reconcileEvaluatorState();
    if (evaluatorShouldRun()) {
        QTimer::singleShot(m_env.timing.initialServiceStartDelay, this,
                           [this] { startServiceIfNeeded(); });
    } else {
        startServiceIfNeeded();
    }
    startIdleTimer();
}

WorkerController::~WorkerController() = default;

void WorkerController::readPersistedSettings() {
    if (const auto stored = m_settings->value(kJoinGlobalGroup))
        m_joinGlobalGroup = storedBoolLenient(*stored);
    if (const auto stored = m_settings->value(kMemoryCapPercent))
        m_memoryCapPercent = storedDouble(*stored).value_or(m_memoryCapPercent);
    if (const auto stored = m_settings->value(kYieldToOtherApps))
        m_yieldToOtherApps = storedBool(*stored).value_or(m_yieldToOtherApps);
    if (const auto stored = m_settings->value(kMemoryHeadroomGB))
        m_memoryHeadroomGB = storedDouble(*stored).value_or(m_memoryHeadroomGB);

    m_maxSandboxes = m_performanceCores;
    if (const auto stored = m_settings->value(kMaxSandboxes)) {
        const auto value = storedInteger(*stored);
        if (value && *value >= std::numeric_limits<int>::min() &&
            *value <= std::numeric_limits<int>::max())
            m_maxSandboxes = int(*value);
    }
}

bool WorkerController::idleDetectionAvailable() const {
    return m_idleSource != nullptr;
}

QString WorkerController::idleSourceName() const {
    return m_idleSource ? m_idleSource->name() : QString();
}

QString WorkerController::logPath() const {
    return m_env.paths.tempDir + QLatin1String("vxrwork-processes.log");
}

QString WorkerController::pidFilePath() const {
    return m_env.paths.tempDir + QLatin1String("vxr-worker.pid");
}

QString WorkerController::memoryLimitFilePath() const {
    return m_env.paths.tempDir + QLatin1String("vxr-worker-memory-limit.json");
}

QString WorkerController::memoryStatsFilePath() const {
    return m_env.paths.appSupportDir + QLatin1String("/memory-peaks.json");
}

// --- non-persisted switches ---

void WorkerController::setEnableWebGPU(bool value) {
    if (std::exchange(m_enableWebGPU, value) != value)
        Q_EMIT enableWebGPUChanged();
}

void WorkerController::setIdleRestrictionEnabled(bool value) {
    if (std::exchange(m_idleRestrictionEnabled, value) != value)
        Q_EMIT idleRestrictionEnabledChanged();
}

void WorkerController::setIdleThresholdMinutes(double value) {
    if (std::exchange(m_idleThresholdMinutes, value) != value)
        Q_EMIT idleThresholdMinutesChanged();
}

void WorkerController::setManualOverride(bool value) {
    if (std::exchange(m_manualOverride, value) != value)
        Q_EMIT manualOverrideChanged();
}

// --- persisted settings ---

void WorkerController::setJoinGlobalGroup(bool value) {
    if (m_joinGlobalGroup == value)
        return;
    m_joinGlobalGroup = value;
    m_settings->setValue(kJoinGlobalGroup, value);
    Q_EMIT joinGlobalGroupChanged();
    // The relaunch that follows the exit picks up the new argument list.
    if (m_serviceProcess && m_serviceProcess->isRunning())
        m_serviceProcess->terminate();
    // A change from the last seconds would otherwise be lost with the process.
    m_jobHistory->saveNow();
}

void WorkerController::setMemoryCapPercent(double value) {
    const bool changed = m_memoryCapPercent != value;
    m_memoryCapPercent = value;
    if (changed)
        Q_EMIT memoryCapPercentChanged();
    memorySettingChanged(changed);
}

void WorkerController::setYieldToOtherApps(bool value) {
    const bool changed = m_yieldToOtherApps != value;
    m_yieldToOtherApps = value;
    if (changed)
        Q_EMIT yieldToOtherAppsChanged();
    memorySettingChanged(changed);
}

void WorkerController::setMemoryHeadroomGB(double value) {
    const bool changed = m_memoryHeadroomGB != value;
    m_memoryHeadroomGB = value;
    if (changed)
        Q_EMIT memoryHeadroomGBChanged();
    memorySettingChanged(changed);
}

void WorkerController::memorySettingChanged(bool changed) {
    if (!changed)
        return;
    m_settings->setValue(kMemoryCapPercent, m_memoryCapPercent);
    m_settings->setValue(kYieldToOtherApps, m_yieldToOtherApps);
    m_settings->setValue(kMemoryHeadroomGB, m_memoryHeadroomGB);
    notifyMemoryGovernor();
}

void WorkerController::setMaxSandboxes(int value) {
    if (m_maxSandboxes == value)
        return;
    m_maxSandboxes = value;
    m_settings->setValue(kMaxSandboxes, qint64(value));
    Q_EMIT maxSandboxesChanged();
    scheduleRestartForSandboxes();
}

// --- observable setters for internal state ---

void WorkerController::setServiceRunning(bool value) {
    if (std::exchange(m_serviceRunning, value) != value)
        Q_EMIT serviceRunningChanged();
}

void WorkerController::setWorkerURL(const std::optional<QUrl>& url) {
    if (std::exchange(m_workerURL, url) != url)
        Q_EMIT workerURLChanged();
    Q_EMIT workerURLAssigned(url.value_or(QUrl()));
}

void WorkerController::setEvaluatorsRunning(bool value) {
    if (std::exchange(m_evaluatorsRunning, value) != value)
        Q_EMIT evaluatorsRunningChanged();
}

void WorkerController::setIsStopping(bool value) {
    if (std::exchange(m_isStopping, value) != value)
        Q_EMIT isStoppingChanged();
}

void WorkerController::setIdleSeconds(double value) {
    if (std::exchange(m_idleSeconds, value) != value)
        Q_EMIT idleSecondsChanged();
}

void WorkerController::setTotalEarnings(double value) {
    if (std::exchange(m_totalEarnings, value) != value)
        Q_EMIT totalEarningsChanged();
}

void WorkerController::setEarningsAccount(const std::optional<QString>& account) {
    if (std::exchange(m_earningsAccount, account) != account)
        Q_EMIT earningsAccountChanged();
}

void WorkerController::setThrottleNotice(const std::optional<QString>& notice) {
    if (std::exchange(m_throttleNotice, notice) != notice)
        Q_EMIT throttleNoticeChanged();
}

void WorkerController::setIsApplyingRegistration(bool value) {
    if (std::exchange(m_isApplyingRegistration, value) != value)
        Q_EMIT isApplyingRegistrationChanged();
}

void WorkerController::setIsResettingWorkerId(bool value) {
    if (std::exchange(m_isResettingWorkerId, value) != value)
        Q_EMIT isResettingWorkerIdChanged();
}

// --- quit ---

void WorkerController::shutdownForQuit() {
    // Tearing the application down can take longer than a relaunch delay; a child
    // started in that window would outlive us unsupervised.
    m_shuttingDown = true;
    m_sandboxRestartTimer.stop();
    m_idleTimer.stop();
    cancelStatusPoll();
    cancelTaskInfoPoll();
    cancelRunInfoPoll();
    if (m_evaluatorProcess && m_evaluatorProcess->isRunning())
        m_evaluatorProcess->terminate();
    if (m_serviceProcess && m_serviceProcess->isRunning())
        m_serviceProcess->terminate();
    // A change from the last seconds would otherwise be lost with the process.
    m_jobHistory->saveNow();
}

QList<qint32> WorkerController::metricsRootPIDs() const {
    QList<qint32> pids;
    for (const ChildProcess* process : {m_serviceProcess, m_evaluatorProcess})
        if (process && process->pid() > 0)
            pids.append(qint32(process->pid()));
    return pids;
}

void WorkerController::releaseProcess(ChildProcess*& handle) {
    if (handle)
        handle->deleteLater();
    handle = nullptr;
}

} // namespace vxr
