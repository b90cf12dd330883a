#pragma once

#include "controller/controller_environment.h"
#include "jobs/job_history.h"
#include "memory/memory_governor.h"
#include "metrics/metrics_sampler.h"
#include "platform/activity_token.h"
#include "worker_interface/one_shot.h"
#include "worker_interface/registration.h"
#include "worker_interface/sandbox_list_model.h"
#include "worker_interface/throttle_schedule.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace vxr {

namespace test {
struct ControllerAccess;
}

class ChildProcess;
class IdleTimeSource;
class PowerSource;
class ProcessLog;
class WorkerProgramsWatch;

class RunInfoPoll;
class SettingsStore;
class StatusPoll;
class TaskInfoPoll;

// The children's output, in the private temporary directory.
inline constexpr QLatin1StringView kProcessLogName("vxrwork-processes.log");

// The one object that runs the worker on this machine: it supervises the worker
// service and the evaluator, decides when compute may run, keeps the settings and
// publishes everything the screens show. GUI thread only.
class WorkerController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool serviceRunning READ serviceRunning NOTIFY serviceRunningChanged)
    Q_PROPERTY(QUrl workerURL READ workerURLValue NOTIFY workerURLChanged)
    Q_PROPERTY(QString throttleNotice READ throttleNoticeValue NOTIFY throttleNoticeChanged)
    Q_PROPERTY(bool evaluatorsRunning READ evaluatorsRunning NOTIFY evaluatorsRunningChanged)
    Q_PROPERTY(bool isStopping READ isStopping NOTIFY isStoppingChanged)
    // The worker programs are installed in binDir (watched: an install is noticed).
    Q_PROPERTY(bool workerProgramsFound READ workerProgramsFound NOTIFY workerProgramsFoundChanged)
    Q_PROPERTY(QString binDir READ binDir CONSTANT)
    Q_PROPERTY(bool enableWebGPU READ enableWebGPU WRITE setEnableWebGPU NOTIFY enableWebGPUChanged)
    Q_PROPERTY(bool idleRestrictionEnabled READ idleRestrictionEnabled WRITE
                   setIdleRestrictionEnabled NOTIFY idleRestrictionEnabledChanged)
    Q_PROPERTY(double idleThresholdMinutes READ idleThresholdMinutes WRITE setIdleThresholdMinutes
                   NOTIFY idleThresholdMinutesChanged)
    Q_PROPERTY(bool manualOverride READ manualOverride WRITE setManualOverride NOTIFY
                   manualOverrideChanged)
    Q_PROPERTY(double idleSeconds READ idleSeconds NOTIFY idleSecondsChanged)
    Q_PROPERTY(bool idleDetectionAvailable READ idleDetectionAvailable CONSTANT)
    Q_PROPERTY(QString idleSourceName READ idleSourceName CONSTANT)
    // The computer runs on battery (false where that cannot be known).
    Q_PROPERTY(bool onBattery READ onBattery NOTIFY onBatteryChanged)
    Q_PROPERTY(bool hasBattery READ hasBattery NOTIFY hasBatteryChanged)
    Q_PROPERTY(bool pauseOnBattery READ pauseOnBattery WRITE setPauseOnBattery NOTIFY
                   pauseOnBatteryChanged)
    Q_PROPERTY(bool showNotifications READ showNotifications WRITE setShowNotifications NOTIFY
                   showNotificationsChanged)
    // The idle rule is on but starts nothing: the computer runs on battery.
    Q_PROPERTY(bool pausedOnBattery READ pausedOnBattery NOTIFY pausedOnBatteryChanged)
    // The desktop starts the app at login (its autostart entry is there and enabled).
    Q_PROPERTY(bool startAtLogin READ startAtLogin WRITE setStartAtLogin NOTIFY startAtLoginChanged)
    Q_PROPERTY(bool joinGlobalGroup READ joinGlobalGroup WRITE setJoinGlobalGroup NOTIFY
                   joinGlobalGroupChanged)
    Q_PROPERTY(double memoryCapPercent READ memoryCapPercent WRITE setMemoryCapPercent NOTIFY
                   memoryCapPercentChanged)
    Q_PROPERTY(bool yieldToOtherApps READ yieldToOtherApps WRITE setYieldToOtherApps NOTIFY
                   yieldToOtherAppsChanged)
    Q_PROPERTY(double memoryHeadroomGB READ memoryHeadroomGB WRITE setMemoryHeadroomGB NOTIFY
                   memoryHeadroomGBChanged)
    Q_PROPERTY(int maxSandboxes READ maxSandboxes WRITE setMaxSandboxes NOTIFY maxSandboxesChanged)
    Q_PROPERTY(double totalEarnings READ totalEarnings NOTIFY totalEarningsChanged)
    Q_PROPERTY(QString earningsAccount READ earningsAccountValue NOTIFY earningsAccountChanged)
    Q_PROPERTY(bool isResettingWorkerId READ isResettingWorkerId NOTIFY isResettingWorkerIdChanged)
    Q_PROPERTY(bool isApplyingRegistration READ isApplyingRegistration NOTIFY
                   isApplyingRegistrationChanged)
    Q_PROPERTY(int performanceCores READ performanceCores CONSTANT)
    Q_PROPERTY(vxr::MemoryGovernor* memoryGovernor READ memoryGovernor CONSTANT)
    Q_PROPERTY(vxr::MetricsSampler* metricsSampler READ metricsSampler CONSTANT)
    // Local worker interface: registration and the running-sandboxes rows.
    Q_PROPERTY(vxr::RegistrationStatus registrationStatus READ registrationStatus NOTIFY
                   registrationStatusChanged)
    Q_PROPERTY(vxr::SandboxListModel* sandboxModel READ sandboxModel CONSTANT)
    Q_PROPERTY(vxr::JobHistory* jobHistory READ jobHistory CONSTANT)

