#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <array>
#include <optional>

namespace vxr {

// The worker's daily throttle: one compute level per quarter hour, counted in a
// time zone. 0 is no computing, 1 to 9 are 10 % to 90 %, 10 is unthrottled.
struct ThrottleSchedule {
    static constexpr int kSlots = 96;

    std::array<int, kSlots> rates{};
    QTimeZone timeZone;
    QString zoneLabel; // "UTC", the configured zone id, or "local time"

    // From the output of "--show=throttle": a "schedule: '<96 hex digits>'" and an
    // optional "timezone: '<zone>'". Nothing when there is no valid schedule.
    [[nodiscard]] static std::optional<ThrottleSchedule> parse(const QString& text);

    // The sentence for the home screen at `at`, or nothing when not throttled then.
    [[nodiscard]] std::optional<QString> notice(const QDateTime& at) const;

    bool operator==(const ThrottleSchedule&) const = default;
};

} // namespace vxr
