#include "memory/memory_limit.h"

#include "core/number_text.h"

#include <algorithm>
#include <cmath>

namespace vxr {

quint64 memoryCapBytes(quint64 total, double capPercent) {
    const double percent = std::isnan(capPercent) ? 0.0 : std::clamp(capPercent, 0.0, 100.0);
    const double cap = double(total) * percent / 100;
    return std::min(static_cast<quint64>(cap), total);
}

quint64 memoryHeadroomBytes(double headroomGB, quint64 total) {
    if (std::isnan(headroomGB))
        return total;
    const double bytes = std::clamp(headroomGB * double(bytesPerGB), 0.0, double(total));
    return std::min(static_cast<quint64>(bytes), total);
}

MemoryReading computeMemoryReading(quint64 total, quint64 used, TreeFootprint vxr,
                                   const MemorySettings& settings) {
    MemoryReading reading{total, used >= vxr.inRam ? used - vxr.inRam : 0, vxr.total, 0};
    const quint64 cap = memoryCapBytes(total, settings.memoryCapPercent);
    if (!settings.yieldToOtherApps) {
        reading.limit = cap;
        return reading;
    }
    const quint64 headroom = memoryHeadroomBytes(settings.memoryHeadroomGB, total);
    // otherApps + headroom >= total, written so that neither side can wrap around.
    if (reading.otherApps >= total || headroom >= total - reading.otherApps)
        reading.limit = 0;
    else
        reading.limit = std::min(total - reading.otherApps - headroom, cap);
    return reading;
}

QByteArray memoryLimitFileContents(quint64 limit, qint64 msSinceEpoch) {
    return QByteArrayLiteral("{\"limit\":") + QByteArray::number(limit) +
           QByteArrayLiteral(",\"time\":") + QByteArray::number(std::max<qint64>(msSinceEpoch, 0)) +
           '}';
}

QString memoryReadingText(const MemoryReading& reading) {
    const auto gb = [](quint64 bytes) {
        return fixedDecimalText(double(bytes) / double(bytesPerGB), 1) + QStringLiteral(" GB");
    };
    return QStringLiteral("Now: VXR may use ") + gb(reading.limit) +
           QStringLiteral(" \u00b7 VXR using ") + gb(reading.vxr) +
           QStringLiteral(" \u00b7 other apps ") + gb(reading.otherApps) + QStringLiteral(" of ") +
           gb(reading.total);
}

} // namespace vxr
