#pragma once

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace vxr {

// The worker service wraps its task-info document as "<prefix>=<JSON>;". Returns the
// JSON object after the first "=", with exactly one final ";" dropped and nothing
// trimmed; nullopt for text that is not UTF-8, has no "=", or is not a JSON object.
[[nodiscard]] std::optional<QJsonObject> parseTaskInfoEnvelope(const QByteArray& body);

} // namespace vxr
