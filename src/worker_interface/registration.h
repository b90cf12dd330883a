#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

namespace vxr {

// Registration state shown by the settings screen. `text` is the owner address for
// `registered`, the message for `failed`, and empty for every other case.
struct RegistrationStatus {
    Q_GADGET
    Q_PROPERTY(Kind kind MEMBER kind)
    Q_PROPERTY(QString text MEMBER text)
public:
    enum class Kind { registered, failed, unknown, checking, notRegistered, registering };
    Q_ENUM(Kind)

    Kind kind = Kind::unknown;
    QString text;

    static RegistrationStatus registered(QString owner) {
        return {Kind::registered, std::move(owner)};
    }
    static RegistrationStatus failed(QString message) { return {Kind::failed, std::move(message)}; }
    static RegistrationStatus unknown() { return {Kind::unknown, {}}; }
    static RegistrationStatus checking() { return {Kind::checking, {}}; }
    static RegistrationStatus notRegistered() { return {Kind::notRegistered, {}}; }
    static RegistrationStatus registering() { return {Kind::registering, {}}; }

    bool operator==(const RegistrationStatus&) const = default;
};

// "--show=owner": registered when the exit status is 0 and the first line of the
// trimmed output starts with "0x" and is longer than 10 characters.
[[nodiscard]] RegistrationStatus ownerCheckResult(int status, const QString& output);

// "--register=<key>": nothing when the output says "Registration complete" (whatever
// the exit status), else the failure message to show.
[[nodiscard]] std::optional<QString> registrationFailure(int status, const QString& output);

// "--reset": the failed status to show, or nothing when the owner should be checked.
// A failed backup is reported whatever the reset's own result.
[[nodiscard]] std::optional<RegistrationStatus>
resetResult(int status, const QString& output, const std::optional<QString>& backupError);

// Copies <home>/.vxr/localStorage (recursively, symbolic links as links) to
// <home>/.vxr/vxr-worker/backups/localStorage-<UTC ISO 8601 of now, ":" as "-">.
// Nothing to copy is success. Returns the error text on failure; an existing
// destination is a failure.
[[nodiscard]] std::optional<QString> backupLocalStorage(const QString& home, const QDateTime& now);

} // namespace vxr
