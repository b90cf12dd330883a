#include "memory/memory_governor.h"

#include "core/async.h"
#include "core/atomic_file.h"
#include "platform/proc/host_memory.h"
#include "platform/proc/measurement_pool.h"

#include <QDateTime>
#include <QtConcurrent/QtConcurrentRun>

namespace vxr {

struct MemoryGovernor::Measurement {
    std::optional<HostMemory> host;
    TreeFootprint vxr;
};

namespace {
TreeFootprint footprintOf(const ProcessTreeSnapshot& snapshot) {
    TreeFootprint footprint;
    for (const ProcessUsage& usage : snapshot) {
        footprint.total += usage.footprintBytes;
        footprint.inRam += usage.footprintInRamBytes;
    }
    return footprint;
}
} // namespace

MemoryGovernor::LimitFileWriter MemoryGovernor::swappingWriter() {
    return [](const QString& path, const QByteArray& contents) {
        return swapFileIn(path, contents);
    };
}

MemoryGovernor::MemoryGovernor(Inputs inputs, QString limitFilePath, QObject* parent,
                               LimitFileWriter writer)
    : QObject(parent)
    , m_inputs(std::move(inputs))
    , m_limitFilePath(std::move(limitFilePath))
    , m_procRoot(m_inputs.tree ? m_inputs.tree->procRoot() : QStringLiteral("/proc"))
    , m_writer(std::move(writer)) {
    m_writerThread.setMaxThreadCount(1);
    // One small file, read once for the settings screen's cap figure.
    if (const auto host = readHostMemory(m_procRoot))
        m_totalMemory = host->totalBytes;
}

MemoryGovernor::~MemoryGovernor() = default;

void MemoryGovernor::start() {
    if (m_started || !m_inputs.tree)
        return;
    m_started = true;
    connect(m_inputs.tree, &ProcessTreeWatch::sampled, this,
            [this](const TreeSample& sample) { update(footprintOf(sample.snapshot)); });
    m_inputs.tree->start();
}

void MemoryGovernor::settingsChanged() {
    const auto recent = m_inputs.tree ? m_inputs.tree->recentSample() : std::nullopt;
    update(recent ? std::optional(footprintOf(recent->snapshot)) : std::nullopt);
}

QString MemoryGovernor::readingText() const {
    return m_reading ? memoryReadingText(*m_reading) : QString();
}

void MemoryGovernor::update(std::optional<TreeFootprint> footprint) {
    if (!m_inputs.owner || !m_inputs.tree || !m_inputs.settings) {
        emit updateFinished();
        return;
    }
    const auto walk = footprint ? std::function<TreeSample()>() : m_inputs.tree->walkNow();
    QFuture<Measurement> measured =
        QtConcurrent::run(measurementThreadPool(), [procRoot = m_procRoot, footprint, walk] {
            Measurement measurement;
            measurement.vxr = footprint ? *footprint : footprintOf(walk().snapshot);
            measurement.host = readHostMemory(procRoot);
            return measurement;
        });
    whenFinished(std::move(measured), this, [this](const Measurement& measurement) {
        apply(measurement);
        emit updateFinished();
    });
}
void MemoryGovernor::apply(const Measurement& measurement) {
    if (!measurement.host)
        return; // statistics refused: keep the last reading and file
    if (m_totalMemory == 0 && measurement.host->totalBytes != 0) {
        m_totalMemory = measurement.host->totalBytes;
        emit totalMemoryChanged();
    }
    if (!m_inputs.owner)
        return;
    const Reading reading = computeMemoryReading(m_totalMemory, measurement.host->usedBytes,
                                                 measurement.vxr, m_inputs.settings());
    const bool changed = m_reading != reading;
    m_reading = reading;
    if (changed)
        emit readingChanged();
    // Written on every update, also when unchanged, so "time" tells when the limit was
    // last confirmed. A failed write waits for the next update. Off the GUI thread: a
    // busy disk must not stall the screens.
    m_writerThread.start(
        [writer = m_writer, path = m_limitFilePath,
         contents = memoryLimitFileContents(reading.limit, QDateTime::currentMSecsSinceEpoch())] {
            (void)writer(path, contents);
        });
}

} // namespace vxr
