#pragma once

class QThreadPool;

namespace vxr {

// Low-priority threads for the blocking measurements of the metrics sampler and the
// memory governor, so a slow /proc never delays the GUI or other pool users.
[[nodiscard]] QThreadPool* measurementThreadPool();

} // namespace vxr
