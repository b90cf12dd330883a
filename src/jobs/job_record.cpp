#include "jobs/job_record.h"

#include <algorithm>

namespace vxr {

namespace {

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

TaskSnapshot TaskSnapshot::fromMetrics(double slicesDone, const TaskInfoMetrics& metrics) {
    TaskSnapshot s;
    s.slicesDone = slicesDone;
    s.cpu = metrics.cpu.value_or(0);
    s.gpu = metrics.gpu.value_or(0);
    s.inBytes = metrics.in.value_or(0);
    s.outBytes = metrics.out.value_or(0);
    s.ram = metrics.ram;
    s.ramSlices = metrics.ramSlices.value_or(0);
    s.ramMax = metrics.ramMax;
    s.gpuMem = metrics.gpuMem;
    s.gpuMemSlices = metrics.gpuMemSlices.value_or(0);
    s.gpuMemMax = metrics.gpuMemMax;
    return s;
}

Estimate Estimate::fromTaskInfo(const TaskInfoMetrics& metrics) {
    return {metrics.cpu, metrics.gpu, metrics.in, metrics.out, metrics.ram, metrics.gpuMem};
}

RAMBreakdown RAMBreakdown::fromTaskInfo(const TaskInfoRamBreakdown& figures) {
    return {figures.heap.value_or(0), figures.arrayBuffers.value_or(0), figures.wasm.value_or(0),
            figures.other.value_or(0), figures.slices.value_or(0)};
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
