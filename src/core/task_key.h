#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace vxr {

// Text of one "serial" or "taskTime" value: a string as it is, a number in its
// usual decimal form (1733700000000, not 1.7337e12 or 1733700000000.0), a
// missing value as empty text. Stored in the history files, so it must never
// change for the same value.
[[nodiscard]] QString taskKeyPart(const QJsonValue& value);

// "serial|taskTime" of a task's "prototype" object; identifies one sandbox task
// across polls and runs.
[[nodiscard]] QString taskKey(const QJsonObject& prototype);

} // namespace vxr
