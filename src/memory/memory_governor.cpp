#include "memory/memory_governor.h"

#include "core/atomic_file.h"
#include "platform/proc/measurement_pool.h"

#include <QDateTime>

namespace vxr {

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
    return
        [](const QString& path, const QByteArray& contents) { return swapFileIn(path, contents); };
}

MemoryGovernor::MemoryGovernor(Inputs inputs, QString limitFilePath, QObject* parent,
                               LimitFileWriter writer)
    : QObject(parent)
    , m_inputs(std::move(inputs))
    , m_limitFilePath(std::move(limitFilePath))
    , m_procRoot(m_inputs.tree ? m_inputs.tree->procRoot() : QStringLiteral("/proc"))
    , m_writer(std::move(writer)) {
    m_writerThread.setMaxThreadCount(1);
    m_writerThread.setObjectName(QStringLiteral("limit writer"));
    // One small file, read once for the settings screen's cap figure.
    if (const auto host = readHostMemory(m_procRoot))
        m_totalMemory = host->totalBytes;
}

MemoryGovernor::~MemoryGovernor() = default;

void MemoryGovernor::start() {
    if (m_started || !m_inputs.tree)
        return;
    m_started = true;
    connect(m_inputs.tree, &ProcessTreeWatch::sampled, this, &MemoryGovernor::update);
    m_inputs.tree->start();
}

void MemoryGovernor::settingsChanged() {
    if (!m_inputs.tree) {
        emit updateFinished();
        return;
    }
    // The footprint of a recent walk stands; the machine's memory is read afresh.
    std::function<TreeSample()> measure = m_inputs.tree->walkNow();
    if (const auto recent = m_inputs.tree->recentSample())
        measure = [sample = *recent, procRoot = m_procRoot]() mutable {
            sample.host = readHostMemory(procRoot);
            return sample;
        };
    m_relay.run(measurementThreadPool(), std::move(measure),
                [this](const TreeSample& sample) { update(sample); });
}

QString MemoryGovernor::readingText() const {
    return m_reading ? memoryReadingText(*m_reading) : QString();
}

void MemoryGovernor::update(const TreeSample& sample) {
    if (m_inputs.owner && m_inputs.settings)
        apply(sample);
    emit updateFinished();
}

void MemoryGovernor::apply(const TreeSample& sample) {
    if (!sample.host)
        return; // statistics refused: keep the last reading and file
    if (m_totalMemory == 0 && sample.host->totalBytes != 0) {
        m_totalMemory = sample.host->totalBytes;
        emit totalMemoryChanged();
    }
    const Reading reading = computeMemoryReading(m_totalMemory, sample.host->usedBytes,
                                                 footprintOf(sample.snapshot), m_inputs.settings());
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
