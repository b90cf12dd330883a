#pragma once

#include "uninstaller/trash.h"
#include "uninstaller/uninstaller_environment.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace vxr {

struct UninstallResult {
    // What was removed, in this order where present: "the app", "saved worker
    // configuration", "saved preferences", "log file".
    QStringList removed;
    // Sentences for the user about what was found but deliberately or unavoidably left.
    QStringList notes;
    bool operator==(const UninstallResult&) const = default;
};

// Removes every key of the JSON settings store at path, writing "{}" back atomically.
// True only when the store held at least one key and the empty store was written.
[[nodiscard]] bool clearSettingsStore(const QString& path);

// Deletes the process log and its previous file inside the private temporary directory,
// provided that directory is really ours (owned by us, closed to others, not a symlink).
// True only when a log existed and is gone now.
[[nodiscard]] bool deleteProcessLog(const QString& privateTempDir);

// Quits the running application and removes it and its leftovers. The quit request
// goes out over D-Bus; the 1.5 s grace period is a timer, so the event loop keeps running.
class Uninstaller : public QObject {
    Q_OBJECT
public:
    explicit Uninstaller(UninstallerEnvironment env, QObject* parent = nullptr);

    // Starts the removal; finished() follows once, asynchronously. Later calls do nothing.
    void performUninstall();

signals:
    void finished(const vxr::UninstallResult& result);

private:
    void quitRunningApp(); // then removeAll()
    void removeAll();

    UninstallerEnvironment m_env;
    bool m_started = false;
};

} // namespace vxr
