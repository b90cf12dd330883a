// Placeholder hooks for the memory governor and the metrics sampler, which replace
// this file.
#include "controller/worker_controller.h"

namespace vxr {

void WorkerController::startMemoryGovernor() {}
void WorkerController::notifyMemoryGovernor() {}
void WorkerController::startMetricsSampler() {}

} // namespace vxr
