#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// Lenient reading of JSON from the worker: a value of the wrong type counts as
// missing, integers and fractions are both numbers, unknown keys are ignored.
namespace vxr::json {

[[nodiscard]] std::optional<double> number(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] std::optional<QString> string(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] std::optional<bool> boolean(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] std::optional<QJsonObject> object(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] std::optional<QJsonArray> array(const QJsonObject& object, QLatin1StringView key);

} // namespace vxr::json
