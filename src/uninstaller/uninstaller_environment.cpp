#include "uninstaller/uninstaller_environment.h"

#include "uninstaller/package_owner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace vxr {

namespace {

// XDG base directories must be absolute; anything else is ignored.
QString absoluteOr(const QString& value, const QString& fallback) {
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : fallback;
}

} // namespace

QString UninstallerEnvironment::settingsStorePath() const {
    return configHome + QLatin1Char('/') + QLatin1String(bundleID) + QLatin1String(".json");
}

QString UninstallerEnvironment::autostartEntryPath() const {
    return configHome + QLatin1String("/autostart/") + QLatin1String(bundleID) +
           QLatin1String(".desktop");
}

QString UninstallerEnvironment::workerConfigurationPath() const {
    return homeDir + QLatin1Char('/') + QLatin1String(workerConfigurationDir);
}

QString UninstallerEnvironment::processLogPath() const {
    return privateTempDir + QLatin1Char('/') + QLatin1String(processLogName);
}

QStringList UninstallerEnvironment::privateTempDirs() const {
    const QFileInfo primary(privateTempDir);
    QStringList dirs{privateTempDir};
    const QStringList fallbacks =
        primary.dir().entryList({primary.fileName() + QLatin1String("-??????")},
                                QDir::Dirs | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : fallbacks)
        dirs.append(primary.dir().filePath(name));
    return dirs;
}

QString UninstallerEnvironment::privateTempDirFor(const QString& tmpDir) {
    const QString base = absoluteOr(tmpDir, QStringLiteral("/tmp"));
    return QDir::cleanPath(base + QStringLiteral("/vxr-worker-%1").arg(::geteuid()));
}

UninstallerEnvironment UninstallerEnvironment::fromSystem() {
    UninstallerEnvironment env;
    env.homeDir = QDir::cleanPath(QDir::homePath());
    env.dataHome = absoluteOr(qEnvironmentVariable("XDG_DATA_HOME"),
                              env.homeDir + QLatin1String("/.local/share"));
    env.configHome = absoluteOr(qEnvironmentVariable("XDG_CONFIG_HOME"),
                                env.homeDir + QLatin1String("/.config"));
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            env.dataDirs.append(QDir::cleanPath(dir));
    }
    env.privateTempDir = privateTempDirFor(qEnvironmentVariable("TMPDIR"));
    env.selfExecutable = QCoreApplication::applicationFilePath();
    env.packageOwner = &packageOwning;
    return env;
}

} // namespace vxr
