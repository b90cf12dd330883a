#pragma once

#include "controller/worker_controller.h"

namespace vxr::test {

// The controller's internals that tests drive directly.
struct ControllerAccess {
    static void setHoldServiceRelaunch(WorkerController& controller, bool hold) {
        controller.setHoldServiceRelaunch(hold);
    }
};

} // namespace vxr::test
