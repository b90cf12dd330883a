#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <chrono>

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
    QString dataHome;       // $XDG_DATA_HOME
    QStringList dataDirs;   // $XDG_DATA_DIRS, most important first
    QString configHome;     // $XDG_CONFIG_HOME
    QString privateTempDir; // ${TMPDIR:-/tmp}/vxr-worker-<uid>, where the process log lives
    QStringList fallbackInstallDirs{QStringLiteral("/opt/VXR Worker"),
                                    QStringLiteral("/opt/VXRWorker")};
    QDBusConnection bus = QDBusConnection::sessionBus();
    std::chrono::milliseconds quitWait{1500};

    [[nodiscard]] QString settingsStorePath() const;
    // The app's XDG autostart entry ("Start VXR Worker when I log in").
    [[nodiscard]] QString autostartEntryPath() const;
    [[nodiscard]] QString workerConfigurationPath() const;
    [[nodiscard]] QString processLogPath() const;

    [[nodiscard]] static UninstallerEnvironment fromSystem();
};

} // namespace vxr
