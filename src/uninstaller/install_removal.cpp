#include "uninstaller/install_removal.h"

#include "uninstaller/trash.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace vxr {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("InstallRemoval", text);
}

// Everything below dir that is not a directory, relative to dir. Links are not followed.
QStringList entriesBelow(const QString& dir) {
    QStringList found;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (!info.isDir() || info.isSymLink())
            found.append(QDir(dir).relativeFilePath(path));
    }
    return found;
}

bool holdsOnlyOurFiles(const QString& dir, const QStringList& manifest) {
    const QSet<QString> ours(manifest.cbegin(), manifest.cend());
    const QStringList present = entriesBelow(dir);
    return std::all_of(present.cbegin(), present.cend(),
                       [&ours](const QString& path) { return ours.contains(path); });
}

// A link holds no data; one the Trash refuses (a dangling one) is simply removed.
bool trashOrUnlink(const QString& path) {
    return trash(path) || (QFileInfo(path).isSymLink() && QFile::remove(path));
}

// Removes the folders below prefix that held our files and are empty now, deepest first.
void removeEmptiedFolders(const QString& prefix, const QStringList& files) {
    QStringList folders;
    for (const QString& file : files) {
        for (QString dir = QFileInfo(file).path(); dir != QLatin1String(".");
             dir = QFileInfo(dir).path()) {
            if (!folders.contains(dir))
                folders.append(dir);
        }
    }
    std::sort(folders.begin(), folders.end(), [](const QString& a, const QString& b) {
        return a.count(QLatin1Char('/')) > b.count(QLatin1Char('/'));
    });
    for (const QString& dir : std::as_const(folders))
        QDir(prefix).rmdir(dir); // fails, as it should, on a folder still holding anything
}

// Our files one by one, the running uninstaller last.
void trashFiles(const QString& prefix, QStringList files, const QString& self) {
    const QString selfCanonical = QFileInfo(self).canonicalFilePath();
    std::stable_partition(files.begin(), files.end(), [&](const QString& file) {
        return selfCanonical.isEmpty() ||
               QFileInfo(prefix + QLatin1Char('/') + file).canonicalFilePath() != selfCanonical;
    });
    for (const QString& file : std::as_const(files)) {
        const QString path = prefix + QLatin1Char('/') + file;
        if (existsOrIsLink(path) && !QFileInfo(path).isDir())
            (void)trashOrUnlink(path);
    }
    removeEmptiedFolders(prefix, files);
}

qsizetype filesLeft(const QString& prefix, const QStringList& files) {
    return std::count_if(files.cbegin(), files.cend(), [&prefix](const QString& file) {
        return existsOrIsLink(prefix + QLatin1Char('/') + file);
    });
}

} // namespace

InstallRemoval removeInstallation(const Installation& install, const UninstallerEnvironment& env) {
    const QString name = QString::fromLatin1(appDisplayName);
    const QFileInfo prefixInfo(install.dir);
    const QString target = prefixInfo.canonicalFilePath();
    if (target.isEmpty())
        return {false, {tr("%1 in %2 could not be found any more.").arg(name, install.dir)}};

    const QString owner =
        env.packageOwner ? env.packageOwner(target + QLatin1String("/bin/VXRWorker")) : QString();
    if (!owner.isEmpty()) {
        return {false,
                {tr("%1 was installed with the system's package manager, which removes it: "
                    "sudo apt remove %2")
                     .arg(name, owner)}};
    }

    const bool viaLink = prefixInfo.isSymLink();
    const bool dedicated = !isSharedPrefix(target, env.homeDir) &&
                           (install.manifest ? holdsOnlyOurFiles(target, *install.manifest) : true);
    if (dedicated) {
        if (!trash(target))
            return {false, {tr("%1 in %2 could not be moved to the Trash.").arg(name, target)}};
        InstallRemoval removal{true, {}};
        if (viaLink) {
            (void)trashOrUnlink(install.dir);
            removal.notes.append(
                tr("%1 was a link to %2; both were removed.").arg(install.dir, target));
        }
        return removal;
    }
    if (!install.manifest) {
        return {false,
                {tr("%1 in %2 was left in place because other software shares that folder; "
                    "remove it with the package manager or tool that installed it.")
                     .arg(name, target)}};
    }

    trashFiles(target, *install.manifest, env.selfExecutable);
    const qsizetype left = filesLeft(target, *install.manifest);
    InstallRemoval removal{left == 0, {}};
    if (left > 0) {
        removal.notes.append(tr("%1 of the %2 files of %3 in %4 could not be moved to the Trash.")
                                 .arg(left)
                                 .arg(install.manifest->size())
                                 .arg(name, target));
    }
    if (viaLink) {
        removal.notes.append(tr("%1 links to %2, which holds other files too; the link and "
                                "those files were left.")
                                 .arg(install.dir, target));
    }
    return removal;
}

} // namespace vxr
