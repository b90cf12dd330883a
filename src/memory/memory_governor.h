#pragma once

#include "memory/memory_limit.h"
#include "platform/proc/process_tree_watch.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace vxr {

namespace test {
struct ControllerAccess;
}

// On every walk of the worker tree, and at once after a memory setting changed, takes the
// machine's memory in use and the worker tree's footprint from the walk, computes the
// limit for all VXR work, publishes the figures and rewrites the limit file that the
// worker service obeys. Lives on the GUI thread; the walks run on the measurement pool.
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
        QPointer<ProcessTreeWatch> tree; // shared with the metrics sampler
        std::function<MemorySettings()> settings;
        QPointer<QObject> owner;
    };

    // Writes the limit file; runs on a writer thread, one write after the other.
    using LimitFileWriter = std::function<bool(const QString& path, const QByteArray& contents)>;
    // The real writer: an atomic replace without a sync to disk, swapped with the previous
    // version (a temporary file rewritten every 2 s needs no flush and no new file).
    [[nodiscard]] static LimitFileWriter swappingWriter();

    // limitFilePath: "<private temp dir>/vxr-worker-memory-limit.json". The machine's
    // memory is read from the tree watch's /proc.
    MemoryGovernor(Inputs inputs, QString limitFilePath, QObject* parent = nullptr,
                   LimitFileWriter writer = swappingWriter());
    ~MemoryGovernor() override;

    // Follows the tree watch's walks from now on (and starts it); later calls do nothing.
    void start();
    // One extra update at once, beside the walks: from the last walk when it is recent,
    // else from a walk of its own. The caller calls it only when a memory setting really
    // changed.
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

    void update(const TreeSample& sample);
    void apply(const TreeSample& sample);

    Inputs m_inputs;
    QString m_limitFilePath;
    QString m_procRoot;
    bool m_started = false;
    quint64 m_totalMemory = 0;
    std::optional<Reading> m_reading;
    LimitFileWriter m_writer;
    // One thread, so writes land in the order the readings were taken.
    QThreadPool m_writerThread;
    ResultRelay m_relay{this};
};

} // namespace vxr
