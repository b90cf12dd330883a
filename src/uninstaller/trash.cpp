#include "uninstaller/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStorageInfo>

namespace vxr {

namespace {

// Qt 6.4.2 writes the original path into the info file as it is, where the Trash format
// wants it URL-escaped: a blank or a "%" in the name would be read back wrongly. Rewrites
// the line when Qt wrote the raw path and leaves an already escaped one alone.
void escapeTrashInfoPath(const QString& pathInTrash, const QString& originalPath) {
    const QFileInfo trashed(pathInTrash);
    const QString infoPath = trashed.dir().absoluteFilePath(
        QLatin1String("../info/") + trashed.fileName() + QLatin1String(".trashinfo"));
    QFile file(infoPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    const QByteArray raw = "Path=" + QFile::encodeName(originalPath);
    const QByteArray escaped = "Path=" + QFile::encodeName(originalPath).toPercentEncoding("/");
    if (raw == escaped || !lines.contains(raw))
        return;
    lines.replace(lines.indexOf(raw), escaped);
    QSaveFile out(infoPath);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(lines.join('\n'));
        out.commit();
    }
}

} // namespace

bool trash(const QString& path) {
    // Qt 6.4.2 misplaces the file under the working directory when the home Trash cannot
    // be made (no data home, a file in the way), while still reporting success.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome))
        return false;
    const QString original = QFileInfo(path).absoluteFilePath();
    const bool onHomeVolume = QStorageInfo(QFileInfo(original).absolutePath()).rootPath() ==
                              QStorageInfo(dataHome).rootPath();
    if (onHomeVolume && !(QDir().mkpath(dataHome + QLatin1String("/Trash/files")) &&
                          QDir().mkpath(dataHome + QLatin1String("/Trash/info"))))
        return false;
    QString pathInTrash;
    if (!QFile::moveToTrash(path, &pathInTrash))
        return false;
    if (!QDir::isAbsolutePath(pathInTrash)) {
        // Misplaced all the same: put it back and say it failed.
        QFile::rename(pathInTrash, original);
        return false;
    }
    escapeTrashInfoPath(pathInTrash, original);
    return true;
}

bool existsOrIsLink(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace vxr
