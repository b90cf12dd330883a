#pragma once

#include <QtGlobal>

#include <optional>

namespace vxr {

// Turns the two events of an idle notification ("idle for at least timeout" and
// "active again") into seconds since the last input. The compositor sends idled
// timeout milliseconds after the last input, so that input happened at
// idled - timeout. While active, the user touched the device less than timeout ago:
// the idle time is reported as 0. Times are monotonic milliseconds.
class IdleNotificationTracker {
public:
    explicit IdleNotificationTracker(qint64 timeoutMs)
        : m_timeoutMs(timeoutMs) {}

    void idled(qint64 nowMs);
    void resumed(qint64 nowMs);

    [[nodiscard]] bool isIdle() const { return m_lastInputMs.has_value(); }
    [[nodiscard]] double idleSeconds(qint64 nowMs) const;
    [[nodiscard]] qint64 timeoutMs() const { return m_timeoutMs; }

private:
    qint64 m_timeoutMs;
    std::optional<qint64> m_lastInputMs; // set while idle
};

} // namespace vxr
