#include "platform/process_log.h"

#include "core/fd_write.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
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

ProcessLog::ProcessLog(const QString& directory, const QString& name, qint64 cap)
    // No trailing slash: with one, a symlink in the directory's place would be followed.
    : m_dirFd(::open(QFile::encodeName(QDir::cleanPath(directory)).constData(),
                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
    , m_name(QFile::encodeName(name))
    , m_previousName(m_name + ".1")
    , m_cap(std::max<qint64>(cap, 1)) {}

ProcessLog::~ProcessLog() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_dirFd >= 0)
        ::close(m_dirFd);
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
    if (m_dirFd < 0)
        return false;
    // Non-blocking: a FIFO at the name must not hang the reader thread.
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

bool ProcessLog::writeOrDrop(QByteArrayView bytes) {
    if (!writeAll(m_fd, bytes))
        return false;
    m_size += bytes.size();
    return true;
}

bool ProcessLog::rotate() {
    // openCurrent() has just checked that the name is still our file.
    if (::renameat(m_dirFd, m_name.constData(), m_dirFd, m_previousName.constData()) != 0)
        return false;
    ::close(m_fd);
    m_fd = -1;
    return openCurrent();
}

bool ProcessLog::append(QByteArrayView records) {
    const std::lock_guard lock(m_mutex);
    if (!openCurrent())
        return false;
    bool written = true;
    while (!records.isEmpty()) {
        const qint64 room = m_cap - m_size;
        if (records.size() <= room)
            return writeOrDrop(records) && written;
        // The whole lines that still fit. Into an empty file a line longer than the
        // whole cap goes alone rather than split.
        qsizetype cut = room > 0 ? records.first(room).lastIndexOf('\n') + 1 : 0;
        if (cut == 0 && m_size == 0) {
            const qsizetype end = records.indexOf('\n');
            cut = end < 0 ? records.size() : end + 1;
        }
        if (cut > 0) {
            written = writeOrDrop(records.first(cut)) && written;
            records = records.sliced(cut);
        }
        if (!rotate())
            return false;
    }
    return written;
}

} // namespace vxr
