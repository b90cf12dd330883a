#pragma once

#include <chrono>

namespace vxr {

using Millis = std::chrono::milliseconds;

// Every delay the application waits for, in one place. The defaults are the real
// ones; tests hand the controller a scaled copy so nothing waits for real time.
struct Timing {
    Millis initialServiceStartDelay{4000};
    Millis serviceRelaunchDelay{2000};
    Millis evaluatorRelaunchDelay{2000};
    Millis sandboxRestartDebounce{3000};
    Millis idleTickInterval{3000};
    Millis statusRequestTimeout{1500};
    Millis statusRetryInterval{1000};
    // The other requests to the local service (run-info, task-info, the sampler's): one
    // not complete by then is given up, however steadily its bytes trickle in, and its
    // loop goes on with the next cycle. The service answers in milliseconds.
    Millis localRequestDeadline{10000};
    Millis runInfoInterval{15000};
    Millis taskInfoInterval{1500};
    // One walk of the worker tree, shared by the memory governor and the metrics sampler.
    Millis treeSampleInterval{2000};
    Millis jobHistorySaveDelay{3000};
    Millis hudReloadDelay{2000};
    Millis registrationRestartDelay{65000};
    Millis resetExitPollInterval{200};
    int resetExitPollAttempts{50};
    // A one-shot run of the worker program that does not end in time is stopped:
    // SIGTERM, then SIGKILL after the grace period.
    Millis oneShotTimeout{60000};
    Millis showCommandTimeout{15000};
    Millis killGracePeriod{5000};
    // At quit, how long the children get to end after SIGTERM before SIGKILL.
    Millis quitGracePeriod{5000};

    // A copy with every delay multiplied by factor (at least 1 ms each).
    [[nodiscard]] Timing scaled(double factor) const;

    bool operator==(const Timing&) const = default;
};

} // namespace vxr
