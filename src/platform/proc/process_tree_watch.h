#pragma once

#include "core/async.h"
#include "platform/proc/host_memory.h"
#include "platform/proc/process_tree.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vxr {

class GpuTimeProbe;

// One walk of the worker tree, the machine's memory read with it (nullopt when
// /proc/meminfo was unreadable), the GPU time of its processes that used one (periodic
// walks, once a GPU probe is attached), and the moment it finished.
struct TreeSample {
    ProcessTreeSnapshot snapshot;
    std::optional<HostMemory> host;
    QHash<qint32, quint64> gpuTimeNSByPID;
    std::chrono::steady_clock::time_point takenAt;
};

// Walks the worker's process tree once per period on the measurement pool and hands
// the same snapshot to everyone who needs it (the memory governor and the metrics
// sampler), so the tree is read once, not once per reader, in one background job per
// period. Lives on the GUI thread.
class ProcessTreeWatch : public QObject {
    Q_OBJECT

public:
    using RootPIDs = std::function<QList<qint32>()>; // service then evaluator, positive only

    ProcessTreeWatch(RootPIDs rootPIDs, std::chrono::milliseconds interval,
                     QString procRoot = QStringLiteral("/proc"), QObject* parent = nullptr);
    ~ProcessTreeWatch() override;

    // Starts the periodic walk once; later calls do nothing. The first walk starts as
    // soon as the event loop is free.
    void start();
    [[nodiscard]] bool isStarted() const { return m_started; }

    // The periodic walks also read the GPU time of the tree's processes with `probe`,
    // in the same background job. Only they use it, one after the other.
    void readGpuTimesWith(std::shared_ptr<GpuTimeProbe> probe) { m_gpuProbe = std::move(probe); }

    // The last periodic sample when it is younger than one period, else nullopt.
    [[nodiscard]] std::optional<TreeSample> recentSample() const;
    // A walk outside the period (a reader that cannot wait for the next one), without GPU
    // times. Blocking: call it on the measurement pool, never on the GUI thread.
    [[nodiscard]] std::function<TreeSample()> walkNow() const;

    [[nodiscard]] const QString& procRoot() const { return m_procRoot; }

signals:
    // Every period, in order; one walk is never shared out twice.
    void sampled(const vxr::TreeSample& sample);

private:
    void walk();
    [[nodiscard]] std::function<TreeSample()> walker(std::shared_ptr<GpuTimeProbe> gpu) const;

    RootPIDs m_rootPIDs;
    std::chrono::milliseconds m_interval;
    QString m_procRoot;
    std::shared_ptr<ProcessTreeProbe> m_probe;
    std::shared_ptr<GpuTimeProbe> m_gpuProbe;
    QTimer m_loop;
    bool m_started = false;
    std::optional<TreeSample> m_latest;
    ResultRelay m_relay{this};
};

} // namespace vxr
