#include "core/timing.h"

#include <algorithm>
#include <cmath>

namespace vxr {

namespace {
Millis scale(Millis value, double factor) {
    const auto scaled = static_cast<Millis::rep>(std::llround(double(value.count()) * factor));
    return Millis(std::max<Millis::rep>(1, scaled));
}
} // namespace

Timing Timing::scaled(double factor) const {
    Timing t = *this;
    for (Millis* field :
         {&t.initialServiceStartDelay, &t.serviceRelaunchDelay, &t.evaluatorRelaunchDelay,
          &t.sandboxRestartDebounce, &t.idleTickInterval, &t.statusRequestTimeout,
          &t.statusRetryInterval, &t.localRequestDeadline, &t.runInfoInterval, &t.taskInfoInterval,
          &t.treeSampleInterval, &t.jobHistorySaveDelay, &t.hudReloadDelay,
          &t.registrationRestartDelay, &t.resetExitPollInterval, &t.oneShotTimeout,
          &t.showCommandTimeout, &t.killGracePeriod, &t.quitGracePeriod})
        *field = scale(*field, factor);
    return t;
}

} // namespace vxr
