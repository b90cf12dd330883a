#include "controller/worker_controller.h"

#include "controller/setting_bounds.h"
#include "controller/worker_programs_watch.h"
#include "core/async.h"
#include "core/diagnostics.h"
#include "platform/autostart_entry.h"
#include "platform/child_process.h"
#include "platform/cpu_topology.h"
#include "platform/idle_time_source.h"
#include "platform/power_source.h"
#include "platform/proc/process_tree.h"
#include "platform/process_log.h"
#include "platform/settings_store.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <csignal>

namespace vxr {

namespace {
const QString kJoinGlobalGroup = QStringLiteral("joinGlobalGroup");
const QString kMemoryCapPercent = QStringLiteral("memoryCapPercent");
const QString kYieldToOtherApps = QStringLiteral("yieldToOtherApps");
const QString kMemoryHeadroomGB = QStringLiteral("memoryHeadroomGB");
const QString kMaxSandboxes = QStringLiteral("maxSandboxes");
const QString kPauseOnBattery = QStringLiteral("pauseOnBattery");
const QString kShowNotifications = QStringLiteral("showNotifications");
// The idle rule as the user left it, kept only while the app starts at login.
const QString kLoginIdleRestriction = QStringLiteral("loginIdleRestrictionEnabled");
const QString kLoginIdleThreshold = QStringLiteral("loginIdleThresholdMinutes");

// A hand-edited file may hold any number: one outside what the screen allows is taken
// as no value at all, like a wrongly typed one, and left in the file as it is.
std::optional<double> storedWithin(const QVariant& stored, SettingBounds bounds) {
    const std::optional<double> value = storedDouble(stored);
    if (value && bounds.contains(*value))
        return value;
    return std::nullopt;
}
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
    connect(&m_sandboxRestartTimer, &QTimer::timeout, this, [this] { terminateService(); });
    m_serviceRelaunchTimer.setSingleShot(true);
    connect(&m_serviceRelaunchTimer, &QTimer::timeout, this, &WorkerController::launchService);
    m_registrationSettleTimer.setSingleShot(true);
    connect(&m_registrationSettleTimer, &QTimer::timeout, this,
            &WorkerController::finishRegistrationSettle);

    // Installed while the app runs: the service starts as soon as the programs are there.
    m_programs = new WorkerProgramsWatch(m_env.binDir, this);
    connect(m_programs, &WorkerProgramsWatch::foundChanged, this, [this] {
        Q_EMIT workerProgramsFoundChanged();
        if (m_programs->found() && !m_reapInFlight) {
            startServiceIfNeeded();
            reconcileEvaluatorState();
        }
    });

