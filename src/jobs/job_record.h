#pragma once

#include "core/task_info.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>
#include <span>

namespace vxr {

// One task's latest figures for one job. cpu, gpu, inBytes and outBytes are
// per-slice averages of that task (ms and bytes).
struct TaskSnapshot {
    double slicesDone = 0;
    double cpu = 0;
    double gpu = 0;
    double inBytes = 0;
    double outBytes = 0;
    std::optional<double> ram;
    double ramSlices = 0;
    std::optional<double> ramMax;
    std::optional<double> gpuMem;
    double gpuMemSlices = 0;
    std::optional<double> gpuMemMax;

    // From a task's "metrics" object; the worker spells the byte fields "in" and "out".
    [[nodiscard]] static TaskSnapshot fromMetrics(double slicesDone,
                                                  const TaskInfoMetrics& metrics);

    bool operator==(const TaskSnapshot&) const = default;
};

// The network's per-slice estimate for a job.
struct Estimate {
    std::optional<double> cpu;
    std::optional<double> gpu;
    std::optional<double> inBytes;
    std::optional<double> outBytes;
    std::optional<double> ram;
    std::optional<double> gpuMem;

    [[nodiscard]] static Estimate fromTaskInfo(const TaskInfoMetrics& metrics);

    bool operator==(const Estimate&) const = default;
};

// What a job's memory peak was made of; `slices` decides whether a newer
// breakdown replaces an older one.
struct RAMBreakdown {
    double heap = 0;
    double arrayBuffers = 0;
    double wasm = 0;
    double other = 0;
    double slices = 0;

    [[nodiscard]] static RAMBreakdown fromTaskInfo(const TaskInfoRamBreakdown& figures);

    bool operator==(const RAMBreakdown&) const = default;
};

// A memory figure over many slices: slice-weighted average and largest peak.
struct Peak {
    double avg = 0;
    double max = 0;

    struct Entry {
        std::optional<double> average;
        double count = 0;
        std::optional<double> largest;
    };

    // Absent unless the counts add up to more than 0.
    [[nodiscard]] static std::optional<Peak> fromEntries(std::span<const Entry> entries);

    bool operator==(const Peak&) const = default;
};

struct JobRecord {
    QString id;
    std::optional<QString> name;
    std::optional<QString> computeGroup;
    QDateTime firstSeen;
    QDateTime lastActive;
    QMap<QString, TaskSnapshot> tasks; // by task key
    std::optional<Estimate> estimate;
    std::optional<RAMBreakdown> ramBreakdown;

    // Derived, never stored.
    [[nodiscard]] double slices() const;
    [[nodiscard]] std::optional<double> cpuPerSlice() const;
    [[nodiscard]] std::optional<double> gpuPerSlice() const;
    [[nodiscard]] std::optional<double> inPerSlice() const;
    [[nodiscard]] std::optional<double> outPerSlice() const;
    [[nodiscard]] std::optional<Peak> ram() const;
    [[nodiscard]] std::optional<Peak> gpuMem() const;

    bool operator==(const JobRecord&) const = default;
};

} // namespace vxr
