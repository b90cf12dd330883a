#include "app/settings_rules.h"

#include "app/settings_screen_logic.h"
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

RegistrationStatus status(int kind, const QString& text = {}) {
    return {RegistrationStatus::Kind(kind), text};
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

bool SettingsRules::canRegister(const QString& key, int kind) {
    return settings_screen::canRegister(key, status(kind));
}

bool SettingsRules::checksOnAppearance(int kind) {
    return settings_screen::checksOnAppearance(status(kind));
}

QVariantMap SettingsRules::statusRow(int kind, const QString& text, bool applying) {
    const settings_screen::StatusRow row = settings_screen::statusRow(status(kind, text), applying);
    return {{QStringLiteral("icon"), int(row.icon)},
            {QStringLiteral("tone"), int(row.iconTone)},
            {QStringLiteral("text"), row.text},
            {QStringLiteral("dim"), row.dim}};
}

bool SettingsRules::needsReset(int kind, const QString& text) {
    return settings_screen::needsReset(status(kind, text));
}

bool SettingsRules::showsResetRow(int kind, bool confirming, bool resetting) {
    return settings_screen::showsResetRow(status(kind), confirming, resetting);
}

QString SettingsRules::resetCaption(int kind, const QString& text) {
    return settings_screen::resetCaption(status(kind, text));
}

QString SettingsRules::resetButtonLabel(bool resetting) {
    return settings_screen::resetButtonLabel(resetting);
}

} // namespace vxr
