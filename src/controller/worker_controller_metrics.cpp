#include "controller/worker_controller.h"

#include "memory/memory_governor.h"
#include "metrics/metrics_sampler.h"

namespace vxr {

ProcessTreeWatch* WorkerController::treeWatch() {
    if (!m_treeWatch)
        m_treeWatch = new ProcessTreeWatch([this] { return metricsRootPIDs(); },
                                           m_env.timing.treeSampleInterval, m_env.procRoot, this);
    return m_treeWatch;
}

MemoryGovernor* WorkerController::memoryGovernor() {
    if (!m_memoryGovernor) {
        MemoryGovernor::Inputs inputs{
            treeWatch(),
            [this] {
                return MemorySettings{m_memoryCapPercent, m_yieldToOtherApps, m_memoryHeadroomGB};
            },
            this};
        m_memoryGovernor = new MemoryGovernor(std::move(inputs), memoryLimitFilePath(), this);
    }
    return m_memoryGovernor;
}

MetricsSampler* WorkerController::metricsSampler() {
    if (!m_metricsSampler) {
        SamplerEnvironment environment;
        environment.sysRoot = m_env.sysRoot;
        m_metricsSampler = new MetricsSampler({treeWatch(), this}, environment, this);
        // The poll's documents, fetched and parsed once; unchanged ones never reach it.
        connect(this, &WorkerController::taskInfoFetched, m_metricsSampler,
                &MetricsSampler::recordTaskInfo);
    }
    return m_metricsSampler;
}

void WorkerController::startMemoryGovernor() {
    memoryGovernor()->start();
}

void WorkerController::notifyMemoryGovernor() {
    // Queued: the setter returns before the limit is recomputed, as a task would.
    QMetaObject::invokeMethod(memoryGovernor(), &MemoryGovernor::settingsChanged,
                              Qt::QueuedConnection);
}

void WorkerController::startMetricsSampler() {
    metricsSampler()->start();
}

} // namespace vxr
