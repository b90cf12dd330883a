#include "metrics/metrics_screen_logic.h"

#include "core/number_text.h"

#include <algorithm>
#include <cmath>

namespace vxr::metrics_screen {

RowStats rowStats(std::span<const double> samples) {
    if (samples.empty())
        return {};
    double sum = 0;
    double peak = samples.front();
    for (double value : samples) {
        sum += value;
        peak = std::max(peak, value);
    }
    return {samples.back(), sum / double(samples.size()), peak};
}

double ramCap(std::span<const double> samples) {
    if (samples.empty())
        return 0.5;
    return std::max(0.5, 1.25 * *std::ranges::max_element(samples));
}

QString percentText(double percent) {
    return fixedDecimalText(percent, 0) + QLatin1Char('%');
}

QString gigabytesText(double gigabytes) {
    return fixedDecimalText(gigabytes, 2) + QStringLiteral(" GB");
}

QString formatBytes(double bytes) {
    if (bytes >= 1e9)
        return fixedDecimalText(bytes / 1e9, 2) + QStringLiteral(" GB");
    if (bytes >= 1e6)
        return fixedDecimalText(bytes / 1e6, 1) + QStringLiteral(" MB");
    if (bytes >= 1e3)
        return fixedDecimalText(bytes / 1e3, 1) + QStringLiteral(" KB");
    const double whole = std::isfinite(bytes) ? std::trunc(bytes) + 0.0 : 0.0;
    return fixedDecimalText(whole, 0) + QStringLiteral(" B");
}

SparklineGeometry sparklineGeometry(std::span<const double> samples, double cap, QSizeF size) {
    const double w = size.width();
    const double h = size.height();
    SparklineGeometry geometry;
    geometry.gridLines = {0.25 * h, 0.5 * h, 0.75 * h};
    const std::size_t n = samples.size();
    if (n < 2)
        return geometry;
    // The screen's caps are at least 0.5; a zero cap would only put every point at NaN.
    const double scale = cap > 0 ? cap : 1;
    geometry.line.reserve(qsizetype(n));
    for (std::size_t i = 0; i < n; ++i) {
        const double x = double(i) * w / double(n - 1);
        const double y = h - 0.04 * h - (samples[i] / scale) * 0.92 * h;
        geometry.line.append(QPointF(x, y));
    }
    geometry.newestDot = QRectF(w - 4.1, geometry.line.back().y() - 2.6, 5.2, 5.2);
    return geometry;
}

} // namespace vxr::metrics_screen
