#include "uninstaller/install_manifest.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxr {

namespace {

constexpr qint64 maxManifestSize = 256 << 10;

// A FIFO or a device where the manifest belongs must neither block nor feed us forever.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxSize) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> contents;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxSize) {
        QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        contents = bytes;
    }
    ::close(fd);
    return contents;
}

} // namespace

std::optional<QStringList> parseInstallManifest(const QByteArray& text) {
    QStringList files;
    QSet<QString> seen;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString path = QDir::cleanPath(line);
        if (QDir::isAbsolutePath(path) || path == QLatin1String(".") ||
            path == QLatin1String("..") || path.startsWith(QLatin1String("../")))
            return std::nullopt;
        if (!seen.contains(path)) {
            seen.insert(path);
            files.append(path);
        }
    }
    if (!seen.contains(QStringLiteral("bin/VXRWorker")))
        return std::nullopt;
    if (!seen.contains(QLatin1String(installManifestPath)))
        files.append(QLatin1String(installManifestPath));
    return files;
}

std::optional<QStringList> readInstallManifest(const QString& prefix) {
    const std::optional<QByteArray> text = readRegularFile(
        prefix + QLatin1Char('/') + QLatin1String(installManifestPath), maxManifestSize);
    if (!text)
        return std::nullopt;
    return parseInstallManifest(*text);
}

} // namespace vxr
