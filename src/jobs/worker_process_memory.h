#pragma once

#include "core/task_info.h"

#include <QMap>
#include <QString>

#include <optional>

namespace vxr {

// The worker's memory budget statistics for one job. Never stored.
struct BudgetJobStats {
    struct Kind {
        double n = 0;
        double mean = 0;
        double sd = 0;
        std::optional<double> estimate;

        // A missing object gives all zeros and no estimate.
        [[nodiscard]] static Kind fromTaskInfo(const std::optional<TaskInfoBudgetKind>& figures);

        bool operator==(const Kind&) const = default;
    };

    Kind fresh;  // slices run in a new sandbox
    Kind reused; // slices run in a reused one

    [[nodiscard]] static BudgetJobStats fromTaskInfo(const TaskInfoBudgetJob& job);

    bool operator==(const BudgetJobStats&) const = default;
};

// Per-job sandbox reuse counters. Never stored.
struct SandboxReuse {
    double fresh = 0;
    double reused = 0;
    double warmLost = 0;
    std::optional<double> warmStartSavingMs;

    [[nodiscard]] static SandboxReuse fromTaskInfo(const TaskInfoReuse& figures);

    bool operator==(const SandboxReuse&) const = default;
};

// Memory statistics of the worker service process, from the task-info
// document's "workerProcess" object. Never stored.
struct WorkerProcessMemory {
    double rss = 0;
    double peakRss = 0;
    double heapUsed = 0;
    double heapLimit = 0;
    std::optional<double> limit;
    std::optional<double> reserve;
    std::optional<double> committed;
    QMap<QString, BudgetJobStats> jobs; // by job id
    QMap<QString, SandboxReuse> reuse;  // by job id

    [[nodiscard]] static WorkerProcessMemory fromTaskInfo(const TaskInfoWorkerProcess& process);

    bool operator==(const WorkerProcessMemory&) const = default;
};

} // namespace vxr
