#include "controller/controller_environment.h"

#include "platform/cpu_topology.h"

#include <QDir>
#include <QFileInfo>

namespace vxr {

QString ControllerEnvironment::defaultBinDir(const QString& applicationDir)
{
    const QString bundled = QDir::cleanPath(applicationDir + QLatin1String("/../lib/vxr-worker"));
    if (QFileInfo(bundled).isDir())
        return bundled;
    return QStringLiteral("/opt/vxr/bin");
}

ControllerEnvironment ControllerEnvironment::standard(const QString& applicationDir)
{
    ControllerEnvironment env;
    env.binDir = defaultBinDir(applicationDir);
    env.paths = AppPaths::standard();
    env.performanceCores = [] { return vxr::performanceCores(); };
    return env;
}

} // namespace vxr