public:
    explicit WorkerController(ControllerEnvironment environment, QObject* parent = nullptr);
    ~WorkerController() override;

    // --- observable state ---
    bool serviceRunning() const { return m_serviceRunning; }
    const std::optional<QUrl>& workerURL() const { return m_workerURL; }
    QUrl workerURLValue() const { return m_workerURL.value_or(QUrl()); }
    const std::optional<QString>& throttleNotice() const { return m_throttleNotice; }
    QString throttleNoticeValue() const { return m_throttleNotice.value_or(QString()); }
    bool evaluatorsRunning() const { return m_evaluatorsRunning; }
    bool isStopping() const { return m_isStopping; }
    bool workerProgramsFound() const;
    bool enableWebGPU() const { return m_enableWebGPU; }
    bool idleRestrictionEnabled() const { return m_idleRestrictionEnabled; }
    double idleThresholdMinutes() const { return m_idleThresholdMinutes; }
    bool manualOverride() const { return m_manualOverride; }
    double idleSeconds() const { return m_idleSeconds; }
    bool idleDetectionAvailable() const;
    QString idleSourceName() const;
    bool onBattery() const { return m_onBattery; }
    bool hasBattery() const;
    bool pauseOnBattery() const { return m_pauseOnBattery; }
    bool showNotifications() const { return m_showNotifications; }
    bool pausedOnBattery() const { return m_pauseOnBattery && m_onBattery; }
    bool startAtLogin() const;
    bool joinGlobalGroup() const { return m_joinGlobalGroup; }
    double memoryCapPercent() const { return m_memoryCapPercent; }
    bool yieldToOtherApps() const { return m_yieldToOtherApps; }
    double memoryHeadroomGB() const { return m_memoryHeadroomGB; }
    int maxSandboxes() const { return m_maxSandboxes; }
    double totalEarnings() const { return m_totalEarnings; }
    const std::optional<QString>& earningsAccount() const { return m_earningsAccount; }
    QString earningsAccountValue() const { return m_earningsAccount.value_or(QString()); }
    bool isResettingWorkerId() const { return m_isResettingWorkerId; }
    bool isApplyingRegistration() const { return m_isApplyingRegistration; }
    int performanceCores() const { return m_performanceCores; }
    const RegistrationStatus& registrationStatus() const { return m_registrationStatus; }
    const QList<SandboxProgress>& sandboxes() const;
    SandboxListModel* sandboxModel() const { return m_sandboxModel; }
    JobHistory* jobHistory() const { return m_jobHistory; }
    const std::optional<ThrottleSchedule>& throttle() const { return m_throttle; }

    // Screens write these directly. A change of the run policy's inputs (the last
    // three) starts or stops compute at once.
    void setEnableWebGPU(bool value);
    void setIdleRestrictionEnabled(bool value);
    void setIdleThresholdMinutes(double value);
    void setManualOverride(bool value);

    // Persisted settings: a change is stored and acted on; an equal value does nothing.
    void setJoinGlobalGroup(bool value);
    void setMemoryCapPercent(double value);
    void setYieldToOtherApps(bool value);
    void setMemoryHeadroomGB(double value);
    void setMaxSandboxes(int value);
    void setPauseOnBattery(bool value);
    void setShowNotifications(bool value);
    // Writes or removes the autostart entry; while on, the idle rule is remembered for
    // starts at login.
    void setStartAtLogin(bool value);

    // --- operations ---
    // Stops every timer and poll, asks both children to stop, waits for them at most
    // Timing::quitGracePeriod, then kills what is left with its descendants. Blocks:
    // for aboutToQuit and tests.
    void shutdownForQuit();
    // The same without blocking: done runs once the children are gone.
    void shutdownForQuitThen(std::function<void()> done);
    // The Start/Stop button: flips manualOverride, which acts at once.
    Q_INVOKABLE void toggleCompute();
    [[nodiscard]] bool evaluatorShouldRun() const;
    [[nodiscard]] QList<qint32> metricsRootPIDs() const;
    // Created on first use, then the same instance for the life of the controller.
    MemoryGovernor* memoryGovernor();
    MetricsSampler* metricsSampler();

    // Registration and worker-ID reset (one-shot runs of the worker program). The key
    // goes to the worker program's command line and nowhere else.
    Q_INVOKABLE void checkRegistration();
    Q_INVOKABLE void registerWorker(const QString& key);
    Q_INVOKABLE void resetWorkerId();

    // --- for the platform layer and tests ---
    const ControllerEnvironment& environment() const { return m_env; }
    const Timing& timing() const { return m_env.timing; }
    QString binDir() const { return m_env.binDir; }
    QString logPath() const;
    QString pidFilePath() const;
    QString memoryLimitFilePath() const;
    QString memoryStatsFilePath() const;
    ChildProcess* serviceProcess() const { return m_serviceProcess; }
    ChildProcess* evaluatorProcess() const { return m_evaluatorProcess; }
    bool holdServiceRelaunch() const { return m_holdServiceRelaunch; }
    bool isServiceRelaunchPending() const { return m_serviceRelaunchTimer.isActive(); }
    bool isIdleTimerRunning() const { return m_idleTimer.isActive(); }

