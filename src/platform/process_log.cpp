#include "platform/process_log.h"

#include "core/fd_write.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

LogLineAssembler::LogLineAssembler(const QString& label)
    : m_prefix('[' + label.toUtf8() + "] ") {}

void LogLineAssembler::appendLine(QByteArray& out, QByteArrayView rawLine) const {
    if (rawLine.isEmpty())
        return;
    out += m_prefix;
    if (rawLine.isValidUtf8())
        out += rawLine;
    else // the round trip through UTF-16 replaces invalid sequences with U+FFFD
        out += QString::fromUtf8(rawLine).toUtf8();
    out += '\n';
}

QByteArray LogLineAssembler::feed(QByteArrayView chunk) {
    // A line feed byte never occurs inside a multi-byte UTF-8 sequence, so lines can be
    // split on raw bytes before decoding.
    m_pending += chunk;
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype newline = m_pending.indexOf('\n'); newline >= 0;
         newline = m_pending.indexOf('\n', start)) {
        appendLine(out, QByteArrayView(m_pending).sliced(start, newline - start));
        start = newline + 1;
    }
    m_pending.remove(0, start);
    if (m_pending.size() > kMaxLineBytes) {
        appendLine(out, m_pending);
        m_pending.clear();
    }
    return out;
}

QByteArray LogLineAssembler::finish() {
    QByteArray out;
    appendLine(out, m_pending);
    m_pending.clear();
    return out;
}

namespace {

// A pipe's worth: more than this is written at once, without waiting for more to gather.
constexpr qsizetype kBatchBytes = 64 * 1024;

QByteArray leftOutLine(qint64 lines) {
    return "[VXR Worker] " + QByteArray::number(lines) +
           " lines left out: the disk was full or too slow\n";
}

} // namespace

ProcessLog::ProcessLog(const QString& directory, const QString& name, Limits limits)
    // No trailing slash: with one, a symlink in the directory's place would be followed.
    : m_dirFd(::open(QFile::encodeName(QDir::cleanPath(directory)).constData(),
                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
    , m_name(QFile::encodeName(name))
    , m_previousName(m_name + ".1")
    , m_limits{std::max<qint64>(limits.fileCap, 1), limits.backlog, limits.retryDelay,
               limits.gatherDelay}
    , m_writer([this] { writeQueued(); }) {}

ProcessLog::~ProcessLog() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    m_writer.join();
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_dirFd >= 0)
        ::close(m_dirFd);
}

bool ProcessLog::append(QByteArrayView records) {
    if (m_dirFd < 0)
        return false;
    bool wakeWriter = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_queue.size() + records.size() > m_limits.backlog) {
            m_droppedLines += records.count('\n');
            return false;
        }
        // The writer waits for a first record, then for a full batch; nothing between.
        const qsizetype before = m_queue.size();
        if (m_droppedLines > 0) // in its place: after what came before, before what follows
            m_queue += leftOutLine(std::exchange(m_droppedLines, 0));
        m_queue += records;
        wakeWriter = before == 0 || (before < kBatchBytes && m_queue.size() >= kBatchBytes);
    }
    if (wakeWriter)
        m_queued.notify_one();
    return true;
}

bool ProcessLog::flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const quint64 failures = m_failures;
    ++m_flushing;
    m_queued.notify_one();
    m_written.wait_for(lock, timeout,
                       [&] { return (m_queue.isEmpty() && !m_writing) || m_failures != failures; });
    --m_flushing;
    return m_queue.isEmpty() && !m_writing && m_failures == failures;
}

void ProcessLog::writeQueued() {
    ::pthread_setname_np(::pthread_self(), "log writer");
    std::unique_lock lock(m_mutex);
    bool retrying = false; // what a failed write left goes again at once
    for (;;) {
        if (!std::exchange(retrying, false)) {
            m_queued.wait(lock, [&] { return m_stopping || !m_queue.isEmpty(); });
            if (m_queue.isEmpty())
                return; // stopping with nothing left
            m_queued.wait_for(lock, m_limits.gatherDelay, [&] {
                return m_stopping || m_flushing > 0 || m_queue.size() >= kBatchBytes;
            });
        }
        QByteArray batch = std::exchange(m_queue, {});
        // Everything queued came before the lines left out.
        if (m_droppedLines > 0)
            batch += leftOutLine(std::exchange(m_droppedLines, 0));
        m_writing = true;
        lock.unlock();
        const qsizetype written = writeRecords(batch);
        lock.lock();
        m_writing = false;
        if (written < batch.size()) {
            // Kept, in order, ahead of whatever came meanwhile; tried again later.
            m_queue.prepend(QByteArrayView(batch).sliced(written));
            ++m_failures;
            m_written.notify_all();
            if (m_stopping)
                return;
            m_queued.wait_for(lock, m_limits.retryDelay, [&] { return m_stopping; });
            retrying = true;
            continue;
        }
        m_written.notify_all();
    }
}

bool ProcessLog::openCurrent() {
    if (m_fd >= 0) {
        struct stat mine {};
        struct stat named {};
        if (::fstat(m_fd, &mine) == 0 &&
            ::fstatat(m_dirFd, m_name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino) {
            m_size = mine.st_size;
            return true;
        }
        // Deleted, or something else took the name: what we hold is no longer the log.
        ::close(m_fd);
        m_fd = -1;
    }
    // Non-blocking: a FIFO at the name must not hang the writer.
    constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::openat(m_dirFd, m_name.constData(), flags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) // an earlier run's log
        fd = ::openat(m_dirFd, m_name.constData(), flags);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = st.st_size;
    return true;
}

bool ProcessLog::writeWhole(QByteArrayView bytes) {
    if (writeAll(m_fd, bytes)) {
        m_size += bytes.size();
        return true;
    }
    // A write cut short by a full disk leaves part of a record: take it back, so the
    // next write starts on a line of its own.
    (void)::ftruncate(m_fd, m_size);
    return false;
}

bool ProcessLog::rotate() {
    // openCurrent() has just checked that the name is still our file.
    if (::renameat(m_dirFd, m_name.constData(), m_dirFd, m_previousName.constData()) != 0)
        return false;
    ::close(m_fd);
    m_fd = -1;
    return openCurrent();
}

qsizetype ProcessLog::writeRecords(QByteArrayView records) {
    if (!openCurrent())
        return 0;
    qsizetype written = 0;
    while (written < records.size()) {
        const QByteArrayView rest = records.sliced(written);
        const qint64 room = m_limits.fileCap - m_size;
        if (rest.size() <= room)
            return writeWhole(rest) ? records.size() : written;
        // The whole lines that still fit. Into an empty file a line longer than the
        // whole cap goes alone rather than split.
        qsizetype cut = room > 0 ? rest.first(room).lastIndexOf('\n') + 1 : 0;
        if (cut == 0 && m_size == 0) {
            const qsizetype end = rest.indexOf('\n');
            cut = end < 0 ? rest.size() : end + 1;
        }
        if (cut > 0) {
            if (!writeWhole(rest.first(cut)))
                return written;
            written += cut;
        }
        if (!rotate())
            return written;
    }
    return written;
}

} // namespace vxr
