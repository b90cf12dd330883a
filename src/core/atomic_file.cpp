#include "core/atomic_file.h"

#include "core/fd_write.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

namespace {

// The spare version, opened for overwriting; made anew when missing or when something
// other than a plain file of ours has its name (a link planted at the target is swapped
// out to here, and is removed, never written through).
int openSpare(const QByteArray& spare) {
    int fd = ::open(spare.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1)
            return fd;
        ::close(fd);
    }
    ::unlink(spare.constData());
    return ::open(spare.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

} // namespace

bool swapFileIn(const QString& path, const QByteArray& contents) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray spare = target + ".next";
    const int fd = openSpare(spare);
    if (fd < 0)
        return false;
    // Overwritten in place, cut only at its end: a truncation to zero would be flushed.
    const bool written = writeAll(fd, contents) && ::ftruncate(fd, contents.size()) == 0;
    if (::close(fd) != 0 || !written)
        return false;
    if (::renameat2(AT_FDCWD, spare.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) ==
        0)
        return true;
    return ::rename(spare.constData(), target.constData()) == 0;
}

bool writeFileAtomically(const QString& path, const QByteArray& contents) {
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
