#include "app/settings_rules.h"

#include "app/settings_screen_logic.h"
#include "app/vxr_theme.h"
#include "platform/cpu_topology.h"

namespace vxr {

namespace {

using settings_screen::Stepper;

Stepper stepperFor(int which, int processors) {
    switch (which) {
    case SettingsRules::MemoryCap:
        return settings_screen::memoryCapStepper;
    case SettingsRules::Headroom:
        return settings_screen::headroomStepper;
    case SettingsRules::Sandboxes:
        return settings_screen::sandboxesStepper(processors);
    default:
        return settings_screen::idleThresholdStepper;
    }
}

// Line icons on the 24 × 24 grid of IconShape.
QString iconPath(settings_screen::StatusRow::Icon icon) {
    using Icon = settings_screen::StatusRow::Icon;
    switch (icon) {
    case Icon::checkmark:
        return QStringLiteral("M12 2.5 A9.5 9.5 0 1 0 12 21.5 A9.5 9.5 0 1 0 12 2.5 Z "
                              "M7.5 12.5 L10.5 15.5 L16.5 9");
    case Icon::warning:
        return QStringLiteral("M12 3 L22 20.5 H2 Z M12 9.5 V14.5 M12 17.3 V17.6");
    case Icon::cross:
        return QStringLiteral("M12 2.5 A9.5 9.5 0 1 0 12 21.5 A9.5 9.5 0 1 0 12 2.5 Z "
                              "M8.5 8.5 L15.5 15.5 M15.5 8.5 L8.5 15.5");
    case Icon::none:
    case Icon::spinner:
        break;
    }
    return {};
}

QColor toneColor(settings_screen::StatusRow::Tone tone) {
    using Tone = settings_screen::StatusRow::Tone;
    switch (tone) {
    case Tone::accentLight:
        return VXRTheme::accentLight();
    case Tone::value:
        return VXRTheme::value();
    case Tone::dim:
        break;
    }
    return VXRTheme::textDim();
}

} // namespace

int SettingsRules::activeProcessorCount() {
    return vxr::activeProcessorCount();
}

QString SettingsRules::resetConfirmationText() {
    return settings_screen::resetConfirmationText();
}

bool SettingsRules::canStepDown(int stepper, double value, int processors) {
    return stepperFor(stepper, processors).canDecrement(value);
}

bool SettingsRules::canStepUp(int stepper, double value, int processors) {
    return stepperFor(stepper, processors).canIncrement(value);
}

double SettingsRules::steppedDown(int stepper, double value, int processors) {
    return stepperFor(stepper, processors).decremented(value);
}

double SettingsRules::steppedUp(int stepper, double value, int processors) {
    return stepperFor(stepper, processors).incremented(value);
}

QString SettingsRules::wholeNumberText(double value) {
    return settings_screen::wholeNumberText(value);
}

QString SettingsRules::idleThresholdText(double minutes) {
    return settings_screen::idleThresholdText(minutes);
}

QString SettingsRules::memoryCapText(double percent, double totalBytes) {
    return settings_screen::memoryCapText(percent, totalBytes);
}

QString SettingsRules::headroomText(double gigabytes) {
    return settings_screen::headroomText(gigabytes);
}

QString SettingsRules::sandboxesCaption(int performanceCores) {
    return settings_screen::sandboxesCaption(performanceCores);
}

QString SettingsRules::idleCaption(bool detectionAvailable, bool restrictionEnabled) {
    return settings_screen::idleCaption(detectionAvailable, restrictionEnabled);
}

bool SettingsRules::showsIdleThreshold(bool detectionAvailable, bool restrictionEnabled) {
    return settings_screen::showsIdleThreshold(detectionAvailable, restrictionEnabled);
}

QString SettingsRules::idleStatusText(double seconds, const QString& sourceName) {
    return settings_screen::idleStatusText(seconds, sourceName);
}

QString SettingsRules::batteryCaption(bool pausedOnBattery) {
    return settings_screen::batteryCaption(pausedOnBattery);
}

bool SettingsRules::canRegister(const QString& key, const RegistrationStatus& status) {
    return settings_screen::canRegister(key, status);
}

bool SettingsRules::checksOnAppearance(const RegistrationStatus& status) {
    return settings_screen::checksOnAppearance(status);
}

StatusRowView SettingsRules::statusRow(const RegistrationStatus& status, bool applying) {
    const settings_screen::StatusRow row = settings_screen::statusRow(status, applying);
    using Icon = settings_screen::StatusRow::Icon;
    return {row.icon == Icon::spinner, iconPath(row.icon), toneColor(row.iconTone), row.text,
            row.dim};
}

bool SettingsRules::showsResetRow(const RegistrationStatus& status, bool confirming,
                                  bool resetting) {
    return settings_screen::showsResetRow(status, confirming, resetting);
}

QString SettingsRules::resetCaption(const RegistrationStatus& status) {
    return settings_screen::resetCaption(status);
}

QString SettingsRules::resetButtonLabel(bool resetting) {
    return settings_screen::resetButtonLabel(resetting);
}

} // namespace vxr
