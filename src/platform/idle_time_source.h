#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace vxr {

using IdleReadingHandler = std::function<void(std::optional<double> seconds)>;

// Seconds since the user's last keyboard or mouse input. Implementations never block
// the GUI thread.
class IdleTimeSource {
public:
    virtual ~IdleTimeSource() = default;

    // Short, user-facing name of the mechanism ("GNOME Mutter", "X11", ...).
    [[nodiscard]] virtual QString name() const = 0;
    // Latest known idle time; nullopt when this source cannot tell. A source that must
    // ask over D-Bus answers from its latest reply and refreshes in the background.
    [[nodiscard]] virtual std::optional<double> idleSeconds() = 0;
    // Measures the idle time now and hands it to done, on this thread: at once for a
    // source that can answer without waiting, or when the answer to a question asked
    // now arrives (bounded by a short timeout, then nullopt). Never called once
    // context is gone.
    virtual void readIdleSeconds(QObject* context, IdleReadingHandler done) {
        Q_UNUSED(context);
        done(idleSeconds());
    }
};

} // namespace vxr
