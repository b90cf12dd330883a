#pragma once

#include <QString>

namespace vxr {

// Moves path to the user's freedesktop Trash; false on any error.
[[nodiscard]] bool trash(const QString& path);

} // namespace vxr
