#include "core/number_text.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vxr {

QString shortestDecimalText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (std::isfinite(value) && !text.contains(u'.') && !text.contains(u'e'))
        text += QLatin1String(".0");
    return text;
}

QString fixedDecimalText(double value, int decimals) {
    // The C library's, not QString::asprintf: Qt's formatter rounds ties away from zero.
    char buffer[512];
    const int length = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    if (length < 0)
        return {};
    if (length < int(sizeof buffer))
        return QString::fromLatin1(buffer, length);
    QByteArray large(length + 1, Qt::Uninitialized);
    std::snprintf(large.data(), size_t(large.size()), "%.*f", decimals, value);
    return QString::fromLatin1(large.constData(), length);
}

} // namespace vxr
