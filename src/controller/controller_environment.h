#pragma once

#include "core/timing.h"
#include "platform/app_paths.h"

#include <QProcessEnvironment>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace vxr {

class IdleTimeSource;
class PowerSource;

// Everything WorkerController takes from the outside world. standard() gives the
// real values; tests substitute fake scripts, an ephemeral port, a temp root, a
// scripted idle source and scaled timing.
struct ControllerEnvironment {
    QString binDir;
    QUrl statusURL{QStringLiteral("http://localhost:9080/hud/small-dark.html")};
    QUrl taskInfoURL{QStringLiteral("http://localhost:9080/worker/task-info")};
    QUrl runInfoURL{QStringLiteral("http://localhost:9080/worker/run-info")};
    AppPaths paths;
    // Roots of the kernel's process and device trees (fixture trees in tests).
    QString procRoot = QStringLiteral("/proc");
    QString sysRoot = QStringLiteral("/sys");
    Timing timing;
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    std::function<int()> performanceCores;
    // Bounds maxSandboxes; absent: the processors this process may run on.
    std::function<int()> activeProcessors;
    std::function<std::unique_ptr<IdleTimeSource>()> makeIdleTimeSource;
    // Absent: always on mains power, no battery.
    std::function<std::unique_ptr<PowerSource>()> makePowerSource;
    // What the autostart entry starts, and whether this instance was started by it.
    QString executable;
    bool startedAtLogin = false;
    // Ends leftover worker processes of a previous instance, at start-up and before
    // each evaluator launch. Blocking: the controller runs it off the GUI thread and
    // writes the lines it returns.
    std::function<QStringList()> reapOrphanedWorkerProcesses;

    // The real environment for an executable living in applicationDir.
    [[nodiscard]] static ControllerEnvironment standard(const QString& applicationDir);
    // $VXR_WORKER_DIR when it is an absolute path (a worker installed elsewhere), else
    // <applicationDir>/../lib/vxr-worker when it exists, else /opt/vxr/bin.
    [[nodiscard]] static QString defaultBinDir(const QString& applicationDir);
};

} // namespace vxr
