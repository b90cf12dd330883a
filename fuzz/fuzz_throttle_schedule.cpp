// "--show=throttle" output: the schedule, its time zone and the home-screen notice.
#include "worker_interface/throttle_schedule.h"

#include <QDateTime>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 8 bytes choose the moment the notice is asked for.
    qint64 seconds = 0;
    if (size >= sizeof seconds) {
        std::memcpy(&seconds, data, sizeof seconds);
        data += sizeof seconds;
        size -= sizeof seconds;
    }
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto schedule = vxr::ThrottleSchedule::parse(text);
    if (!schedule)
        return 0;
    for (int rate : schedule->rates) {
        if (rate < 0 || rate > 10)
            abort();
    }
    // Keep the moment within the years QDateTime handles well.
    const qint64 at = seconds % (400LL * 366 * 86400);
    (void)schedule->notice(QDateTime::fromSecsSinceEpoch(at, Qt::UTC));
    (void)schedule->notice(QDateTime::fromSecsSinceEpoch(at).toLocalTime());
    return 0;
}
