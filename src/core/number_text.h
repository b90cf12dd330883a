#pragma once

#include <QString>

namespace vxr {

// The shortest decimal text that reads back as the same double, always with a
// decimal point: 0.5, 1.0, 0.33.
[[nodiscard]] QString shortestDecimalText(double value);

} // namespace vxr
