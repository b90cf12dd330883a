#include "core/stored_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

StoredFile readStoredFile(const QString& path, qint64 maxBytes, SymlinkPolicy symlinks) {
    using Status = StoredFile::Status;
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (symlinks == SymlinkPolicy::refuse)
        flags |= O_NOFOLLOW;
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return {errno == ENOENT ? Status::absent : Status::unreadable, {}};

    StoredFile result{Status::unreadable, {}};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
        // The size is a hint only: the file may grow while we read, so the cap holds
        // on what is read, one byte past it telling that there is more.
        QByteArray bytes(std::min<qint64>(st.st_size, maxBytes) + 1, Qt::Uninitialized);
        qint64 total = 0;
        bool failed = false;
        while (total <= maxBytes) {
            if (total == bytes.size())
                bytes.resize(std::min<qint64>(bytes.size() * 2, maxBytes + 1));
            const ssize_t n = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failed = true;
            if (n <= 0)
                break;
            total += n;
        }
        if (!failed && total <= maxBytes) {
            bytes.truncate(total);
            result = {Status::ok, std::move(bytes)};
        }
    }
    ::close(fd);
    return result;
}

} // namespace vxr
