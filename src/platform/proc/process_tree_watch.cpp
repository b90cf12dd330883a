#include "platform/proc/process_tree_watch.h"

#include "platform/proc/measurement_pool.h"

namespace vxr {

namespace {
TreeSample walkTree(ProcessTreeProbe& probe, const QList<qint32>& roots, const QString& procRoot) {
    TreeSample sample;
    sample.snapshot = probe.snapshot(roots);
    sample.host = readHostMemory(procRoot);
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

std::function<TreeSample()> ProcessTreeWatch::walkNow() const {
    return [probe = m_probe, roots = m_rootPIDs ? m_rootPIDs() : QList<qint32>{},
            procRoot = m_procRoot] { return walkTree(*probe, roots, procRoot); };
}

void ProcessTreeWatch::walk() {
    // The next period counts from the end of this walk, so a slow /proc never queues
    // walks behind each other.
    m_relay.run(measurementThreadPool(), walkNow(), [this](const TreeSample& sample) {
        m_latest = sample;
        m_loop.start(m_interval);
        emit sampled(sample);
    });
}

} // namespace vxr
