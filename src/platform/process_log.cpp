#include "platform/process_log.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

LogLineAssembler::LogLineAssembler(const QString& label)
    : m_prefix('[' + label.toUtf8() + "] ")
    , m_decoder(QStringDecoder::Utf8)
{
}

void LogLineAssembler::appendLine(QByteArray& out, QStringView line) const
{
    if (line.isEmpty())
        return;
    out += m_prefix;
    out += line.toUtf8();
    out += '\n';
}

QByteArray LogLineAssembler::feed(QByteArrayView chunk)
{
    m_pending += m_decoder.decode(chunk);
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype newline = m_pending.indexOf(u'\n'); newline >= 0;
         newline = m_pending.indexOf(u'\n', start)) {
        appendLine(out, QStringView(m_pending).mid(start, newline - start));
        start = newline + 1;
    }
    m_pending.remove(0, start);
    return out;
}

QByteArray LogLineAssembler::finish()
{
    // A final line feed ends the last line; an incomplete character before it
    // becomes U+FFFD instead of vanishing. An empty last line is dropped as usual.
    return feed("\n");
}

int openProcessLog(const QString& path)
{
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
