#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>

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
// (often RAM-backed). It never grows past `cap`: when a write would pass it, the file
// becomes "<name>.1", replacing an older one, and a fresh file is started, so a chatty
// worker costs at most twice the cap. Records are split between the two files only at
// line ends. The directory is held open and the log opened only relative to it, 0600,
// never through a symlink: a log deleted or replaced while we run is made anew in
// place, never written through whatever took its name.
class ProcessLog {
public:
    static constexpr qint64 kDefaultCap = 32 * 1024 * 1024;

    ProcessLog(const QString& directory, const QString& name, qint64 cap = kDefaultCap);
    ~ProcessLog();
    ProcessLog(const ProcessLog&) = delete;
    ProcessLog& operator=(const ProcessLog&) = delete;

    // Appends whole "\n"-terminated records; any thread. False when some were dropped
    // (no directory, a full disk, a planted link at the name).
    bool append(QByteArrayView records);

private:
    [[nodiscard]] bool openCurrent();
    [[nodiscard]] bool writeOrDrop(QByteArrayView bytes);
    [[nodiscard]] bool rotate();

    std::mutex m_mutex;
    int m_dirFd = -1;
    int m_fd = -1;
    QByteArray m_name;
    QByteArray m_previousName;
    qint64 m_cap;
    qint64 m_size = 0;
};

} // namespace vxr
