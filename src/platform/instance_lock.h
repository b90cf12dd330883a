#pragma once

#include <QString>

namespace vxr {

// An exclusive advisory lock on a file, held until destruction. The kernel drops it
// when the process ends however it ends, so there is no stale lock to detect. The
// descriptor is close-on-exec: a worker outliving the app must not keep it.
class InstanceLock {
public:
    explicit InstanceLock(const QString& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another process holds it, or when the file cannot be opened (a
    // planted link, a directory in the way).
    [[nodiscard]] bool isHeld() const { return m_fd >= 0; }
    [[nodiscard]] bool heldElsewhere() const { return m_heldElsewhere; }

private:
    int m_fd = -1;
    bool m_heldElsewhere = false;
};

inline constexpr char instanceLockName[] = "vxr-worker.lock";

} // namespace vxr
