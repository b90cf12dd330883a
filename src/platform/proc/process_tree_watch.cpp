#include "platform/proc/process_tree_watch.h"

#include "platform/proc/gpu_time.h"
#include "platform/proc/measurement_pool.h"

#include <QSet>

namespace vxr {

namespace {
TreeSample walkTree(ProcessTreeProbe& probe, const QList<qint32>& roots, GpuTimeProbe* gpu) {
    TreeSample sample;
    sample.snapshot = probe.snapshot(roots);
    sample.host = probe.hostMemory();
    if (gpu) {
        QSet<qint32> pids;
        for (auto it = sample.snapshot.constBegin(); it != sample.snapshot.constEnd(); ++it)
            pids.insert(it.key());
        sample.gpuTimeNSByPID = gpu->gpuTimeNSByPID(pids);
    }
    sample.takenAt = std::chrono::steady_clock::now();
    return sample;
}
} // namespace

ProcessTreeWatch::ProcessTreeWatch(RootPIDs rootPIDs, std::chrono::milliseconds interval,
                                   QString procRoot, QObject* parent)
    : QObject(parent)
    , m_rootPIDs(std::move(rootPIDs))
    , m_interval(interval)
    , m_procRoot(std::move(procRoot))
    , m_probe(std::make_shared<ProcessTreeProbe>(m_procRoot)) {
    m_loop.setSingleShot(true);
    connect(&m_loop, &QTimer::timeout, this, &ProcessTreeWatch::walk);
}

ProcessTreeWatch::~ProcessTreeWatch() = default;

void ProcessTreeWatch::start() {
    if (m_started)
        return;
    m_started = true;
    m_loop.start(0);
}

std::optional<TreeSample> ProcessTreeWatch::recentSample() const {
    if (m_latest && std::chrono::steady_clock::now() - m_latest->takenAt < m_interval)
        return m_latest;
    return std::nullopt;
}

std::function<TreeSample()> ProcessTreeWatch::walker(std::shared_ptr<GpuTimeProbe> gpu) const {
    return [probe = m_probe, roots = m_rootPIDs ? m_rootPIDs() : QList<qint32>{},
            gpu = std::move(gpu)] { return walkTree(*probe, roots, gpu.get()); };
}

std::function<TreeSample()> ProcessTreeWatch::walkNow() const {
    return walker(nullptr);
}

void ProcessTreeWatch::walk() {
    // The next period counts from the end of this walk, so a slow /proc never queues
    // walks behind each other.
    m_relay.run(measurementThreadPool(), walker(m_gpuProbe), [this](const TreeSample& sample) {
        m_latest = sample;
        m_loop.start(m_interval);
        emit sampled(sample);
    });
}

} // namespace vxr
