#pragma once

namespace vxr {

struct RunPolicyInputs {
    bool isApplyingRegistration = false;
    bool manualOverride = false;
    bool idleRestrictionEnabled = false;
    double idleSeconds = 0;
    double idleThresholdMinutes = 5.0;
    // On battery with "pause when on battery" on: the idle rule starts nothing.
    bool pausedOnBattery = false;
};

// Whether compute should run now; the first matching rule wins. Idle time equal to
// the threshold counts as idle.
[[nodiscard]] constexpr bool evaluatorShouldRun(const RunPolicyInputs& in) {
    if (in.isApplyingRegistration)
        return false;
    if (in.manualOverride)
        return true;
    if (!in.idleRestrictionEnabled || in.pausedOnBattery)
        return false;
    return in.idleSeconds >= in.idleThresholdMinutes * 60.0;
}

} // namespace vxr
