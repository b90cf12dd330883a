#pragma once

#include "uninstaller/installation.h"
#include "uninstaller/uninstaller_environment.h"

#include <QCoreApplication>
#include <QStringList>

namespace vxr {

struct InstallRemoval {
    bool appRemoved = false; // true only when none of the app's files remain
    QStringList notes;       // what the user should know: what was left, and why
};

// Removes an installation, and nothing that is not ours:
// - an install the package manager owns is left to it (the note says how to remove it);
// - a prefix that holds only our files (by its manifest) goes to the Trash whole;
// - in a prefix shared with other files, our files go one by one and the folders they
//   leave empty are removed, the rest stays;
// - a symlinked prefix is followed; the link goes too when its target went whole;
// - an install without a manifest goes whole only when it is a dedicated folder;
// - the running uninstaller's own file goes last.
[[nodiscard]] InstallRemoval removeInstallation(const Installation& install,
                                                const UninstallerEnvironment& env);

} // namespace vxr
