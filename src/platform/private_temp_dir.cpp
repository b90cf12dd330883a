#include "platform/private_temp_dir.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

namespace {

bool isPrivateDirectory(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                    (st.st_mode & 077) == 0;
    ::close(fd);
    return ok;
}

QString withSlash(QString path) {
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

} // namespace

QString privateTempDirectory(const QString& base) {
    // A relative TMPDIR would depend on the working directory, and the uninstaller
    // could not find the log again.
    const QString root =
        QDir::isAbsolutePath(base) ? QDir::cleanPath(base) : QStringLiteral("/tmp");
    const QString name = QStringLiteral("vxr-worker-%1").arg(::geteuid());
    const QByteArray path = QFile::encodeName(root + u'/' + name);

    ::mkdir(path.constData(), 0700); // EEXIST is fine: the checks below decide
    if (isPrivateDirectory(path))
        return withSlash(QFile::decodeName(path));

    QByteArray pattern = path + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr)
        return withSlash(QFile::decodeName(pattern));
    // Nowhere safe to write: an unusable path makes every later open fail quietly.
    return withSlash(QFile::decodeName(path + "-unavailable"));
}

QString privateTempDirectory() {
    return privateTempDirectory(qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp")));
}

} // namespace vxr
