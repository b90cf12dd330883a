// Placeholder hooks for the worker's local HTTP interface; the polls, the throttle
// schedule and the registration check replace this file.
#include "controller/worker_controller.h"

namespace vxr {

void WorkerController::startStatusPoll() {}
void WorkerController::startRunInfoPoll() {}
void WorkerController::startTaskInfoPoll() {}
void WorkerController::cancelStatusPoll() {}
void WorkerController::cancelRunInfoPoll() {}
void WorkerController::cancelTaskInfoPoll() {}
void WorkerController::loadThrottle() {}
void WorkerController::checkRegistrationIfUnknown() {}
std::optional<QString> WorkerController::currentThrottleNotice() const { return std::nullopt; }
void WorkerController::clearSandboxes() {}

} // namespace vxr
