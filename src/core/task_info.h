#pragma once

#include <QList>
#include <QString>

#include <algorithm>
#include <optional>
#include <utility>

// The task-info document as its readers (running rows, job history, network totals) see
// it: only the keys they read, with the worker's leniency already applied. A value of the
// wrong type is absent (nullopt), numbers are doubles, unknown keys are gone. An entry of
// a map keyed by job id whose value is not an object stays as nullopt: it still counts
// under the limits and still hides an earlier duplicate key.
namespace vxr {

// Ascending by code point (UTF-8 byte order), one entry per key: of duplicate keys in
// the document the last one wins.
template <typename T> using JobMap = QList<std::pair<QString, std::optional<T>>>;

// Code point order; QString's own operator< orders UTF-16 code units, which puts
// characters beyond U+FFFF before U+E000..U+FFFF.
[[nodiscard]] bool codePointLess(const QString& a, const QString& b);

// Sorts entries collected in document order into a JobMap, the last of equal keys kept.
template <typename T> void sortJobMap(JobMap<T>& map) {
    // Keys often come in order already (the worker's maps are small and stable).
    const auto outOfOrder = [](const auto& a, const auto& b) {
        return !codePointLess(a.first, b.first);
    };
    if (std::adjacent_find(map.cbegin(), map.cend(), outOfOrder) == map.cend())
        return;
    std::stable_sort(map.begin(), map.end(),
                     [](const auto& a, const auto& b) { return codePointLess(a.first, b.first); });
    qsizetype kept = 0;
    for (qsizetype i = 0; i < map.size(); ++i) {
        if (kept > 0 && map[kept - 1].first == map[i].first)
            map[kept - 1] = std::move(map[i]);
        else if (kept++ != i)
            map[kept - 1] = std::move(map[i]);
    }
    map.erase(map.begin() + kept, map.end());
}

// The entry under `id`, or nullptr when there is none or it is not an object.
template <typename T> const T* findJob(const JobMap<T>& map, const QString& id) {
    const auto it =
        std::lower_bound(map.cbegin(), map.cend(), id, [](const auto& entry, const QString& key) {
            return codePointLess(entry.first, key);
        });
    if (it == map.cend() || it->first != id || !it->second)
        return nullptr;
    return &*it->second;
}

// Numbers of a "metrics" object: a task's per-slice figures for one job, or the network's
// estimate in "jobs"[id] (which has no slice counts or maxima).
struct TaskInfoMetrics {
    std::optional<double> cpu;
    std::optional<double> gpu;
    std::optional<double> in;
    std::optional<double> out;
    std::optional<double> ram;
    std::optional<double> ramSlices;
    std::optional<double> ramMax;
    std::optional<double> gpuMem;
    std::optional<double> gpuMemSlices;
    std::optional<double> gpuMemMax;

    bool operator==(const TaskInfoMetrics&) const = default;
};

// "tasks"[i]."jobs"[id]: a job's slice counters in one sandbox.
struct TaskInfoCounters {
    std::optional<double> slicesDone;
    qsizetype slicesLeft = 0; // elements of "slicesLeft", 0 when it is not an array

    bool operator==(const TaskInfoCounters&) const = default;
};

// "tasks"[i]."prototype"."currentTask"."jobs"[id].
struct TaskInfoEntry {
    std::optional<double> sliceCount;
    std::optional<TaskInfoMetrics> metrics;
    std::optional<QString> cgId;

    bool operator==(const TaskInfoEntry&) const = default;
};

struct TaskInfoCurrentTask {
    bool finished = false; // has the key "finished", whatever its value
    std::optional<JobMap<TaskInfoEntry>> jobs;

    bool operator==(const TaskInfoCurrentTask&) const = default;
};

// One element of "tasks" that is an object.
struct TaskInfoTask {
    std::optional<JobMap<TaskInfoCounters>> jobs;
    std::optional<QString> taskKey; // "serial|taskTime" when "prototype" is an object
    std::optional<TaskInfoCurrentTask> currentTask; // "prototype"."currentTask"

    bool operator==(const TaskInfoTask&) const = default;
};

struct TaskInfoRamBreakdown {
    std::optional<double> heap;
    std::optional<double> arrayBuffers;
    std::optional<double> wasm;
    std::optional<double> other;
    std::optional<double> slices;

    bool operator==(const TaskInfoRamBreakdown&) const = default;
};

// "jobs"[id]: what the network says about a job.
struct TaskInfoJob {
    std::optional<QString> name;
    std::optional<QString> cgId;
    std::optional<TaskInfoRamBreakdown> ramBreakdown;
    std::optional<TaskInfoMetrics> metrics;

    bool operator==(const TaskInfoJob&) const = default;
};

// "workerProcess"."budget"."jobs"[id]."fresh" or ."reused".
struct TaskInfoBudgetKind {
    std::optional<double> n;
    std::optional<double> mean;
    std::optional<double> sd;
    std::optional<double> estimate;

    bool operator==(const TaskInfoBudgetKind&) const = default;
};

struct TaskInfoBudgetJob {
    std::optional<TaskInfoBudgetKind> fresh;
    std::optional<TaskInfoBudgetKind> reused;

    bool operator==(const TaskInfoBudgetJob&) const = default;
};

struct TaskInfoBudget {
    std::optional<double> limit;
    std::optional<double> reserve;
    std::optional<double> committed;
    std::optional<JobMap<TaskInfoBudgetJob>> jobs;

    bool operator==(const TaskInfoBudget&) const = default;
};

// "workerProcess"."sandboxReuse"[id].
struct TaskInfoReuse {
    std::optional<double> fresh;
    std::optional<double> reused;
    std::optional<double> warmLost;
    std::optional<double> warmStartSavingMs;

    bool operator==(const TaskInfoReuse&) const = default;
};

struct TaskInfoWorkerProcess {
    std::optional<double> rss;
    std::optional<double> peakRss;
    std::optional<double> heapUsed;
    std::optional<double> heapLimit;
    std::optional<TaskInfoBudget> budget;
    std::optional<JobMap<TaskInfoReuse>> sandboxReuse;

    bool operator==(const TaskInfoWorkerProcess&) const = default;
};

struct TaskInfo {
    std::optional<QList<std::optional<TaskInfoTask>>> tasks; // nullopt: an element not an object
    std::optional<JobMap<TaskInfoJob>> jobs;
    std::optional<TaskInfoWorkerProcess> workerProcess;

    bool operator==(const TaskInfo&) const = default;
};

} // namespace vxr
