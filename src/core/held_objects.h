#pragma once

class QObject;

namespace vxr {

// Keeps a parentless object that will delete itself later (a QProcess left to let its
// child finish) reachable until it is destroyed. Nothing owns such an object in the
// meantime, and at exit it is deliberately left behind; held here, it is neither lost
// nor reported as a leak. Main thread only.
void holdUntilDestroyed(QObject* object);

} // namespace vxr
