#pragma once

#include "core/timing.h"
#include "memory/memory_limit.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace vxr {

namespace test {
struct ControllerAccess;
}

class ProcessTreeProbe;

// Every governorInterval, and at once after a memory setting changed, measures the
// machine's memory in use and the worker tree's footprint, computes the limit for all
// VXR work, publishes the figures and rewrites the limit file that the worker service
// obeys. Lives on the GUI thread; the measurement runs on the measurement pool.
class MemoryGovernor : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasReading READ hasReading NOTIFY readingChanged)
    Q_PROPERTY(vxr::MemoryReading reading READ readingOrZero NOTIFY readingChanged)
    Q_PROPERTY(QString readingText READ readingText NOTIFY readingChanged)
    Q_PROPERTY(double totalMemory READ totalMemoryValue NOTIFY totalMemoryChanged)

public:
    using Reading = MemoryReading;

    // What the governor reads from its owner (the controller). Held weakly: once owner
    // is gone, updates do nothing.
    struct Inputs {
        std::function<QList<qint32>()> rootPIDs; // service then evaluator, positive only
        std::function<MemorySettings()> settings;
        QPointer<QObject> owner;
    };

    // Writes the limit file; runs on a writer thread, one write after the other.
    using LimitFileWriter = std::function<bool(const QString& path, const QByteArray& contents)>;
    // The real writer: an atomic replace without a sync to disk (a temporary file that
    // is rewritten every 2 s needs no flush).
    [[nodiscard]] static LimitFileWriter renameOnlyWriter();

    // limitFilePath: "<private temp dir>/vxr-worker-memory-limit.json".
    MemoryGovernor(Inputs inputs, const Timing& timing, QString limitFilePath,
                   QString procRoot = QStringLiteral("/proc"), QObject* parent = nullptr,
                   LimitFileWriter writer = renameOnlyWriter());
    ~MemoryGovernor() override;

    // Starts the periodic loop once; later calls do nothing.
    void start();
    // One extra update at once, beside the loop. The caller calls it only when a memory
    // setting really changed.
    void settingsChanged();

    // Absent until the first update that completes.
    [[nodiscard]] const std::optional<Reading>& reading() const { return m_reading; }
    [[nodiscard]] bool hasReading() const { return m_reading.has_value(); }
    [[nodiscard]] Reading readingOrZero() const { return m_reading.value_or(Reading{}); }
    // The settings screen's line; empty while there is no reading.
    [[nodiscard]] QString readingText() const;
    // MemTotal, read once (0 until /proc/meminfo could be read).
    [[nodiscard]] quint64 totalMemory() const { return m_totalMemory; }
    [[nodiscard]] double totalMemoryValue() const { return double(m_totalMemory); }
    [[nodiscard]] const QString& limitFilePath() const { return m_limitFilePath; }

signals:
    void readingChanged();
    void totalMemoryChanged();
    // An update finished, whether or not it could publish.
    void updateFinished();

private:
    // Tests and the screenshot tool publish figures through this.
    friend struct test::ControllerAccess;

    struct Measurement;

    void update(bool fromLoop);
    void apply(const Measurement& measurement);

    Inputs m_inputs;
    Timing m_timing;
    QString m_limitFilePath;
    QString m_procRoot;
    std::shared_ptr<ProcessTreeProbe> m_tree;
    QTimer m_loop;
    bool m_started = false;
    quint64 m_totalMemory = 0;
    std::optional<Reading> m_reading;
    LimitFileWriter m_writer;
    // One thread, so writes land in the order the readings were taken.
    QThreadPool m_writerThread;
};

} // namespace vxr
