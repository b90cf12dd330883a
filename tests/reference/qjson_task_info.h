#pragma once

#include "core/task_info.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

// The task-info reader the application had before simdjson: QJsonDocument, then a walk of
// the QJsonObject with the lenient accessors. Kept out of the application, as the
// reference the fast reader is compared with in tests, fuzzing and benchmarks.
namespace vxr::reference {

// The body's envelope and JSON as parseTaskInfoRoot() takes them; not bounded.
[[nodiscard]] std::optional<TaskInfo> qjsonTaskInfo(const QByteArray& body);
[[nodiscard]] TaskInfo qjsonTaskInfo(const QJsonObject& root);

} // namespace vxr::reference
