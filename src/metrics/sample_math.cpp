#include "metrics/sample_math.h"

#include <cmath>

namespace vxr {

double clampPercent(double value) {
    if (!(value > 0)) // NaN too
        return 0;
    return value > 100 ? 100 : value;
}

SampleFigures advanceSample(SampleBaseline& baseline, const ProcessTreeSnapshot& snapshot,
                            const QHash<qint32, quint64>& gpuTimeNSByPID,
                            SampleClock::time_point now, int processorCount) {
    quint64 residentBytes = 0;
    quint64 cpuTotal = 0;
    for (const ProcessUsage& usage : snapshot) {
        residentBytes += usage.rssBytes;
        cpuTotal += usage.cpuTimeNS;
    }

    quint64 gpuGrowth = 0;
    for (auto it = gpuTimeNSByPID.constBegin(); it != gpuTimeNSByPID.constEnd(); ++it) {
        const auto previous = baseline.lastGPUTimeNSByPID.constFind(it.key());
        if (previous != baseline.lastGPUTimeNSByPID.constEnd() && *previous < it.value())
            gpuGrowth += it.value() - *previous;
    }
    baseline.lastGPUTimeNSByPID = gpuTimeNSByPID;

    std::optional<double> seconds;
    if (baseline.lastSampleTime) {
        const double dt = std::chrono::duration<double>(now - *baseline.lastSampleTime).count();
        if (dt > 0)
            seconds = dt;
    }
    SampleFigures figures;
    figures.ramGB = double(residentBytes) / 1073741824.0;
    if (seconds)
        figures.gpuPercent = clampPercent(double(gpuGrowth) / 1e9 / *seconds * 100);
    if (seconds && baseline.lastTotalCPUTimeNS && cpuTotal >= *baseline.lastTotalCPUTimeNS) {
        const int processors = processorCount < 1 ? 1 : processorCount;
        figures.cpuPercent = clampPercent(double(cpuTotal - *baseline.lastTotalCPUTimeNS) / 1e9 /
                                          *seconds / processors * 100);
    }
    baseline.lastSampleTime = now;
    baseline.lastTotalCPUTimeNS = cpuTotal;
    return figures;
}

void accountTaskInfo(NetworkTotals& totals, const TaskInfo& taskInfo) {
    if (!taskInfo.tasks)
        return;
    for (const std::optional<TaskInfoTask>& task : *taskInfo.tasks) {
        if (!task || !task->taskKey || !task->currentTask || !task->currentTask->jobs ||
            !task->jobs)
            continue;
        const QString prefix = *task->taskKey + u'|';
        for (const auto& [jobId, entry] : *task->currentTask->jobs) {
            if (!entry)
                continue;
            const TaskInfoCounters* slices = findJob(*task->jobs, jobId);
            const std::optional<double> slicesDone = slices ? slices->slicesDone : std::nullopt;
            if (!entry->metrics || !slicesDone)
                continue;
            const double bytesIn = entry->metrics->in.value_or(0) * *slicesDone;
            const double bytesOut = entry->metrics->out.value_or(0) * *slicesDone;
            const QString key = prefix + jobId;
            const double previousIn = totals.lastTaskJobBytesIn.value(key, 0);
            const double previousOut = totals.lastTaskJobBytesOut.value(key, 0);
            if (bytesIn > previousIn)
                totals.bytesIn += bytesIn - previousIn;
            if (bytesOut > previousOut)
                totals.bytesOut += bytesOut - previousOut;
            totals.lastTaskJobBytesIn.insert(key, bytesIn);
            totals.lastTaskJobBytesOut.insert(key, bytesOut);
        }
    }
}

} // namespace vxr
