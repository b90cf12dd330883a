#include "platform/proc/process_tree_watch.h"

#include "platform/proc/gpu_time.h"

#include <QSet>

#include <condition_variable>
#include <mutex>

#include <sys/prctl.h>

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

// Up to 5 % of the period: the kernel may then run the walk together with other timers
// that fall due, as Qt's coarse timers do, rather than wake the machine for it alone.
void allowTimerSlack(std::chrono::milliseconds interval) {
    const auto slack = std::chrono::duration_cast<std::chrono::nanoseconds>(interval) / 20;
    (void)::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack.count()), 0, 0, 0);
}
} // namespace

// What the GUI thread and the walking thread share.
struct ProcessTreeWatch::Loop {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    QList<qint32> roots;
    std::shared_ptr<GpuTimeProbe> gpu;
};

ProcessTreeWatch::ProcessTreeWatch(RootPIDs rootPIDs, std::chrono::milliseconds interval,
                                   QString procRoot, QObject* parent)
    : QObject(parent)
    , m_rootPIDs(std::move(rootPIDs))
    , m_interval(interval)
    , m_procRoot(std::move(procRoot))
    , m_probe(std::make_shared<ProcessTreeProbe>(m_procRoot))
    , m_loop(std::make_shared<Loop>()) {}

ProcessTreeWatch::~ProcessTreeWatch() {
    {
        const std::lock_guard lock(m_loop->mutex);
        m_loop->stopping = true;
    }
    m_loop->wake.notify_all();
    if (m_thread)
        m_thread->wait();
}

void ProcessTreeWatch::start() {
    if (m_thread)
        return;
    refreshRoots();
    // The next period counts from the end of a walk, so a slow /proc never queues walks
    // behind each other.
    m_thread.reset(QThread::create(
        [loop = m_loop, probe = m_probe, interval = m_interval, relay = &m_relay, watch = this] {
            allowTimerSlack(interval);
            std::unique_lock lock(loop->mutex);
            while (!loop->stopping) {
                const QList<qint32> roots = loop->roots;
                const std::shared_ptr<GpuTimeProbe> gpu = loop->gpu;
                lock.unlock();
                relay->deliver(walkTree(*probe, roots, gpu.get()),
                               [watch](const TreeSample& sample) { watch->received(sample); });
                lock.lock();
                loop->wake.wait_for(lock, interval, [&] { return loop->stopping; });
            }
        }));
    m_thread->setObjectName(QStringLiteral("tree walker"));
    m_thread->start(QThread::LowPriority);
}

void ProcessTreeWatch::refreshRoots() {
    QList<qint32> roots = m_rootPIDs ? m_rootPIDs() : QList<qint32>{};
    const std::lock_guard lock(m_loop->mutex);
    m_loop->roots = std::move(roots);
}

void ProcessTreeWatch::readGpuTimesWith(std::shared_ptr<GpuTimeProbe> probe) {
    const std::lock_guard lock(m_loop->mutex);
    m_loop->gpu = std::move(probe);
}

std::optional<TreeSample> ProcessTreeWatch::recentSample() const {
    if (m_latest && std::chrono::steady_clock::now() - m_latest->takenAt < m_interval)
        return m_latest;
    return std::nullopt;
}

std::function<TreeSample()> ProcessTreeWatch::walkNow() const {
    return [probe = m_probe, roots = m_rootPIDs ? m_rootPIDs() : QList<qint32>{}] {
        return walkTree(*probe, roots, nullptr);
    };
}

void ProcessTreeWatch::received(const TreeSample& sample) {
    m_latest = sample;
    refreshRoots();
    emit sampled(sample);
}

} // namespace vxr