Q_SIGNALS:
    void serviceRunningChanged();
    void workerURLChanged();
    // Every assignment of workerURL, changed or not (the HUD view reloads on it).
    void workerURLAssigned(const QUrl& url);
    void throttleNoticeChanged();
    void evaluatorsRunningChanged();
    void isStoppingChanged();
    void workerProgramsFoundChanged();
    void enableWebGPUChanged();
    void idleRestrictionEnabledChanged();
    void idleThresholdMinutesChanged();
    void manualOverrideChanged();
    void idleSecondsChanged();
    void onBatteryChanged();
    void hasBatteryChanged();
    void pauseOnBatteryChanged();
    void showNotificationsChanged();
    void pausedOnBatteryChanged();
    void startAtLoginChanged();
    void joinGlobalGroupChanged();
    void memoryCapPercentChanged();
    void yieldToOtherAppsChanged();
    void memoryHeadroomGBChanged();
    void maxSandboxesChanged();
    void totalEarningsChanged();
    void earningsAccountChanged();
    void isResettingWorkerIdChanged();
    void isApplyingRegistrationChanged();
    void registrationStatusChanged();
    void sandboxesChanged();
    // Each task-info document fetched while the evaluator runs, after the rows were
    // set from it (the job history ingests it).
    void taskInfoFetched(const vxr::TaskInfo& info);
    // What the user did not ask for and may want to hear about.
    void serviceExitedUnexpectedly();
    void evaluatorExitedUnexpectedly();
    void workerProgramsMissing(const QString& binDir);
    void registrationFinished(bool succeeded, const QString& message);

