#include "metrics/metrics_sampler.h"

#include "core/async.h"
#include "platform/cpu_topology.h"
#include "platform/proc/gpu_time.h"
#include "platform/proc/measurement_pool.h"
#include "platform/proc/process_tree.h"

#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

namespace vxr {

struct MetricsSampler::Measurement {
    ProcessTreeSnapshot snapshot;
    QHash<qint32, quint64> gpuTimeNSByPID;
};

MetricsSampler::MetricsSampler(Inputs inputs, const Timing& timing, SamplerEnvironment environment,
                               QObject* parent)
    : QObject(parent)
    , m_inputs(std::move(inputs))
    , m_timing(timing)
    , m_environment(std::move(environment))
    , m_tree(std::make_shared<ProcessTreeProbe>(m_environment.procRoot))
    , m_gpuProbe(std::make_shared<GpuTimeProbe>(m_environment.procRoot, m_environment.sysRoot)) {
    if (m_environment.processorCount < 1)
        m_environment.processorCount = activeProcessorCount();
    m_loop.setSingleShot(true);
    connect(&m_loop, &QTimer::timeout, this, &MetricsSampler::sampleOnce);
}

MetricsSampler::~MetricsSampler() = default;

void MetricsSampler::start() {
    if (m_started)
        return;
    m_started = true;
    m_loop.start(0);
    emit startedChanged();
}

void MetricsSampler::sampleOnce() {
    if (!m_inputs.owner || !m_inputs.rootPIDs) {
        finishSample();
        return;
    }
    const QList<qint32> roots = m_inputs.rootPIDs();
    QFuture<Measurement> measured =
        QtConcurrent::run(measurementThreadPool(), [tree = m_tree, gpu = m_gpuProbe, roots] {
            Measurement measurement;
            measurement.snapshot = tree->snapshot(roots);
            QSet<qint32> pids;
            for (auto it = measurement.snapshot.constBegin(); it != measurement.snapshot.constEnd();
                 ++it)
                pids.insert(it.key());
            measurement.gpuTimeNSByPID = gpu->gpuTimeNSByPID(pids);
            return measurement;
        });
    whenFinished(std::move(measured), this, [this](const Measurement& measurement) {
        recordSample(measurement);
        finishSample();
    });
}

void MetricsSampler::recordSample(const Measurement& measurement) {
    const SampleFigures figures =
        advanceSample(m_baseline, measurement.snapshot, measurement.gpuTimeNSByPID,
                      SampleClock::now(), m_environment.processorCount);
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

void MetricsSampler::finishSample() {
    m_loop.start(m_timing.samplerInterval);
    emit sampleFinished();
}

} // namespace vxr
