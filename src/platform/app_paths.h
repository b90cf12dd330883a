#pragma once

#include <QString>

namespace vxr {

inline constexpr char kBundleIdentifier[] = "network.quorbel.vxrworker";

// Where the application keeps its files on this desktop.
struct AppPaths {
    QString tempDir;       // private per-user temporary directory, ends with "/"
    QString appSupportDir; // $XDG_DATA_HOME/VXR Worker
    QString homeDir;
    QString settingsFile; // $XDG_CONFIG_HOME/network.quorbel.vxrworker.json
    // $XDG_CONFIG_HOME/autostart/network.quorbel.vxrworker.desktop
    QString autostartFile;

    // The real locations, from the environment (XDG variables, HOME, TMPDIR).
    [[nodiscard]] static AppPaths standard();
    // Everything below one root directory (tests).
    [[nodiscard]] static AppPaths underRoot(const QString& root);

    bool operator==(const AppPaths&) const = default;
};

} // namespace vxr
