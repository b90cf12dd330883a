#include "uninstaller/uninstaller_environment.h"

#include <QDir>

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
    const QString tmp = absoluteOr(qEnvironmentVariable("TMPDIR"), QStringLiteral("/tmp"));
    env.privateTempDir = QDir::cleanPath(tmp + QStringLiteral("/vxr-worker-%1").arg(::getuid()));
    return env;
}

} // namespace vxr
