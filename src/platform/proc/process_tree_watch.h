#pragma once

#include "core/async.h"
#include "platform/proc/host_memory.h"
#include "platform/proc/process_tree.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vxr {

// One walk of the worker tree, the machine's memory read with it (nullopt when
// /proc/meminfo was unreadable), and the moment it finished.
struct TreeSample {
    ProcessTreeSnapshot snapshot;
    std::optional<HostMemory> host;
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

    // The last periodic sample when it is younger than one period, else nullopt.
    [[nodiscard]] std::optional<TreeSample> recentSample() const;
    // A walk outside the period (a reader that cannot wait for the next one). Blocking:
    // call it on the measurement pool, never on the GUI thread.
    [[nodiscard]] std::function<TreeSample()> walkNow() const;

    [[nodiscard]] const QString& procRoot() const { return m_procRoot; }

signals:
    // Every period, in order; one walk is never shared out twice.
    void sampled(const vxr::TreeSample& sample);

private:
    void walk();

    RootPIDs m_rootPIDs;
    std::chrono::milliseconds m_interval;
    QString m_procRoot;
    std::shared_ptr<ProcessTreeProbe> m_probe;
    QTimer m_loop;
    bool m_started = false;
    std::optional<TreeSample> m_latest;
    ResultRelay m_relay{this};
};

} // namespace vxr
