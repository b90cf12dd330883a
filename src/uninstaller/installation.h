#pragma once

#include "uninstaller/uninstaller_environment.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vxr {

// An installation's prefix holds bin/VXRWorker. Installs made by the install rules list
// their files in a manifest; older ones and the fallback locations have none.
struct Installation {
    QString dir;
    QString desktopEntry; // the entry that named dir; empty when found otherwise
    std::optional<QStringList> manifest;
    bool operator==(const Installation&) const = default;
};

// The installation directory a desktop entry names: its X-VXR-InstallDir key, else the
// prefix of an absolute Exec= program ending in /bin/VXRWorker.
[[nodiscard]] std::optional<QString> installDirFromDesktopEntry(const QByteArray& contents);

// The install the running uninstaller belongs to (its manifest lists it), else the first
// directory holding bin/VXRWorker among those named by the desktop entries in the XDG
// applications directories (in XDG order), then the fallback directories.
[[nodiscard]] std::optional<Installation> findInstallation(const UninstallerEnvironment& env);

// A directory other software lives in too (a system prefix, the home directory or
// ~/.local, or one whose bin/ holds programs of others). Trashing it would take them along.
[[nodiscard]] bool isSharedPrefix(const QString& dir, const QString& homeDir);

} // namespace vxr
