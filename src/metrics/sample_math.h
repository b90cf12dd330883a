#pragma once

#include "core/task_info.h"
#include "platform/proc/process_tree.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <optional>

// The arithmetic of one metrics sample and of the network totals, kept free of timers,
// threads and HTTP so it can be checked value by value.
namespace vxr {

using SampleClock = std::chrono::steady_clock;

// What the previous sample left behind for the next one to compare with.
struct SampleBaseline {
    std::optional<quint64> lastTotalCPUTimeNS;
    std::optional<SampleClock::time_point> lastSampleTime;
    QHash<qint32, quint64> lastGPUTimeNSByPID;
};

struct SampleFigures {
    double ramGB = 0;      // resident bytes / 2^30
    double cpuPercent = 0; // of the whole machine, 0-100
    double gpuPercent = 0; // of one GPU's time, 0-100

    bool operator==(const SampleFigures&) const = default;
};

// NaN and negatives become 0, values above 100 become 100.
[[nodiscard]] double clampPercent(double value);

// The figures of one sample, advancing the baseline. The first sample (no baseline)
// and a shrinking CPU total give 0 %; a process's GPU time counts from its second
// sighting on. processorCount below 1 counts as 1.
[[nodiscard]] SampleFigures advanceSample(SampleBaseline& baseline,
                                          const ProcessTreeSnapshot& snapshot,
                                          const QHash<qint32, quint64>& gpuTimeNSByPID,
                                          SampleClock::time_point now, int processorCount);

// Bytes received and sent by the running jobs since launch.
struct NetworkTotals {
    double bytesIn = 0;
    double bytesOut = 0;
    QHash<QString, double> lastTaskJobBytesIn; // keyed "<task key>|<job id>"
    QHash<QString, double> lastTaskJobBytesOut;

    bool operator==(const NetworkTotals&) const = default;
};

// Adds the growth of each task's per-job bytes (per-slice average x slices done) to the
// totals. A product that shrinks subtracts nothing but becomes the new baseline.
void accountTaskInfo(NetworkTotals& totals, const TaskInfo& taskInfo);

} // namespace vxr
