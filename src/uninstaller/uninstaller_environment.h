#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace vxr {

// The values the uninstaller shares with the application; nothing else is shared.
inline constexpr auto bundleID = "network.quorbel.vxrworker";
inline constexpr auto appDisplayName = "VXR Worker";
inline constexpr auto appObjectPath = "/network/quorbel/vxrworker";
inline constexpr auto desktopEntryName = "network.quorbel.vxrworker.desktop";
inline constexpr auto workerConfigurationDir = ".vxr/vxr-worker";
inline constexpr auto processLogName = "vxrwork-processes.log";
// Key of the desktop entry that names the installation directory, written by the install rules.
inline constexpr auto installDirKey = "X-VXR-InstallDir";

// Everything the uninstaller looks at, so tests can point it at a fake home, fake XDG
// directories, a fake installation and a private bus. fromSystem() gives the real values.
struct UninstallerEnvironment {
    QString homeDir;
    QString dataHome;     // $XDG_DATA_HOME
    QStringList dataDirs; // $XDG_DATA_DIRS, most important first
    QString configHome;   // $XDG_CONFIG_HOME
    // ${TMPDIR:-/tmp}/vxr-worker-<euid>, where the process log lives, chosen as the app
    // chooses it. When that path was taken by someone else, the app used a fresh
    // "<that path>-XXXXXX" directory instead; privateTempDirs() finds those too.
    QString privateTempDir;
    // The running uninstaller; the manifest beside it finds an install in any prefix.
    QString selfExecutable;
    QStringList fallbackInstallDirs{QStringLiteral("/opt/VXR Worker"),
                                    QStringLiteral("/opt/VXRWorker")};
    QDBusConnection bus = QDBusConnection::sessionBus();
    std::chrono::milliseconds quitWait{1500};
    // The package that installed a file, empty when none did (dpkg-query by default).
    std::function<QString(const QString& path)> packageOwner;

    [[nodiscard]] QString settingsStorePath() const;
    // The app's XDG autostart entry ("Start VXR Worker when I log in").
    [[nodiscard]] QString autostartEntryPath() const;
    [[nodiscard]] QString workerConfigurationPath() const;
    [[nodiscard]] QString processLogPath() const;
    // privateTempDir, then the app's fallback directories beside it, sorted.
    [[nodiscard]] QStringList privateTempDirs() const;

    // The private temporary directory's path for a TMPDIR value, by the app's rule: an
    // empty or relative value means /tmp.
    [[nodiscard]] static QString privateTempDirFor(const QString& tmpDir);

    [[nodiscard]] static UninstallerEnvironment fromSystem();
};

} // namespace vxr
