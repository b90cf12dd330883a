#include "app/settings_screen_logic.h"

#include "core/number_text.h"

#include <cmath>

namespace vxr::settings_screen {

namespace {

QString registeredTo(const QString& owner) {
    // The ellipsis is there whatever the owner's length: addresses are long.
    return QStringLiteral("Registered to ") + owner.left(10) + QStringLiteral("…");
}

} // namespace

QString wholeNumberText(double value) {
    if (!std::isfinite(value))
        return QStringLiteral("0");
    return fixedDecimalText(std::trunc(value) + 0.0, 0);
}

QString idleThresholdText(double minutes) {
    return wholeNumberText(minutes) + QStringLiteral(" MIN");
}

QString memoryCapText(double percent, double totalBytes) {
    const double gigabytes = totalBytes * percent / 100 / double(1ULL << 30);
    return wholeNumberText(percent) + QStringLiteral("% · ") + fixedDecimalText(gigabytes, 1) +
           QStringLiteral(" GB");
}

QString headroomText(double gigabytes) {
    return fixedDecimalText(gigabytes, 1) + QStringLiteral(" GB");
}

QString sandboxesCaption(int performanceCores) {
    return QStringLiteral("Most slices at once; ") + QString::number(performanceCores) +
           QStringLiteral(" is one per performance core. Changing it restarts the worker, "
                          "and slices in progress go back to the scheduler.");
}

QString idleCaption(bool detectionAvailable, bool restrictionEnabled) {
    if (!detectionAvailable)
        return QStringLiteral("Idle detection is not available on this desktop; use Start/Stop "
                              "on the main screen.");
    if (restrictionEnabled)
        return QStringLiteral("Workloads start automatically once you've been away from the "
                              "keyboard for this long, and stop the moment you touch it.");
    return QStringLiteral("Start/Stop on the main screen directly controls compute activity.");
}

QString idleStatusText(double seconds, const QString& sourceName) {
    const qint64 total = seconds > 0 && std::isfinite(seconds) ? qint64(seconds) : 0;
    QString text;
    if (total >= 3600)
        text = QStringLiteral("%1 h %2 min").arg(total / 3600).arg(total % 3600 / 60);
    else if (total >= 60)
        text = QStringLiteral("%1 min %2 s").arg(total / 60).arg(total % 60);
    else
        text = QStringLiteral("%1 s").arg(total);
    return QStringLiteral("Idle for ") + text + QStringLiteral(" (") + sourceName +
           QStringLiteral(")");
}

QString batteryCaption(bool pausedOnBattery) {
    return pausedOnBattery
               ? QStringLiteral("Paused: this computer runs on battery. Automatic start resumes "
                                "when it is plugged in; Start on the main screen still runs.")
               : QStringLiteral("Automatic start waits while this computer runs on battery.");
}

bool canRegister(const QString& key, const RegistrationStatus& status) {
    return !key.isEmpty() && status.kind != RegistrationStatus::Kind::registering;
}

bool checksOnAppearance(const RegistrationStatus& status) {
    return status.kind == RegistrationStatus::Kind::unknown;
}

StatusRow statusRow(const RegistrationStatus& status, bool applyingRegistration) {
    using Kind = RegistrationStatus::Kind;
    switch (status.kind) {
    case Kind::registered:
        if (applyingRegistration)
            return {StatusRow::Icon::spinner, StatusRow::Tone::dim,
                    registeredTo(status.text) +
                        QStringLiteral(", worker restarts in about a minute"),
                    true};
        return {StatusRow::Icon::checkmark, StatusRow::Tone::accentLight, registeredTo(status.text),
                false};
    case Kind::failed:
        return {StatusRow::Icon::warning, StatusRow::Tone::value, status.text, false};
    case Kind::checking:
        return {StatusRow::Icon::none, StatusRow::Tone::dim, QStringLiteral("Checking…"), true};
    case Kind::registering:
        return {StatusRow::Icon::none, StatusRow::Tone::dim, QStringLiteral("Registering…"), true};
    case Kind::notRegistered:
        return {StatusRow::Icon::cross, StatusRow::Tone::dim, QStringLiteral("Not registered"),
                true};
    case Kind::unknown:
        break;
    }
    return {StatusRow::Icon::none, StatusRow::Tone::dim, QStringLiteral("Unknown"), true};
}

bool needsReset(const RegistrationStatus& status) {
    return status.kind == RegistrationStatus::Kind::failed &&
           status.text.contains(QStringLiteral("mismatch"), Qt::CaseSensitive);
}

bool showsResetRow(const RegistrationStatus& status, bool confirmingReset, bool resettingWorkerId) {
    return status.kind == RegistrationStatus::Kind::failed || confirmingReset || resettingWorkerId;
}

QString resetCaption(const RegistrationStatus& status) {
    if (needsReset(status))
        return QStringLiteral("This error means the server's records for this worker ID belong to "
                              "someone else. Resetting gives the worker a new ID that can be "
                              "registered.");
    return QStringLiteral("If registration keeps failing with a mismatch error, resetting gives "
                          "this worker a new ID. Check the registration key first. Your keystores "
                          "aren't touched.");
}

QString resetButtonLabel(bool resettingWorkerId) {
    return resettingWorkerId ? QStringLiteral("RESETTING…") : QStringLiteral("RESET WORKER ID");
}

QString resetConfirmationText() {
    return QStringLiteral(
        "Reset this worker's ID? It restarts as a new, unregistered worker; the old one stays in "
        "the portal until you remove it. Unclaimed earnings tracked under the old ID are no longer "
        "claimable here. ~/.vxr/localStorage is backed up to ~/.vxr/vxr-worker/backups first. "
        "Keystores aren't touched.");
}

} // namespace vxr::settings_screen
