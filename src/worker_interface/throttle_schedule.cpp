#include "worker_interface/throttle_schedule.h"

#include <QRegularExpression>

#include <algorithm>

namespace vxr {

namespace {
QString slotTime(int slot) {
    return QStringLiteral("%1:%2")
        .arg(slot / 4, 2, 10, QLatin1Char('0'))
        .arg((slot % 4) * 15, 2, 10, QLatin1Char('0'));
}
} // namespace

std::optional<ThrottleSchedule> ThrottleSchedule::parse(const QString& text) {
    static const QRegularExpression schedulePattern(
        QStringLiteral("schedule:\\s*'([0-9A-Fa-f]{96})'"));
    static const QRegularExpression zonePattern(QStringLiteral("timezone:\\s*'([^']+)'"));

    const QRegularExpressionMatch scheduleMatch = schedulePattern.match(text);
    if (!scheduleMatch.hasMatch())
        return std::nullopt;
    const QString digits = scheduleMatch.captured(1);
    if (digits.size() != kSlots)
        return std::nullopt;

    ThrottleSchedule schedule;
    for (int i = 0; i < kSlots; ++i) {
        const char c = digits[i].toLatin1(); // the pattern admits ASCII hex digits only
        const int value = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        schedule.rates[i] = std::min(value, 10);
    }

    const QRegularExpressionMatch zoneMatch = zonePattern.match(text);
    const QString zone = zoneMatch.hasMatch() ? zoneMatch.captured(1) : QString();
    if (zoneMatch.hasMatch() && zone.toUpper() == QLatin1String("UTC")) {
        schedule.timeZone = QTimeZone(QByteArrayLiteral("UTC"));
        schedule.zoneLabel = QStringLiteral("UTC");
    } else if (zoneMatch.hasMatch() && QTimeZone::isTimeZoneIdAvailable(zone.toUtf8())) {
        schedule.timeZone = QTimeZone(zone.toUtf8());
        schedule.zoneLabel = zone;
    } else {
        schedule.timeZone = QTimeZone::systemTimeZone();
        schedule.zoneLabel = QStringLiteral("local time");
    }
    return schedule;
}

std::optional<QString> ThrottleSchedule::notice(const QDateTime& at) const {
    const QTime time = at.toTimeZone(timeZone).time();
    const int slot = (time.hour() * 60 + time.minute()) / 15;
    const int rate = rates[slot];
    if (rate >= 10)
        return std::nullopt;

    // The run of equal rates around the slot, circularly over the day.
    int start = slot;
    for (int steps = 0; steps < kSlots - 1; ++steps) {
        const int previous = (start + kSlots - 1) % kSlots;
        if (rates[previous] != rate)
            break;
        start = previous;
    }
    int length = 1;
    while (length < kSlots && rates[(start + length) % kSlots] == rate)
        ++length;

    const QString what = rate == 0 ? QStringLiteral("no computing")
                                   : QStringLiteral("running at %1%").arg(rate * 10);
    const QString prefix = QStringLiteral("This worker is throttled: ") + what;
    if (length == kSlots)
        return prefix + QStringLiteral(" all day.");
    const int end = (start + length) % kSlots;
    return prefix + QStringLiteral(" between ") + slotTime(start) + QStringLiteral(" and ") +
           slotTime(end) + QLatin1Char(' ') + zoneLabel + QLatin1Char('.');
}

} // namespace vxr
