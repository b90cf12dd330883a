#pragma once

#include <QString>

#include <optional>

// The stand-in worker's persistent state under ~/.vxr/localStorage (HOME-relative,
// so tests point HOME at a temporary directory).
namespace vxr::sim {

[[nodiscard]] QString localStoragePath();

// The worker's identity; created on first use.
[[nodiscard]] QString workerId();

// Gives the worker a fresh identity; the registration goes with the old one.
// Returns the new id, or an empty string when the directory cannot be written.
[[nodiscard]] QString resetIdentity();

// "0x" + 40 hex digits once registered.
[[nodiscard]] std::optional<QString> registeredOwner();
[[nodiscard]] bool saveOwner(const QString& owner);

// Keys as the portal hands them out: 32 to 64 hex digits, or a UUID.
[[nodiscard]] bool isWellFormedKey(const QString& key);
// The account a key belongs to; stable, so tests can predict it.
[[nodiscard]] QString ownerForKey(const QString& key);

// Earnings survive restarts of the service, like an account balance would.
[[nodiscard]] double savedEarnings();
void saveEarnings(double total);

} // namespace vxr::sim
