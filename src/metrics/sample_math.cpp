#include "metrics/sample_math.h"

#include "core/json_read.h"
#include "core/task_key.h"

#include <QJsonArray>
#include <QJsonValue>

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

void accountTaskInfo(NetworkTotals& totals, const QJsonObject& taskInfoRoot) {
    const auto tasks = json::array(taskInfoRoot, QLatin1String("tasks"));
    if (!tasks)
        return;
    for (const QJsonValue& element : *tasks) {
        if (!element.isObject())
            continue;
        const QJsonObject task = element.toObject();
        const auto prototype = json::object(task, QLatin1String("prototype"));
        const auto current =
            prototype ? json::object(*prototype, QLatin1String("currentTask")) : std::nullopt;
        const auto currentJobs =
            current ? json::object(*current, QLatin1String("jobs")) : std::nullopt;
        const auto sliceJobs = json::object(task, QLatin1String("jobs"));
        if (!currentJobs || !sliceJobs)
            continue;
        const QString prefix = taskKey(*prototype) + u'|';
        for (auto it = currentJobs->constBegin(); it != currentJobs->constEnd(); ++it) {
            if (!it.value().isObject())
                continue;
            const auto metrics = json::object(it.value().toObject(), QLatin1String("metrics"));
            const QJsonValue slices = sliceJobs->value(it.key());
            const auto slicesDone =
                slices.isObject() ? json::number(slices.toObject(), QLatin1String("slicesDone"))
                                  : std::nullopt;
            if (!metrics || !slicesDone)
                continue;
            const double bytesIn =
                json::number(*metrics, QLatin1String("in")).value_or(0) * *slicesDone;
            const double bytesOut =
                json::number(*metrics, QLatin1String("out")).value_or(0) * *slicesDone;
            const QString key = prefix + it.key();
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
