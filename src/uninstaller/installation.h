#pragma once

#include "uninstaller/uninstaller_environment.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vxr {

// An installation directory holds bin/VXRWorker (with bin/vxr-worker-ctl and
// lib/vxr-worker beside it); the whole directory goes to the Trash.
struct Installation {
    QString dir;
    QString desktopEntry; // the entry that named dir; empty when found at a fallback location
    bool operator==(const Installation&) const = default;
};

// The installation directory a desktop entry names: its X-VXR-InstallDir key, else the
// prefix of an absolute Exec= program ending in /bin/VXRWorker.
[[nodiscard]] std::optional<QString> installDirFromDesktopEntry(const QByteArray& contents);

// The first directory holding bin/VXRWorker among those named by the desktop entries in
// the XDG applications directories (in XDG order), then the fallback directories.
[[nodiscard]] std::optional<Installation> findInstallation(const UninstallerEnvironment& env);

// A directory other software lives in too (a system prefix, the home directory or
// ~/.local, or one whose bin/ holds programs of others). Trashing it would take them along.
[[nodiscard]] bool isSharedPrefix(const QString& dir, const QString& homeDir);

} // namespace vxr
