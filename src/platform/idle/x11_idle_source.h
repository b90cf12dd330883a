#pragma once

#include "platform/idle_time_source.h"

#include <QByteArray>

#include <memory>

namespace vxr {

// XScreenSaverQueryInfo on a display connection of its own. Only right on an X11
// session: under Xwayland it sees input to X11 windows only. A broken connection or
// an X error never ends the process; the source then answers nullopt.
class X11IdleSource final : public IdleTimeSource {
public:
    // nullptr when the display cannot be opened or lacks the MIT-SCREEN-SAVER extension.
    [[nodiscard]] static std::unique_ptr<X11IdleSource> open(const QByteArray& displayName);
    ~X11IdleSource() override;

    [[nodiscard]] QString name() const override { return QStringLiteral("X11"); }
    [[nodiscard]] std::optional<double> idleSeconds() override;

    struct State;

private:
    explicit X11IdleSource(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace vxr
