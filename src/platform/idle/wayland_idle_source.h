#pragma once

#include "platform/idle/idle_notification_tracker.h"
#include "platform/idle_time_source.h"

#include <QByteArray>

#include <memory>

namespace vxr {

// ext-idle-notify-v1 on a Wayland connection of its own (KWin, wlroots compositors;
// Mutter lacks it). A short-timeout notification's idled/resumed events feed an
// IdleNotificationTracker; the connection is read from the event loop through a
// socket notifier, so nothing here waits except the bounded set-up in connect().
class WaylandIdleSource final : public IdleTimeSource {
public:
    static constexpr qint64 kNotificationTimeoutMs = 1000;
    static constexpr int kSetupTimeoutMs = 1000;

    // nullptr when there is no compositor at socketName (empty: $WAYLAND_DISPLAY), or
    // it offers no idle notifier or seat.
    [[nodiscard]] static std::unique_ptr<WaylandIdleSource>
    connect(const QByteArray& socketName, qint64 timeoutMs = kNotificationTimeoutMs);
    ~WaylandIdleSource() override;

    [[nodiscard]] QString name() const override { return QStringLiteral("Wayland"); }
    [[nodiscard]] std::optional<double> idleSeconds() override;

    struct State;

private:
    explicit WaylandIdleSource(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace vxr
