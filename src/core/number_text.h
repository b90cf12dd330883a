#pragma once

#include <QString>

namespace vxr {

// The shortest decimal text that reads back as the same double, always with a
// decimal point: 0.5, 1.0, 0.33.
[[nodiscard]] QString shortestDecimalText(double value);

// value with exactly `decimals` digits after the point, as C's "%.*f" writes it: a tie
// rounds the way printf does (1.25 -> "1.2"), not away from zero.
[[nodiscard]] QString fixedDecimalText(double value, int decimals);

// The value of one hexadecimal digit, either case; -1 for any other character.
[[nodiscard]] constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace vxr
