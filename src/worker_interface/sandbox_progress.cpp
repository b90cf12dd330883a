#include "worker_interface/sandbox_progress.h"

#include "core/number_text.h"
#include "worker_interface/user_characters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace vxr {

namespace {

// Truncation toward zero; values beyond the integer range saturate instead of being
// undefined behaviour.
qint64 truncated(double value) {
    constexpr double limit = 9223372036854775807.0; // 2^63
    if (std::isnan(value))
        return 0;
    if (value >= limit)
        return std::numeric_limits<qint64>::max();
    if (value <= -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(value);
}

struct Tally {
    double done = 0;
    double fetched = 0;
};
} // namespace

QList<SandboxProgress> sandboxRows(const TaskInfo* info) {
    if (!info || !info->tasks)
        return {};

    // Keyed by UTF-8 bytes so the order is the byte order whatever the characters.
    std::map<QByteArray, std::pair<QString, Tally>> tallies;
    for (const std::optional<TaskInfoTask>& task : *info->tasks) {
        if (!task || !task->jobs)
            continue;
        const std::optional<TaskInfoCurrentTask>& current = task->currentTask;
        if (current && current->finished)
            continue;
        const JobMap<TaskInfoEntry>* currentJobs =
            current && current->jobs ? &*current->jobs : nullptr;

        for (const auto& [jobId, counters] : *task->jobs) {
            if (!counters)
                continue;
            const double done = counters->slicesDone.value_or(0.0);
            const double left = double(counters->slicesLeft);
            std::optional<double> total;
            if (const TaskInfoEntry* entry = currentJobs ? findJob(*currentJobs, jobId) : nullptr)
                total = entry->sliceCount;
            const double fetched = std::max(total.value_or(done + left), done + left);

            auto& [id, tally] = tallies[jobId.toUtf8()];
            id = jobId;
            tally.done += done;
            tally.fetched += fetched;
        }
    }

    QList<SandboxProgress> rows;
    for (const auto& [key, entry] : tallies) {
        const auto& [id, tally] = entry;
        if (!(tally.fetched > 0))
            continue;
        // fetched >= done always holds, so the cap only guards rounding; a negative
        // count from a confused service must not show as a negative bar.
        const double share = tally.done / tally.fetched * 100.0;
        const double percent = share > 100.0 ? 100.0 : (share >= 0.0 ? share : 0.0);
        rows.append(
            {id, leftCharacters(id, 10), truncated(tally.done), truncated(tally.fetched), percent});
    }
    return rows;
}

QString slicesText(qint64 slicesDone, qint64 slicesFetched) {
    return QString::asprintf("%lld/%lld SLICES", static_cast<long long>(slicesDone),
                             static_cast<long long>(slicesFetched));
}

QString percentText(double percent) {
    return fixedDecimalText(percent, 1) + u'%';
}

} // namespace vxr
