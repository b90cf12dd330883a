#pragma once

#include "platform/idle_time_source.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace vxr {

// What the chain reports when no mechanism answers: idle time 0, so idle-time compute
// never starts and the user is pointed at the manual Start/Stop.
class UnavailableIdleSource final : public IdleTimeSource {
public:
    [[nodiscard]] QString name() const override { return QStringLiteral("none"); }
    [[nodiscard]] std::optional<double> idleSeconds() override { return 0.0; }
};

// False only for the source the chain returns when nothing answered.
[[nodiscard]] bool isIdleDetectionAvailable(const IdleTimeSource& source);

// The line the Settings screen shows when idle detection is unavailable.
[[nodiscard]] QString idleDetectionUnavailableText();

// One mechanism of the chain: a ready source, or nullptr when it does not answer here.
struct IdleSourceProbe {
    QString name;
    std::function<std::unique_ptr<IdleTimeSource>()> open;
};

// The first probe that answers, in order; UnavailableIdleSource when none does.
[[nodiscard]] std::unique_ptr<IdleTimeSource>
selectIdleTimeSource(const std::vector<IdleSourceProbe>& probes);

// Where the probes look; the defaults are this session's buses and environment.
struct IdleProbeEnvironment {
    QDBusConnection sessionBus = QDBusConnection::sessionBus();
    QDBusConnection systemBus = QDBusConnection::systemBus();
    QByteArray x11Display = qgetenv("DISPLAY");
    QByteArray waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    QByteArray sessionType = qgetenv("XDG_SESSION_TYPE");
    QString sessionId = QString::fromLocal8Bit(qgetenv("XDG_SESSION_ID"));
    // Each D-Bus probe waits at most this long for its first answer.
    int dbusProbeTimeoutMs = 500;
};

// GNOME Mutter; X11 on an X11 session only; Wayland ext-idle-notify; ScreenSaver;
// logind. Mutter comes first because it is right on both GNOME session types.
[[nodiscard]] std::vector<IdleSourceProbe>
defaultIdleSourceProbes(const IdleProbeEnvironment& environment = {});

// The source for this desktop. Call it on the GUI thread once the application object
// exists (the X11 source's error handlers must be installed after the platform's own),
// and read the source on that thread. D-Bus probes wait (bounded) only here.
[[nodiscard]] std::unique_ptr<IdleTimeSource>
makeIdleTimeSource(const IdleProbeEnvironment& environment = {});

} // namespace vxr
