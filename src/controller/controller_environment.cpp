#include "controller/controller_environment.h"

#include "platform/power_source.h"

#include "controller/orphan_reaper.h"
#include "platform/cpu_topology.h"
#include "platform/idle/idle_source_chain.h"

#include <QDir>
#include <QFileInfo>

namespace vxr {

QString ControllerEnvironment::defaultBinDir(const QString& applicationDir) {
    const QString chosen = qEnvironmentVariable("VXR_WORKER_DIR");
    if (QDir::isAbsolutePath(chosen))
        return QDir::cleanPath(chosen);
    const QString bundled = QDir::cleanPath(applicationDir + QLatin1String("/../lib/vxr-worker"));
    if (QFileInfo(bundled).isDir())
        return bundled;
    return QStringLiteral("/opt/vxr/bin");
}

ControllerEnvironment ControllerEnvironment::standard(const QString& applicationDir) {
    ControllerEnvironment env;
    env.binDir = defaultBinDir(applicationDir);
    env.paths = AppPaths::standard();
    env.performanceCores = [] { return vxr::performanceCores(); };
    env.activeProcessors = [] { return vxr::activeProcessorCount(); };
    // No idle source is kept when none answers: the controller then reports idle
    // detection as unavailable and idle time stays 0.
    env.makePowerSource = [] { return std::make_unique<UPowerSource>(); };
    env.makeIdleTimeSource = []() -> std::unique_ptr<IdleTimeSource> {
        auto source = vxr::makeIdleTimeSource();
        if (!isIdleDetectionAvailable(*source))
            return nullptr;
        return source;
    };
    env.reapOrphanedWorkerProcesses = [binDir = env.binDir] {
        OrphanReaperEnvironment reaper;
        reaper.binDir = binDir;
        return vxr::reapOrphanedWorkerProcesses(reaper);
    };
    return env;
}

} // namespace vxr
