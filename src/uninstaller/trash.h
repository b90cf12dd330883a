#pragma once

#include <QString>

namespace vxr {

// Moves path to the user's freedesktop Trash; false on any error.
[[nodiscard]] bool trash(const QString& path);

// Something is at path, a dangling symbolic link included.
[[nodiscard]] bool existsOrIsLink(const QString& path);

} // namespace vxr
