#include "core/atomic_file.h"

#include "core/fd_write.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vxr {

namespace {

bool replaceWithoutSync(const QString& path, const QByteArray& contents) {
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, contents);
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.constData(), QFile::encodeName(path)) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& contents, Durability durability) {
    if (durability == Durability::renameOnly)
        return replaceWithoutSync(path, contents);
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile flushes at commit() and does not notice a
    // short write there (full disk, file size limit), so it would rename a
    // truncated file over the good one. Unbuffered, the short write shows here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(contents) != contents.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace vxr
