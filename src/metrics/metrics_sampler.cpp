#include "metrics/metrics_sampler.h"

#include "platform/cpu_topology.h"
#include "platform/proc/gpu_time.h"

namespace vxr {

MetricsSampler::MetricsSampler(Inputs inputs, SamplerEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_inputs(std::move(inputs))
    , m_environment(std::move(environment))
    , m_gpuProbe(std::make_shared<GpuTimeProbe>(m_inputs.tree ? m_inputs.tree->procRoot()
                                                              : QStringLiteral("/proc"),
                                                m_environment.sysRoot)) {
    if (m_environment.processorCount < 1)
        m_environment.processorCount = activeProcessorCount();
}

MetricsSampler::~MetricsSampler() = default;

void MetricsSampler::start() {
    if (m_started || !m_inputs.tree)
        return;
    m_started = true;
    connect(m_inputs.tree, &ProcessTreeWatch::sampled, this, &MetricsSampler::sample);
    m_inputs.tree->readGpuTimesWith(m_gpuProbe);
    m_inputs.tree->start();
    emit startedChanged();
}

void MetricsSampler::sample(const TreeSample& tree) {
    if (m_inputs.owner)
        recordSample(tree);
    emit sampleFinished();
}

void MetricsSampler::recordSample(const TreeSample& tree) {
    const SampleFigures figures = advanceSample(m_baseline, tree.snapshot, tree.gpuTimeNSByPID,
                                                tree.takenAt, m_environment.processorCount);
    m_ram.add(figures.ramGB);
    emit ramChanged();
    m_cpu.add(figures.cpuPercent);
    emit cpuChanged();
    m_gpu.add(figures.gpuPercent);
    emit gpuChanged();
}

void MetricsSampler::recordTaskInfo(const TaskInfo& info) {
    const double inBefore = m_network.bytesIn;
    const double outBefore = m_network.bytesOut;
    accountTaskInfo(m_network, info);
    if (m_network.bytesIn != inBefore)
        emit bytesInChanged();
    if (m_network.bytesOut != outBefore)
        emit bytesOutChanged();
}

} // namespace vxr
