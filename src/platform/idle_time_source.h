#pragma once

#include <QString>

#include <optional>

namespace vxr {

// Seconds since the user's last keyboard or mouse input. Implementations never block
// the GUI thread: a source that must ask over D-Bus answers from its latest reply
// and refreshes asynchronously.
class IdleTimeSource {
public:
    virtual ~IdleTimeSource() = default;

    // Short, user-facing name of the mechanism ("GNOME Mutter", "X11", ...).
    [[nodiscard]] virtual QString name() const = 0;
    // Latest known idle time; nullopt when this source cannot tell.
    [[nodiscard]] virtual std::optional<double> idleSeconds() = 0;
};

} // namespace vxr
