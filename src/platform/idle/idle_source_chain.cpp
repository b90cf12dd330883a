#include "platform/idle/idle_source_chain.h"

#include "platform/idle/dbus_idle_source.h"
#include "platform/idle/wayland_idle_source.h"
#include "platform/idle/x11_idle_source.h"

namespace vxr {

namespace {

template <typename Source, typename... Args>
std::unique_ptr<IdleTimeSource> probedDbusSource(int timeoutMs, Args&&... args) {
    auto source = std::make_unique<Source>(std::forward<Args>(args)...);
    if (!source->probe(timeoutMs))
        return nullptr;
    return source;
}

} // namespace

bool isIdleDetectionAvailable(const IdleTimeSource& source) {
    return dynamic_cast<const UnavailableIdleSource*>(&source) == nullptr;
}

QString idleDetectionUnavailableText() {
    return QStringLiteral(
        "Idle detection is not available on this desktop; use Start/Stop on the main screen.");
}

std::unique_ptr<IdleTimeSource> selectIdleTimeSource(const std::vector<IdleSourceProbe>& probes) {
    for (const IdleSourceProbe& probe : probes) {
        if (auto source = probe.open())
            return source;
    }
    return std::make_unique<UnavailableIdleSource>();
}

std::vector<IdleSourceProbe> defaultIdleSourceProbes(const IdleProbeEnvironment& environment) {
    const IdleProbeEnvironment env = environment;
    // XScreenSaver under Xwayland sees only input to X11 windows: wrong on Wayland.
    const bool waylandSession = !env.waylandDisplay.isEmpty() ||
                                env.sessionType.compare("wayland", Qt::CaseInsensitive) == 0;
    std::vector<IdleSourceProbe> probes;
    probes.push_back({QStringLiteral("GNOME Mutter"), [env] {
                          return probedDbusSource<MutterIdleSource>(env.dbusProbeTimeoutMs,
                                                                    env.sessionBus);
                      }});
    if (!waylandSession) {
        probes.push_back({QStringLiteral("X11"), [env]() -> std::unique_ptr<IdleTimeSource> {
                              return X11IdleSource::open(env.x11Display);
                          }});
    }
    if (!env.waylandDisplay.isEmpty()) {
        probes.push_back({QStringLiteral("Wayland"), [env]() -> std::unique_ptr<IdleTimeSource> {
                              return WaylandIdleSource::connect(env.waylandDisplay);
                          }});
    }
    probes.push_back({QStringLiteral("ScreenSaver"), [env] {
                          return probedDbusSource<ScreenSaverIdleSource>(env.dbusProbeTimeoutMs,
                                                                         env.sessionBus);
                      }});
    probes.push_back({QStringLiteral("logind"), [env] {
                          return probedDbusSource<LogindIdleSource>(env.dbusProbeTimeoutMs,
                                                                    env.systemBus, env.sessionId);
                      }});
    return probes;
}

std::unique_ptr<IdleTimeSource> makeIdleTimeSource(const IdleProbeEnvironment& environment) {
    return selectIdleTimeSource(defaultIdleSourceProbes(environment));
}

} // namespace vxr
