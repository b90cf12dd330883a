#include "jobs/job_record.h"

#include "core/json_read.h"

#include <algorithm>

namespace vxr {

namespace {

double numberOr0(const QJsonObject& object, QLatin1StringView key) {
    return json::number(object, key).value_or(0);
}

// Sums Peak entries one at a time, so records need not build an entry list.
class PeakSum {
public:
    void add(const std::optional<double>& average, double count,
             const std::optional<double>& largest) {
        m_count += count;
        m_weighted += average.value_or(0) * count;
        if (largest)
            m_largest = m_largest ? std::max(*m_largest, *largest) : *largest;
    }

    [[nodiscard]] std::optional<Peak> result() const {
        if (!(m_count > 0))
            return std::nullopt;
        const double avg = m_weighted / m_count;
        return Peak{avg, m_largest.value_or(avg)};
    }

private:
    double m_count = 0;
    double m_weighted = 0;
    std::optional<double> m_largest;
};

template <std::size_t N> bool is(const QString& key, const char (&literal)[N]) {
    if (key.size() != qsizetype(N - 1))
        return false;
    const QChar* text = key.constData();
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (text[i].unicode() != char16_t(literal[i]))
            return false;
    }
    return true;
}

template <typename Field> std::optional<double> perSlice(const JobRecord& record, Field field) {
    double slices = 0;
    double weighted = 0;
    for (const TaskSnapshot& task : record.tasks) {
        slices += task.slicesDone;
        weighted += task.slicesDone * task.*field;
    }
    if (!(slices > 0))
        return std::nullopt;
    return weighted / slices;
}

} // namespace

TaskSnapshot TaskSnapshot::fromMetrics(double slicesDone, const QJsonObject& metrics) {
    TaskSnapshot s;
    s.slicesDone = slicesDone;
    // One pass over the object instead of ten lookups: this runs for every task
    // and job on every poll.
    for (auto it = metrics.constBegin(); it != metrics.constEnd(); ++it) {
        const QJsonValue value = it.value();
        if (!value.isDouble())
            continue;
        const double number = value.toDouble();
        const QString key = it.key();
        if (is(key, "cpu"))
            s.cpu = number;
        else if (is(key, "gpu"))
            s.gpu = number;
        else if (is(key, "in"))
            s.inBytes = number;
        else if (is(key, "out"))
            s.outBytes = number;
        else if (is(key, "ram"))
            s.ram = number;
        else if (is(key, "ramSlices"))
            s.ramSlices = number;
        else if (is(key, "ramMax"))
            s.ramMax = number;
        else if (is(key, "gpuMem"))
            s.gpuMem = number;
        else if (is(key, "gpuMemSlices"))
            s.gpuMemSlices = number;
        else if (is(key, "gpuMemMax"))
            s.gpuMemMax = number;
    }
    return s;
}

Estimate Estimate::fromTaskInfo(const QJsonObject& metrics) {
    Estimate e;
    e.cpu = json::number(metrics, QLatin1StringView("cpu"));
    e.gpu = json::number(metrics, QLatin1StringView("gpu"));
    e.inBytes = json::number(metrics, QLatin1StringView("in"));
    e.outBytes = json::number(metrics, QLatin1StringView("out"));
    e.ram = json::number(metrics, QLatin1StringView("ram"));
    e.gpuMem = json::number(metrics, QLatin1StringView("gpuMem"));
    return e;
}

RAMBreakdown RAMBreakdown::fromTaskInfo(const QJsonObject& object) {
    RAMBreakdown b;
    b.heap = numberOr0(object, QLatin1StringView("heap"));
    b.arrayBuffers = numberOr0(object, QLatin1StringView("arrayBuffers"));
    b.wasm = numberOr0(object, QLatin1StringView("wasm"));
    b.other = numberOr0(object, QLatin1StringView("other"));
    b.slices = numberOr0(object, QLatin1StringView("slices"));
    return b;
}

std::optional<Peak> Peak::fromEntries(std::span<const Entry> entries) {
    PeakSum sum;
    for (const Entry& e : entries)
        sum.add(e.average, e.count, e.largest);
    return sum.result();
}

double JobRecord::slices() const {
    double total = 0;
    for (const TaskSnapshot& task : tasks)
        total += task.slicesDone;
    return total;
}

std::optional<double> JobRecord::cpuPerSlice() const {
    return perSlice(*this, &TaskSnapshot::cpu);
}

std::optional<double> JobRecord::gpuPerSlice() const {
    return perSlice(*this, &TaskSnapshot::gpu);
}

std::optional<double> JobRecord::inPerSlice() const {
    return perSlice(*this, &TaskSnapshot::inBytes);
}

std::optional<double> JobRecord::outPerSlice() const {
    return perSlice(*this, &TaskSnapshot::outBytes);
}

std::optional<Peak> JobRecord::ram() const {
    PeakSum sum;
    for (const TaskSnapshot& task : tasks)
        sum.add(task.ram, task.ramSlices, task.ramMax);
    return sum.result();
}

std::optional<Peak> JobRecord::gpuMem() const {
    PeakSum sum;
    for (const TaskSnapshot& task : tasks)
        sum.add(task.gpuMem, task.gpuMemSlices, task.gpuMemMax);
    return sum.result();
}

} // namespace vxr
