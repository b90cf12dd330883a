#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Configuration of the stand-in worker programs: a small JSON file beside the
// scripts (or $VXR_SIM_CONFIG) plus environment variables. Everything has a
// default so the stand-in runs without any file.
namespace vxr::sim {

// What fraction of a slice's memory goes where in the reported breakdown.
struct BreakdownShares {
    double heap = 0.45;
    double arrayBuffers = 0.2;
    double wasm = 0.25;
    bool operator==(const BreakdownShares&) const = default;
};

struct JobDefinition {
    QString id;
    QString name;
    QString cgId;
    bool global = true;      // taken only when the worker joins the global group
    double sliceSeconds = 5; // wall time a slice runs
    double sliceMB = 64;     // memory a slice really holds (and the estimate for admission)
    double cpuLoad = 0.7;    // share of one core each burning thread uses
    int threads = 1;         // threads per slice unless --single-threaded
    double inBytes = 100000; // bytes fetched per slice (simulated)
    double outBytes = 5000;  // bytes sent per slice (simulated)
    double gpuMs = 0;        // GPU time per slice, only with --webgpu (simulated)
    double credit = 0.002;   // earnings per finished slice
    BreakdownShares breakdown;
    bool operator==(const JobDefinition&) const = default;
};

struct ThrottleConfig {
    QString schedule; // printed as configured, so malformed schedules can be tried too
    QString timezone; // empty: no timezone line
    bool operator==(const ThrottleConfig&) const = default;
};

struct SimConfig {
    std::vector<JobDefinition> jobs;
    std::optional<ThrottleConfig> throttle;
    QStringList mismatchKeys;
    int minSlicesPerTask = 3;
    int maxSlicesPerTask = 6;
    int maxJobsPerTask = 2;
    double fetchSeconds = 1.0;            // time to fetch a new task into an idle sandbox
    double finishedSeconds = 2.0;         // a finished task stays visible this long
    double reserveMB = 96;                // memory kept back for the worker process itself
    double timeScale = 1.0;               // multiplies every duration above and the slice times
    double evaluatorTimeoutSeconds = 2.5; // no poll for this long: evaluator gone
};

// The default jobs when the file has none.
[[nodiscard]] std::vector<JobDefinition> defaultJobs();

// Parses the configuration text; unknown keys are ignored, wrongly typed values
// keep their defaults. Returns the defaults with an error text for unreadable JSON.
[[nodiscard]] SimConfig parseSimConfig(const QByteArray& text, QString* error = nullptr);

// $VXR_SIM_CONFIG, else "vxr-sim.json" in the scripts' directory (two levels
// above the executables).
[[nodiscard]] QString simConfigPath();

// Reads the file (a missing file gives the defaults) and applies the
// environment overrides (VXR_SIM_TIME_SCALE, VXR_SIM_MISMATCH_KEYS).
[[nodiscard]] SimConfig loadSimConfig(QString* error = nullptr);

// Port of the service: $VXR_SIM_PORT, else 9080.
[[nodiscard]] quint16 simPort();

// Misbehaviour switches for tests, all from the environment.
struct Misbehaviour {
    bool exitAtOnce = false;    // VXR_SIM_EXIT_AT_ONCE names this program
    int exitStatus = 3;         // VXR_SIM_EXIT_STATUS
    bool ignoreSigterm = false; // VXR_SIM_IGNORE_SIGTERM names this program
    bool badOutput = false;     // VXR_SIM_BAD_OUTPUT names this program
    int slowMs = 0;             // VXR_SIM_SLOW_MS: every HTTP answer waits this long
    // VXR_SIM_GARBAGE: "1" every HTTP answer is random bytes; "newline" a line
    // break follows each answer (which breaks the task-info envelope).
    QString garbage;
};

// `program` is "worker" or "evaluator"; a switch naming "all" or "1" applies to both.
[[nodiscard]] Misbehaviour misbehaviourFor(const QString& program);

// True when the comma-separated list in the environment variable names `name` (or
// holds "all" or "1").
[[nodiscard]] bool envNamesProgram(const char* variable, const QString& name);

// With VXR_SIM_RECORD set to a directory, appends one JSON line per start to
// <dir>/invocations.jsonl: program, pid, arguments and the NODE_OPTIONS and
// VXR_* environment, so tests can see exactly how they were started.
void recordInvocation(const QString& program, const QStringList& arguments);

} // namespace vxr::sim
