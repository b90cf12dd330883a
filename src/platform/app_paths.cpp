#include "platform/app_paths.h"

#include "platform/private_temp_dir.h"

#include <QDir>

namespace vxr {

namespace {
QString xdgDir(const char* variable, const QString& home, const char* fallback) {
    const QString value = qEnvironmentVariable(variable);
    // Relative XDG paths are invalid by the base-directory rules and must be ignored.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return home + QLatin1String(fallback);
}
} // namespace

AppPaths AppPaths::standard() {
    const QString home = QDir::homePath();
    AppPaths paths;
    paths.homeDir = home;
    paths.tempDir = privateTempDirectory();
    paths.appSupportDir =
        xdgDir("XDG_DATA_HOME", home, "/.local/share") + QLatin1String("/VXR Worker");
    const QString configHome = xdgDir("XDG_CONFIG_HOME", home, "/.config");
    paths.settingsFile =
        configHome + u'/' + QLatin1String(kBundleIdentifier) + QLatin1String(".json");
    paths.autostartFile = configHome + QLatin1String("/autostart/") +
                          QLatin1String(kBundleIdentifier) + QLatin1String(".desktop");
    return paths;
}

AppPaths AppPaths::underRoot(const QString& root) {
    AppPaths paths;
    paths.homeDir = root + QLatin1String("/home");
    QDir().mkpath(root + QLatin1String("/tmp"));
    paths.tempDir = privateTempDirectory(root + QLatin1String("/tmp"));
    paths.appSupportDir = root + QLatin1String("/data/VXR Worker");
    paths.settingsFile = root + QLatin1String("/config/") + QLatin1String(kBundleIdentifier) +
                         QLatin1String(".json");
    paths.autostartFile = root + QLatin1String("/config/autostart/") +
                          QLatin1String(kBundleIdentifier) + QLatin1String(".desktop");
    return paths;
}

} // namespace vxr