    readPersistedSettings();
    if (m_env.startedAtLogin && startAtLogin())
        restoreIdleRuleForLogin();
    followPowerSource();
    reconcileEvaluatorState();
    // A service left over from an instance that was killed still holds the port: the
    // new one would exit at once and be relaunched for ever.
    reapOrphansThen([this] { startServiceAtLaunch(); });
    startIdleTimer();
}

void WorkerController::startServiceAtLaunch() {
    if (m_shuttingDown)
        return; // quit came while the start-up reap ran
    if (evaluatorShouldRun()) {
        QTimer::singleShot(m_env.timing.initialServiceStartDelay, this,
                           [this] { startServiceIfNeeded(); });
    } else {
        startServiceIfNeeded();
    }
}

void WorkerController::reapOrphansThen(std::function<void()> next) {
    // A reap in flight ends the same orphans: a second would signal them again and
    // report each twice.
    if (!m_env.reapOrphanedWorkerProcesses || m_reapInFlight) {
        next();
        return;
    }
    m_reapInFlight = true;
    // Reading the process table and waiting for the reaped to go takes a while; the
    // GUI thread goes on meanwhile.
    whenFinished(QtConcurrent::run(m_env.reapOrphanedWorkerProcesses), this,
                 [this, next = std::move(next)](const QStringList& lines) {
                     m_reapInFlight = false;
                     for (const QString& line : lines)
                         writeDiagnostic(line);
                     next();
                 });
}

void WorkerController::terminateService() {
    if (!m_serviceProcess || !m_serviceProcess->isRunning())
        return;
    m_serviceStopRequested = true;
    m_serviceProcess->terminate();
}

void WorkerController::setHoldServiceRelaunch(bool hold) {
    m_holdServiceRelaunch = hold;
    if (hold)
        m_serviceRelaunchTimer.stop();
}

WorkerController::~WorkerController() = default;

void WorkerController::readPersistedSettings() {
    if (const auto stored = m_settings->value(kJoinGlobalGroup))
        m_joinGlobalGroup = storedBoolLenient(*stored);
    if (const auto stored = m_settings->value(kMemoryCapPercent))
        m_memoryCapPercent = storedWithin(*stored, memoryCapBounds).value_or(m_memoryCapPercent);
    if (const auto stored = m_settings->value(kYieldToOtherApps))
        m_yieldToOtherApps = storedBool(*stored).value_or(m_yieldToOtherApps);
    if (const auto stored = m_settings->value(kMemoryHeadroomGB))
        m_memoryHeadroomGB = storedWithin(*stored, headroomBounds).value_or(m_memoryHeadroomGB);
    if (const auto stored = m_settings->value(kPauseOnBattery))
        m_pauseOnBattery = storedBool(*stored).value_or(m_pauseOnBattery);
    if (const auto stored = m_settings->value(kShowNotifications))
        m_showNotifications = storedBool(*stored).value_or(m_showNotifications);

    m_maxSandboxes = m_performanceCores;
    const int processors =
        m_env.activeProcessors ? m_env.activeProcessors() : activeProcessorCount();
    if (const auto stored = m_settings->value(kMaxSandboxes)) {
        const auto value = storedInteger(*stored);
        if (value && sandboxesBounds(processors).contains(double(*value)))
            m_maxSandboxes = int(*value);
    }
}

void WorkerController::followPowerSource() {
    if (m_env.makePowerSource)
        m_powerSource = m_env.makePowerSource();
    if (!m_powerSource)
        return;
    connect(m_powerSource.get(), &PowerSource::changed, this, [this] {
        const bool wasPaused = pausedOnBattery();
        Q_EMIT hasBatteryChanged();
        if (std::exchange(m_onBattery, m_powerSource->onBattery()) != m_onBattery)
            Q_EMIT onBatteryChanged();
        if (pausedOnBattery() != wasPaused) {
            Q_EMIT pausedOnBatteryChanged();
            reconcileEvaluatorState(); // unplugged: the idle rule's compute stops now
        }
    });
}

bool WorkerController::hasBattery() const {
    return m_powerSource && m_powerSource->hasBattery();
}

void WorkerController::setPauseOnBattery(bool value) {
    if (m_pauseOnBattery == value)
        return;
    const bool wasPaused = pausedOnBattery();
    m_pauseOnBattery = value;
    m_settings->setValue(kPauseOnBattery, value);
    Q_EMIT pauseOnBatteryChanged();
    if (pausedOnBattery() != wasPaused) {
        Q_EMIT pausedOnBatteryChanged();
        reconcileEvaluatorState();
    }
}

void WorkerController::setShowNotifications(bool value) {
    if (std::exchange(m_showNotifications, value) == value)
        return;
    m_settings->setValue(kShowNotifications, value);
    Q_EMIT showNotificationsChanged();
}

bool WorkerController::startAtLogin() const {
    return autostart::isEnabled(m_env.paths.autostartFile);
}

void WorkerController::setStartAtLogin(bool value) {
    if (startAtLogin() == value)
        return;
    QString error;
    if (!autostart::setEnabled(m_env.paths.autostartFile, m_env.executable, value, &error)) {
        writeDiagnostic(QStringLiteral("Start at login: ") + error);
        Q_EMIT startAtLoginChanged(); // the box shows the state that stayed
        return;
    }
    if (value) {
        rememberIdleRuleForLogin();
    } else {
        m_settings->remove(kLoginIdleRestriction);
        m_settings->remove(kLoginIdleThreshold);
    }
    Q_EMIT startAtLoginChanged();
}

void WorkerController::rememberIdleRuleForLogin() {
    if (!startAtLogin())
        return;
    m_settings->setValue(kLoginIdleRestriction, m_idleRestrictionEnabled);
    m_settings->setValue(kLoginIdleThreshold, m_idleThresholdMinutes);
}

void WorkerController::restoreIdleRuleForLogin() {
    if (const auto stored = m_settings->value(kLoginIdleRestriction))
        m_idleRestrictionEnabled = storedBool(*stored).value_or(m_idleRestrictionEnabled);
    if (const auto stored = m_settings->value(kLoginIdleThreshold))
        m_idleThresholdMinutes =
            storedWithin(*stored, idleThresholdBounds).value_or(m_idleThresholdMinutes);
}

bool WorkerController::idleDetectionAvailable() const {
    return m_idleSource != nullptr;
}

QString WorkerController::idleSourceName() const {
    return m_idleSource ? m_idleSource->name() : QString();
}

QString WorkerController::logPath() const {
    return m_env.paths.tempDir + kProcessLogName;
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

// The run policy's inputs act at once: every writer (a screen, the tray, a script)
// only sets them.
void WorkerController::setIdleRestrictionEnabled(bool value) {
    if (std::exchange(m_idleRestrictionEnabled, value) == value)
        return;
    Q_EMIT idleRestrictionEnabledChanged();
    rememberIdleRuleForLogin();
    reconcileEvaluatorState();
}

void WorkerController::setIdleThresholdMinutes(double value) {
    if (std::exchange(m_idleThresholdMinutes, value) == value)
        return;
    Q_EMIT idleThresholdMinutesChanged();
    rememberIdleRuleForLogin();
    reconcileEvaluatorState();
}

void WorkerController::setManualOverride(bool value) {
    if (std::exchange(m_manualOverride, value) == value)
        return;
    Q_EMIT manualOverrideChanged();
    reconcileEvaluatorState();
}

bool WorkerController::workerProgramsFound() const {
    return m_programs->found();
}

void WorkerController::toggleCompute() {
    m_programs->recheck(); // a press after installing the programs finds them
    setManualOverride(!m_manualOverride);
}

// --- persisted settings ---

void WorkerController::setJoinGlobalGroup(bool value) {
    if (m_joinGlobalGroup == value)
        return;
    m_joinGlobalGroup = value;
    m_settings->setValue(kJoinGlobalGroup, value);
    Q_EMIT joinGlobalGroupChanged();
    // The relaunch that follows the exit picks up the new argument list.
    terminateService();
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
    askChildrenToStopForQuit();
    // Blocking: from aboutToQuit there is no event loop left to wait in.
    QElapsedTimer clock;
    clock.start();
    for (ChildProcess* child : {m_evaluatorProcess, m_serviceProcess}) {
        if (!child)
            continue;
        const qint64 left = m_env.timing.quitGracePeriod.count() - clock.elapsed();
        child->waitForExit(int(std::max<qint64>(left, 0)));
    }
    killChildrenLeftAtQuit();
    // The children's last lines are still queued; the log's writer ends with the process.
    if (m_processLog)
        (void)m_processLog->flush(std::chrono::seconds(1));
}

void WorkerController::shutdownForQuitThen(std::function<void()> done) {
    askChildrenToStopForQuit();
    // The event loop keeps running meanwhile: the D-Bus reply and the screens are not
    // held up by children that take their time.
    auto* poll = new QTimer(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    connect(poll, &QTimer::timeout, this, [this, poll, clock, done = std::move(done)] {
        const bool running = (m_evaluatorProcess && m_evaluatorProcess->isRunning()) ||
                             (m_serviceProcess && m_serviceProcess->isRunning());
        if (running && clock->elapsed() < m_env.timing.quitGracePeriod.count())
            return;
        poll->deleteLater();
        poll->stop();
        killChildrenLeftAtQuit();
        done();
    });
    poll->start(20);
}

void WorkerController::askChildrenToStopForQuit() {
    if (m_shuttingDown)
        return; // the quit path and aboutToQuit both come here
    // Tearing the application down can take longer than a relaunch delay; a child
    // started in that window would outlive us unsupervised.
    m_shuttingDown = true;
    m_sandboxRestartTimer.stop();
    m_serviceRelaunchTimer.stop();
    m_registrationSettleTimer.stop();
    m_idleTimer.stop();
    cancelStatusPoll();
    cancelTaskInfoPoll();
    cancelRunInfoPoll();
    if (m_evaluatorProcess && m_evaluatorProcess->isRunning())
        m_evaluatorProcess->terminate();
    terminateService();
    // A change from the last seconds would otherwise be lost with the process.
    m_jobHistory->saveNow();
}

void WorkerController::killChildrenLeftAtQuit() {
    // As a service manager stops a unit: what ignored the request is killed, with
    // everything it started, so nothing computes on unsupervised.
    QList<qint32> stubborn;
    for (ChildProcess* child : {m_evaluatorProcess, m_serviceProcess})
        if (child && child->isRunning())
            stubborn.append(qint32(child->pid()));
    if (stubborn.isEmpty())
        return;
    const QList<qint32> tree = ProcessTreeProbe(m_env.procRoot).snapshot(stubborn).keys();
    QSet<qint32> targets(tree.begin(), tree.end());
    targets.unite(QSet<qint32>(stubborn.begin(), stubborn.end()));
    for (qint32 pid : std::as_const(targets))
        ::kill(pid_t(pid), SIGKILL);
    writeDiagnostic(QStringLiteral("killed %1 worker process(es) still running %2 ms after quit "
                                   "asked them to stop")
                        .arg(targets.size())
                        .arg(m_env.timing.quitGracePeriod.count()));
    for (ChildProcess* child : {m_evaluatorProcess, m_serviceProcess})
        if (child)
            child->waitForExit(1000);
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