private:
    // Tests drive the internals through this (tests/support/controller_access.h).
    friend struct test::ControllerAccess;

    void startServiceIfNeeded();
    void launchService();
    void scheduleRestartForSandboxes();
    void launchEvaluator();
    void stopEvaluator();
    void reconcileEvaluatorState();
    void checkRegistrationIfUnknown();
    // A hold also cancels a relaunch already scheduled.
    void setHoldServiceRelaunch(bool hold);
    // The service's environment and arguments as launchService() builds them.
    [[nodiscard]] QStringList serviceArguments() const;
    [[nodiscard]] QProcessEnvironment serviceEnvironment() const;
    [[nodiscard]] QStringList evaluatorArguments() const;

    void readPersistedSettings();
    void followPowerSource();
    void rememberIdleRuleForLogin();
    void restoreIdleRuleForLogin();
    void memorySettingChanged(bool changed);
    void attachLogging(ChildProcess* process, const QString& label);
    void handleServiceExit(ChildProcess* process, int status);
    void handleEvaluatorExit(ChildProcess* process, int status);
    void startIdleTimer();
    void idleTick();
    void alignIdleTickWithTaskInfo();
    void setServiceRunning(bool value);
    void setWorkerURL(const std::optional<QUrl>& url);
    void setEvaluatorsRunning(bool value);
    void setIsStopping(bool value);
    void setIdleSeconds(double value);
    void setTotalEarnings(double value);
    void setEarningsAccount(const std::optional<QString>& account);
    void setThrottleNotice(const std::optional<QString>& notice);
    void setIsApplyingRegistration(bool value);
    void setIsResettingWorkerId(bool value);
    void releaseProcess(ChildProcess*& handle);
    // Ends the service on purpose (a setting, a registration, quit): its exit is no
    // crash.
    void terminateService();

    // Worker-interface hooks (polls, throttle, registration).
    void startStatusPoll();
    void startRunInfoPoll();
    void startTaskInfoPoll();
    void cancelStatusPoll();
    void cancelRunInfoPoll();
    void cancelTaskInfoPoll();
    void loadThrottle();
    [[nodiscard]] std::optional<QString> currentThrottleNotice() const;
    void clearSandboxes();
    void setSandboxes(const QList<SandboxProgress>& rows);
    void setRegistrationStatus(const RegistrationStatus& status);
    void applyRegistration();
    void waitForServiceExitThenReset(int attemptsLeft);
    void runOneShot(const QStringList& arguments, OneShotCompletion completion);
    void finishRegistrationSettle();
    // Runs the orphan reaper off the GUI thread, writes what it reaped, then calls next.
    void reapOrphansThen(std::function<void()> next);
    void startServiceAtLaunch();
    void applyIdleReading(std::optional<double> seconds);
    void askChildrenToStopForQuit();
    void killChildrenLeftAtQuit();

    // Memory and metrics hooks.
    ProcessTreeWatch* treeWatch();
    void startMemoryGovernor();
    void notifyMemoryGovernor();
    void startMetricsSampler();

    ControllerEnvironment m_env;
    JobHistory* m_jobHistory = nullptr;
    std::unique_ptr<SettingsStore> m_settings;
    // Shared with the children's reader threads, which may outlive the controller.
    std::shared_ptr<ProcessLog> m_processLog;
    std::unique_ptr<IdleTimeSource> m_idleSource;
    int m_performanceCores = 1;

    bool m_serviceRunning = false;
    std::optional<QUrl> m_workerURL;
    std::optional<QString> m_throttleNotice;
    bool m_evaluatorsRunning = false;
    bool m_isStopping = false;
    bool m_enableWebGPU = true;
    bool m_idleRestrictionEnabled = false;
    double m_idleThresholdMinutes = 5.0;
    bool m_manualOverride = false;
    double m_idleSeconds = 0;
    bool m_onBattery = false;
    bool m_pauseOnBattery = true;
    bool m_showNotifications = true;
    std::unique_ptr<PowerSource> m_powerSource;
    bool m_joinGlobalGroup = true;
    double m_memoryCapPercent = 50;
    bool m_yieldToOtherApps = true;
    double m_memoryHeadroomGB = 1.5;
    int m_maxSandboxes = 1;
    double m_totalEarnings = 0;
    std::optional<QString> m_earningsAccount;
    bool m_isResettingWorkerId = false;
    bool m_isApplyingRegistration = false;

    WorkerProgramsWatch* m_programs = nullptr;
    ChildProcess* m_serviceProcess = nullptr;
    ChildProcess* m_evaluatorProcess = nullptr;
    bool m_holdServiceRelaunch = false;
    bool m_serviceStopRequested = false;
    bool m_evaluatorUserRequestedStop = false;
    // Set by shutdownForQuit(): no child is started after it.
    bool m_shuttingDown = false;
    std::optional<ActivityToken> m_evaluatorActivityToken;
    QPointer<ProcessTreeWatch> m_treeWatch;
    QPointer<MemoryGovernor> m_memoryGovernor;
    QPointer<MetricsSampler> m_metricsSampler;
    QTimer m_sandboxRestartTimer;
    QTimer m_serviceRelaunchTimer;
    QTimer m_registrationSettleTimer;
    QTimer m_idleTimer;
    bool m_idleReadInFlight = false;
    bool m_reapInFlight = false;
    // "--show=..." runs in flight, each with the completion of whoever asked meanwhile.
    QHash<QString, OneShotCompletion> m_showCommandsInFlight;

    // Local worker interface. Each loop is a child of the controller held by its
    // handle; starting a loop again or cancelling it ends the old one.
    QPointer<StatusPoll> m_statusPollTask;
    QPointer<RunInfoPoll> m_runInfoPollTask;
    QPointer<TaskInfoPoll> m_taskInfoPollTask;
    SandboxListModel* createSandboxModel();
    SandboxListModel* const m_sandboxModel{createSandboxModel()};
    std::optional<ThrottleSchedule> m_throttle;
    RegistrationStatus m_registrationStatus;
};

} // namespace vxr
