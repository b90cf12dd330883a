#include "platform/idle/idle_notification_tracker.h"

#include <algorithm>

namespace vxr {

void IdleNotificationTracker::idled(qint64 nowMs) {
    // A repeated idled (a compositor fault) must not move the last input later.
    if (!m_lastInputMs)
        m_lastInputMs = nowMs - m_timeoutMs;
}

void IdleNotificationTracker::resumed(qint64 /*nowMs*/) {
    m_lastInputMs.reset();
}

double IdleNotificationTracker::idleSeconds(qint64 nowMs) const {
    if (!m_lastInputMs)
        return 0.0;
    return double(std::max<qint64>(0, nowMs - *m_lastInputMs)) / 1000.0;
}

} // namespace vxr
