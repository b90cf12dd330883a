#pragma once

#include "metrics/metric_history.h"
#include "metrics/sample_math.h"
#include "platform/proc/process_tree_watch.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

namespace vxr {

namespace test {
struct ControllerAccess;
}

class GpuTimeProbe;

// Where the sampler measures GPU time besides the tree watch's /proc: the /sys tree
// (a fixture in tests).
struct SamplerEnvironment {
    QString sysRoot = QStringLiteral("/sys");
    int processorCount = 0; // 0: the CPUs this process may run on
};

// On every walk of the worker's process tree, records its CPU, GPU and resident memory
// into three 450-sample histories; the walk is the one the memory governor uses too. The running
// jobs' network bytes are added to totals since launch from each new task-info document the
// controller's poll fetched, so the document is fetched and parsed once for everything that reads
// it. Lives on the GUI thread; the GPU times are read on the measurement pool.
class MetricsSampler : public QObject {
    Q_OBJECT
    Q_PROPERTY(vxr::MetricHistory ram READ ram NOTIFY ramChanged)
    Q_PROPERTY(vxr::MetricHistory cpu READ cpu NOTIFY cpuChanged)
    Q_PROPERTY(vxr::MetricHistory gpu READ gpu NOTIFY gpuChanged)
    Q_PROPERTY(double bytesIn READ bytesIn NOTIFY bytesInChanged)
    Q_PROPERTY(double bytesOut READ bytesOut NOTIFY bytesOutChanged)
    Q_PROPERTY(bool started READ isStarted NOTIFY startedChanged)

public:
    // What the sampler reads from its owner (the controller). Held weakly: once owner
    // is gone, samples are skipped.
    struct Inputs {
        QPointer<ProcessTreeWatch> tree; // shared with the memory governor
        QPointer<QObject> owner;
    };

    MetricsSampler(Inputs inputs, SamplerEnvironment environment = {}, QObject* parent = nullptr);
    ~MetricsSampler() override;

    // Follows the tree watch's walks from now on (and starts it); later calls do nothing.
    Q_INVOKABLE void start();

    [[nodiscard]] const MetricHistory& ram() const { return m_ram; }
    [[nodiscard]] const MetricHistory& cpu() const { return m_cpu; }
    [[nodiscard]] const MetricHistory& gpu() const { return m_gpu; }
    [[nodiscard]] double bytesIn() const { return m_network.bytesIn; }
    [[nodiscard]] double bytesOut() const { return m_network.bytesOut; }
    [[nodiscard]] bool isStarted() const { return m_started; }

    // A task-info document that differs from the previous one: its jobs' bytes count
    // toward the totals.
    void recordTaskInfo(const vxr::TaskInfo& info);

signals:
    void ramChanged();
    void cpuChanged();
    void gpuChanged();
    void bytesInChanged();
    void bytesOutChanged();
    void startedChanged();
    // One full sample (memory, CPU, GPU) has finished or was skipped.
    void sampleFinished();

private:
    // Tests and the screenshot tool publish figures through this.
    friend struct test::ControllerAccess;

    void sample(const TreeSample& tree);
    void recordSample(const TreeSample& tree);

    Inputs m_inputs;
    SamplerEnvironment m_environment;
    std::shared_ptr<GpuTimeProbe> m_gpuProbe;
    bool m_started = false;

    MetricHistory m_ram;
    MetricHistory m_cpu;
    MetricHistory m_gpu;
    SampleBaseline m_baseline;
    NetworkTotals m_network;
};

} // namespace vxr
