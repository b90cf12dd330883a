#include "platform/process_log.h"

#include <QFile>

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

int openProcessLog(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return fd;
    fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600); // against a permissive umask
        return fd;
    }
    // Lost a creation race with the other child's reader: open what it made.
    return ::open(name.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace vxr
