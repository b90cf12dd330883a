#include "app/metrics_text.h"

#include "metrics/metrics_screen_logic.h"

namespace vxr {

MetricRowTexts MetricsText::stats(const MetricHistory& history, int format) {
    const metrics_screen::RowStats s = metrics_screen::rowStats(history.samples);
    const auto text = [format](double value) {
        return format == Gigabytes ? metrics_screen::gigabytesText(value)
                                   : metrics_screen::percentText(value);
    };
    return {text(s.now), text(s.average), text(s.peak)};
}

double MetricsText::ramCap(const MetricHistory& history) {
    return metrics_screen::ramCap(history.samples);
}

QString MetricsText::formatBytes(double bytes) {
    return metrics_screen::formatBytes(bytes);
}

} // namespace vxr
