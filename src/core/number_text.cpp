#include "core/number_text.h"

#include <charconv>
#include <cmath>

namespace vxr {

QString shortestDecimalText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (std::isfinite(value) && !text.contains(u'.') && !text.contains(u'e'))
        text += QLatin1String(".0");
    return text;
}

} // namespace vxr
