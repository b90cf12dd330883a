#pragma once

namespace vxr {

// The range a numeric setting may take. The Settings screen's steppers stop at it, the
// control interface refuses values outside it, and a stored value outside it is read
// like a mistyped one: the worker never gets a value the screen could not produce.
struct SettingBounds {
    double lower;
    double upper;

    // False for NaN as well.
    [[nodiscard]] constexpr bool contains(double value) const {
        return value >= lower && value <= upper;
    }
};

inline constexpr SettingBounds idleThresholdBounds{1, 60};
inline constexpr SettingBounds memoryCapBounds{25, 90};
inline constexpr SettingBounds headroomBounds{0.5, 4};
// At most one sandbox per processor this process may run on.
[[nodiscard]] constexpr SettingBounds sandboxesBounds(int activeProcessors) {
    return {1, double(activeProcessors < 1 ? 1 : activeProcessors)};
}

} // namespace vxr
