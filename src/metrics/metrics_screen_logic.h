#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <span>

// What the metrics screen shows, as texts and geometry: the screen itself only draws.
namespace vxr::metrics_screen {

// Now, Avg and Peak of a row; all 0 for an empty history.
struct RowStats {
    double now = 0;
    double average = 0;
    double peak = 0;

    bool operator==(const RowStats&) const = default;
};
[[nodiscard]] RowStats rowStats(std::span<const double> samples);

// The RAM sparkline's top: 1.25 × the largest sample, never below 0.5 GB, so the highest
// sample sits at 80 % of the scale.
[[nodiscard]] double ramCap(std::span<const double> samples);

[[nodiscard]] QString percentText(double percent);     // "37%"
[[nodiscard]] QString gigabytesText(double gigabytes); // "1.25 GB"
// Network totals in decimal units: "512 B", "1.0 KB", "1.5 MB", "2.00 GB".
[[nodiscard]] QString formatBytes(double bytes);

// Where a sparkline's parts go in a w × h drawing area (y grows downwards).
struct SparklineGeometry {
    QList<double> gridLines; // y of the three horizontal grid lines
    // Empty with fewer than two samples: only the background and grid are drawn.
    QList<QPointF> line;
    QRectF newestDot; // empty without a line
};
[[nodiscard]] SparklineGeometry sparklineGeometry(std::span<const double> samples, double cap,
                                                  QSizeF size);

} // namespace vxr::metrics_screen
