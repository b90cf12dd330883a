#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// The memory limit arithmetic, the limit file and the reading line, free of timers and
// threads so each can be checked value by value.
namespace vxr {

inline constexpr quint64 bytesPerGB = 1073741824; // the "GB" of the memory settings

// The three memory settings as the controller persists them.
struct MemorySettings {
    double memoryCapPercent = 50;
    bool yieldToOtherApps = true;
    double memoryHeadroomGB = 1.5;

    bool operator==(const MemorySettings&) const = default;
};

// The figures of one governor update, in bytes.
struct MemoryReading {
    Q_GADGET
    Q_PROPERTY(double total READ totalValue)
    Q_PROPERTY(double otherApps READ otherAppsValue)
    Q_PROPERTY(double vxr READ vxrValue)
    Q_PROPERTY(double limit READ limitValue)

public:
    quint64 total = 0;
    quint64 otherApps = 0;
    quint64 vxr = 0;
    quint64 limit = 0;

    // QML numbers are doubles; byte counts below 2^53 are exact.
    [[nodiscard]] double totalValue() const { return double(total); }
    [[nodiscard]] double otherAppsValue() const { return double(otherApps); }
    [[nodiscard]] double vxrValue() const { return double(vxr); }
    [[nodiscard]] double limitValue() const { return double(limit); }

    bool operator==(const MemoryReading&) const = default;
};

// total x percent / 100, truncated. The percentage is clamped to 0-100 first (a NaN
// counts as 0) because a hand-edited settings file could hold anything, and an
// out-of-range double converted to an integer is undefined.
[[nodiscard]] quint64 memoryCapBytes(quint64 total, double capPercent);

// headroom GB x 2^30, truncated, clamped to 0-total first (NaN counts as the whole
// memory: the most cautious reading of a broken value).
[[nodiscard]] quint64 memoryHeadroomBytes(double headroomGB, quint64 total);

// The worker tree's footprint, and the part of it in RAM.
struct TreeFootprint {
    quint64 total = 0;
    quint64 inRam = 0;
};

// The reading for the machine's total and used memory and the worker tree's footprint.
// Other applications' share is what is used less the tree's RAM: "used" counts no swap,
// and subtracting swapped pages would let a swapping worker raise its own limit.
[[nodiscard]] MemoryReading computeMemoryReading(quint64 total, quint64 used, TreeFootprint vxr,
                                                 const MemorySettings& settings);

// {"limit":<bytes>,"time":<ms since 1970>}: no whitespace, no final line break.
[[nodiscard]] QByteArray memoryLimitFileContents(quint64 limit, qint64 msSinceEpoch);

inline constexpr char memoryLimitFileName[] = "vxr-worker-memory-limit.json";

// The settings screen's line, e.g. "Now: VXR may use 6.5 GB · VXR using 2.0 GB · other
// apps 8.0 GB of 16.0 GB".
[[nodiscard]] QString memoryReadingText(const MemoryReading& reading);

} // namespace vxr

Q_DECLARE_METATYPE(vxr::MemoryReading)
