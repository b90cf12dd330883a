#include "memory/memory_governor.h"

#include "core/async.h"
#include "core/atomic_file.h"
#include "platform/proc/host_memory.h"
#include "platform/proc/measurement_pool.h"
#include "platform/proc/process_tree.h"

#include <QDateTime>
#include <QtConcurrent/QtConcurrentRun>

namespace vxr {

struct MemoryGovernor::Measurement {
    std::optional<HostMemory> host;
    TreeFootprint vxr;
};

MemoryGovernor::LimitFileWriter MemoryGovernor::renameOnlyWriter() {
    return [](const QString& path, const QByteArray& contents) {
        return writeFileAtomically(path, contents, Durability::renameOnly);
    };
}

MemoryGovernor::MemoryGovernor(Inputs inputs, const Timing& timing, QString limitFilePath,
                               QString procRoot, QObject* parent, LimitFileWriter writer)
    : QObject(parent)
    , m_inputs(std::move(inputs))
    , m_timing(timing)
    , m_limitFilePath(std::move(limitFilePath))
    , m_procRoot(std::move(procRoot))
    , m_tree(std::make_shared<ProcessTreeProbe>(m_procRoot))
    , m_writer(std::move(writer)) {
    m_writerThread.setMaxThreadCount(1);
    // One small file, read once for the settings screen's cap figure.
    if (const auto host = readHostMemory(m_procRoot))
        m_totalMemory = host->totalBytes;
    m_loop.setSingleShot(true);
    connect(&m_loop, &QTimer::timeout, this, [this] { update(true); });
}

MemoryGovernor::~MemoryGovernor() = default;

void MemoryGovernor::start() {
    if (m_started)
        return;
    m_started = true;
    m_loop.start(0);
}

void MemoryGovernor::settingsChanged() {
    update(false);
}

QString MemoryGovernor::readingText() const {
    return m_reading ? memoryReadingText(*m_reading) : QString();
}

void MemoryGovernor::update(bool fromLoop) {
    const auto finished = [this, fromLoop] {
        if (fromLoop)
            m_loop.start(m_timing.governorInterval);
        emit updateFinished();
    };
    if (!m_inputs.owner || !m_inputs.rootPIDs || !m_inputs.settings) {
        finished();
        return;
    }
    const QList<qint32> roots = m_inputs.rootPIDs();
    QFuture<Measurement> measured =
        QtConcurrent::run(measurementThreadPool(), [tree = m_tree, procRoot = m_procRoot, roots] {
            Measurement measurement;
            for (const ProcessUsage& usage : tree->snapshot(roots)) {
                measurement.vxr.total += usage.footprintBytes;
                measurement.vxr.inRam += usage.footprintInRamBytes;
            }
            measurement.host = readHostMemory(procRoot);
            return measurement;
        });
    whenFinished(std::move(measured), this, [this, finished](const Measurement& measurement) {
        apply(measurement);
        finished();
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
