#pragma once

#include "sim_config.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// The stand-in service's model of work: sandboxes fetch tasks of one or more
// jobs and run their slices one at a time, each slice in a process of the
// evaluator. No slice progresses unless an evaluator polls.
namespace vxr::sim {

struct ServiceOptions {
    int maxSandboxes = 1;
    bool joinGlobal = true;
    double budget = 0.5;                          // VXR_WORKER_MEMORY_BUDGET
    QString limitFile;                            // VXR_WORKER_MEMORY_LIMIT_FILE
    QString statsFile;                            // VXR_WORKER_MEMORY_STATS_FILE
    double heapLimitBytes = 4096.0 * 1024 * 1024; // from NODE_OPTIONS
    double totalMemoryBytes = 0;                  // the machine's memory
};

// Welford running statistics of slice memory peaks.
struct PeakStats {
    int n = 0;
    double mean = 0;
    double m2 = 0;
    void add(double x);
    [[nodiscard]] double sd() const;
};

struct TaskJob {
    QString jobId;
    int sliceCount = 0;
    int slicesDone = 0;
    std::vector<int> slicesLeft; // slice numbers not yet finished, the running one included
    double cpuMsSum = 0;
    double peakSum = 0;
    double peakMax = 0;
    int measured = 0;
    double inBytes = 0;
    double outBytes = 0;
    bool warm = false; // the sandbox had this job's code loaded already
};

struct Task {
    qint64 serial = 0;
    qint64 taskTime = 0; // ms since 1970 when fetched
    std::vector<TaskJob> jobs;
};

struct RunningSlice {
    QString id;
    int jobIndex = 0;
    int sliceNumber = 0;
    double mb = 0;
    bool sent = false; // handed to the evaluator
};

enum class SandboxState { idle, fetching, ready, waitingForMemory, running, finished };

struct Sandbox {
    int index = 0;
    SandboxState state = SandboxState::idle;
    qint64 since = 0;
    std::optional<Task> task;
    std::optional<RunningSlice> slice;
    QSet<QString> warmJobs;
    bool noWorkReported = false;
};

struct JobTotals {
    int slicesDone = 0;
    PeakStats fresh;
    PeakStats reused;
    int freshSandboxes = 0;
    int reusedSandboxes = 0;
    int warmLost = 0;
};

class Simulation {
public:
    using LogSink = std::function<void(const QString&)>;

    Simulation(SimConfig config, ServiceOptions options, LogSink log);

    // Moves the model forward; called a few times a second.
    void advance();

    // One exchange with the evaluator: it reports what runs and what finished,
    // and gets the slices to start and the ones to stop.
    [[nodiscard]] QJsonObject evaluatorPoll(const QJsonObject& request);

    [[nodiscard]] QJsonObject taskInfo() const;
    [[nodiscard]] QJsonObject runInfo() const;
    // Label, value and cell class of each HUD figure.
    [[nodiscard]] std::vector<std::array<QString, 3>> hudFigures() const;

    [[nodiscard]] bool evaluatorConnected() const;
    [[nodiscard]] double memoryLimitBytes();
    void writeStatsFile() const;

private:
    [[nodiscard]] qint64 now() const { return m_clock.elapsed(); }
    [[nodiscard]] qint64 scaledMs(double seconds) const;
    [[nodiscard]] const JobDefinition* job(const QString& id) const;
    [[nodiscard]] double committedMB() const;
    [[nodiscard]] int runningSlices() const;
    void fetchTask(Sandbox& sandbox);
    void startNextSlice(Sandbox& sandbox);
    void finishSlice(Sandbox& sandbox, const QJsonObject& report);
    void requeueSlice(Sandbox& sandbox, const QString& why);
    void setState(Sandbox& sandbox, SandboxState state);
    void log(const QString& line) const;

    SimConfig m_config;
    ServiceOptions m_options;
    LogSink m_log;
    QElapsedTimer m_clock;
    QRandomGenerator m_random;
    std::vector<Sandbox> m_sandboxes;
    QHash<QString, JobTotals> m_totals;
    QStringList m_seenJobs;
    qint64 m_nextSerial = 1;
    double m_earnings = 0;
    std::optional<QString> m_owner;
    QString m_workerId;
    qint64 m_lastEvaluatorPoll = -1;
    bool m_connected = false;
    bool m_webgpu = false;
    bool m_singleThreaded = true;
    qint64 m_evaluatorPid = 0;
    double m_limitBytes = 0;
    QString m_limitSource;
    qint64 m_limitReadAt = -1;
};

[[nodiscard]] const char* stateName(SandboxState state);
// Bytes in the most readable unit, "6.5 GB" style (2^30 bytes per GB).
[[nodiscard]] QString formatBytes(double bytes);

} // namespace vxr::sim
