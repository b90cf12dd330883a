#include "app/metrics_text.h"

#include "metrics/metrics_screen_logic.h"

#include <QJSValue>

namespace vxr {

QList<double> MetricsText::numbers(const QVariant& input) {
    // A JavaScript array may arrive wrapped in a QJSValue.
    const QVariant samples = input.metaType() == QMetaType::fromType<QJSValue>()
                                 ? input.value<QJSValue>().toVariant()
                                 : input;
    if (samples.metaType() == QMetaType::fromType<QList<double>>())
        return samples.value<QList<double>>();
    QList<double> list;
    for (const QVariant& value : samples.toList())
        list.append(value.toDouble());
    return list;
}

QVariantMap MetricsText::stats(const QVariant& samples, int format) {
    const metrics_screen::RowStats s = metrics_screen::rowStats(numbers(samples));
    const auto text = [format](double value) {
        return format == Gigabytes ? metrics_screen::gigabytesText(value)
                                   : metrics_screen::percentText(value);
    };
    return {{QStringLiteral("now"), text(s.now)},
            {QStringLiteral("avg"), text(s.average)},
            {QStringLiteral("peak"), text(s.peak)}};
}

double MetricsText::ramCap(const QVariant& samples) {
    return metrics_screen::ramCap(numbers(samples));
}

QString MetricsText::formatBytes(double bytes) {
    return metrics_screen::formatBytes(bytes);
}

} // namespace vxr
