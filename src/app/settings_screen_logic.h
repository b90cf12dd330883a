#pragma once

#include "controller/setting_bounds.h"
#include "worker_interface/registration.h"

#include <QString>

// The settings screen's own rules: stepper bounds and labels, when the registration and
// reset controls are enabled or shown, and the status texts. The screen only draws them.
namespace vxr::settings_screen {

// A minus/plus stepper clamped to [lower, upper]. Plus is disabled at the upper bound or
// above. Minus is disabled at the lower bound only: a value stored below it (set
// elsewhere, e.g. 0.5 minutes) is brought back to the bound by minus.
struct Stepper {
    double lower;
    double upper;
    double step;

    [[nodiscard]] constexpr bool canDecrement(double value) const { return value != lower; }
    [[nodiscard]] constexpr bool canIncrement(double value) const { return value < upper; }
    [[nodiscard]] constexpr double decremented(double value) const {
        return value - step < lower ? lower : value - step;
    }
    [[nodiscard]] constexpr double incremented(double value) const {
        return value + step > upper ? upper : value + step;
    }
};

[[nodiscard]] constexpr Stepper stepperWithin(SettingBounds bounds, double step) {
    return {bounds.lower, bounds.upper, step};
}

inline constexpr Stepper idleThresholdStepper = stepperWithin(idleThresholdBounds, 1);
inline constexpr Stepper memoryCapStepper = stepperWithin(memoryCapBounds, 5);
inline constexpr Stepper headroomStepper = stepperWithin(headroomBounds, 0.5);
// Minus is disabled below 2, plus once the value reaches the active processor count.
[[nodiscard]] constexpr Stepper sandboxesStepper(int activeProcessors) {
    return stepperWithin(sandboxesBounds(activeProcessors), 1);
}

// Whole numbers as the screen prints them: truncated toward zero ("%lld").
[[nodiscard]] QString wholeNumberText(double value);
[[nodiscard]] QString idleThresholdText(double minutes);                // "5 MIN"
[[nodiscard]] QString memoryCapText(double percent, double totalBytes); // "50% · 7.8 GB"
[[nodiscard]] QString headroomText(double gigabytes);                   // "1.5 GB"
[[nodiscard]] QString sandboxesCaption(int performanceCores);

// The idle section's caption under its checkbox. Without an idle-time source idle
// compute would never start, so the screen says so instead of offering the threshold.
[[nodiscard]] QString idleCaption(bool detectionAvailable, bool restrictionEnabled);
// "Idle for 2 min 10 s (GNOME idle monitor)": the idle time as the rule sees it, and
// where it comes from.
[[nodiscard]] QString idleStatusText(double seconds, const QString& sourceName);
// Under "Pause when on battery power": what that does now.
[[nodiscard]] QString batteryCaption(bool pausedOnBattery);
[[nodiscard]] constexpr bool showsIdleThreshold(bool detectionAvailable, bool restrictionEnabled) {
    return detectionAvailable && restrictionEnabled;
}

// Registration: a non-empty key while no registration is under way.
[[nodiscard]] bool canRegister(const QString& key, const RegistrationStatus& status);
// The one owner check when the screen appears.
[[nodiscard]] bool checksOnAppearance(const RegistrationStatus& status);

struct StatusRow {
    enum class Icon { none, spinner, checkmark, warning, cross };
    enum class Tone { dim, accentLight, value };

    Icon icon = Icon::none;
    Tone iconTone = Tone::dim;
    QString text;
    bool dim = true;

    bool operator==(const StatusRow&) const = default;
};
[[nodiscard]] StatusRow statusRow(const RegistrationStatus& status, bool applyingRegistration);

// The worker-ID reset: a failure that says "mismatch" (case-sensitive) needs it.
[[nodiscard]] bool needsReset(const RegistrationStatus& status);
[[nodiscard]] bool showsResetRow(const RegistrationStatus& status, bool confirmingReset,
                                 bool resettingWorkerId);
[[nodiscard]] QString resetCaption(const RegistrationStatus& status);
[[nodiscard]] QString resetButtonLabel(bool resettingWorkerId);
[[nodiscard]] QString resetConfirmationText();

} // namespace vxr::settings_screen
