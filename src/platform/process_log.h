#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vxr {

// Turns a child's raw output into whole "[label] line\n" records. Lines are
// reassembled across reads and decoded only once complete, so a character split
// between two reads survives; invalid bytes become U+FFFD. Empty lines are dropped.
// A line longer than kMaxLineBytes is cut there so a child can't grow us unbounded.
class LogLineAssembler {
public:
    explicit LogLineAssembler(const QString& label);

    // Records completed by this chunk (possibly empty).
    [[nodiscard]] QByteArray feed(QByteArrayView chunk);
    // At end of output: the unterminated last line, if any.
    [[nodiscard]] QByteArray finish();

    static constexpr qsizetype kMaxLineBytes = 1 << 20;

private:
    void appendLine(QByteArray& out, QByteArrayView rawLine) const;

    QByteArray m_prefix;
    QByteArray m_pending;
};

// The log every child's reader thread appends to, in the private temporary directory
// (often RAM-backed). Appending only queues: one writer thread of its own does the
// writing, so a slow or full disk never holds up a reader, and so never the child
// behind it. A worker's occasional lines gather for up to `gatherDelay` and go out in
// one write, so the writer does not wake for each; a pipe's worth goes out at once.
// What the disk cannot take yet waits in a bounded backlog and is written when it can
// be; past the backlog, records are left out and a line later says how many. A failed
// write is cut back to the last whole record.
//
// The file never grows past `fileCap`: when a write would pass it, the file becomes
// "<name>.1", replacing an older one, and a fresh file is started, so a chatty worker
// costs at most twice the cap. Records are split between the two files only at line
// ends. The directory is held open and the log opened only relative to it, 0600, never
// through a symlink: a log deleted or replaced while we run is made anew in place,
// never written through whatever took its name.
class ProcessLog {
public:
    struct Limits {
        qint64 fileCap = 32 * 1024 * 1024;
        qint64 backlog = 8 * 1024 * 1024;
        std::chrono::milliseconds retryDelay{1000}; // after a failed write
        std::chrono::milliseconds gatherDelay{1000};
    };

    ProcessLog(const QString& directory, const QString& name, Limits limits);
    ProcessLog(const QString& directory, const QString& name)
        : ProcessLog(directory, name, Limits{}) {}
    // Writes what is queued, as far as the disk takes it at once, then stops the writer.
    ~ProcessLog();
    ProcessLog(const ProcessLog&) = delete;
    ProcessLog& operator=(const ProcessLog&) = delete;

    // Queues whole "\n"-terminated records; any thread, never waits for the disk. False
    // when they were left out: no directory to write in, or a full backlog.
    bool append(QByteArrayView records);
    // Writes everything queued so far and waits until it is written. False when a write fails
    // meanwhile (a full disk, a planted link at the name) or the time runs out.
    bool flush(std::chrono::milliseconds timeout);

private:
    void writeQueued();
    // The bytes of `records` written, whole records only.
    [[nodiscard]] qsizetype writeRecords(QByteArrayView records);
    [[nodiscard]] bool openCurrent();
    [[nodiscard]] bool writeWhole(QByteArrayView bytes);
    [[nodiscard]] bool rotate();

    // Touched by the writer thread only.
    int m_dirFd = -1;
    int m_fd = -1;
    QByteArray m_name;
    QByteArray m_previousName;
    qint64 m_size = 0;

    const Limits m_limits;
    std::mutex m_mutex; // guards what follows
    std::condition_variable m_queued;
    std::condition_variable m_written;
    QByteArray m_queue;
    qint64 m_droppedLines = 0;
    quint64 m_failures = 0;
    bool m_writing = false;
    bool m_stopping = false;
    int m_flushing = 0;   // callers waiting in flush()
    std::thread m_writer; // last: starts once everything above exists
};

} // namespace vxr
