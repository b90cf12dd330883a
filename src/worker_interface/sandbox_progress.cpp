#include "worker_interface/sandbox_progress.h"

#include "core/json_read.h"
#include "core/number_text.h"
#include "worker_interface/user_characters.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace vxr {

namespace {
using namespace Qt::StringLiterals;

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

QList<SandboxProgress> sandboxRows(const std::optional<QJsonObject>& root) {
    if (!root)
        return {};
    const std::optional<QJsonArray> tasks = json::array(*root, "tasks"_L1);
    if (!tasks)
        return {};

    // Keyed by UTF-8 bytes so the order is the byte order whatever the characters.
    std::map<QByteArray, std::pair<QString, Tally>> tallies;
    for (const QJsonValue& element : *tasks) {
        if (!element.isObject())
            continue;
        const QJsonObject task = element.toObject();
        const std::optional<QJsonObject> jobs = json::object(task, "jobs"_L1);
        if (!jobs)
            continue;
        std::optional<QJsonObject> current;
        if (const auto prototype = json::object(task, "prototype"_L1))
            current = json::object(*prototype, "currentTask"_L1);
        if (current && current->contains("finished"_L1))
            continue;
        const QJsonObject currentJobs =
            current ? json::object(*current, "jobs"_L1).value_or(QJsonObject()) : QJsonObject();

        for (auto it = jobs->begin(); it != jobs->end(); ++it) {
            if (!it.value().isObject())
                continue;
            const QJsonObject job = it.value().toObject();
            const double done = json::number(job, "slicesDone"_L1).value_or(0.0);
            const double left =
                double(json::array(job, "slicesLeft"_L1).value_or(QJsonArray()).size());
            std::optional<double> total;
            if (const QJsonValue entry = currentJobs.value(it.key()); entry.isObject())
                total = json::number(entry.toObject(), "sliceCount"_L1);
            const double fetched = std::max(total.value_or(done + left), done + left);

            auto& [id, tally] = tallies[it.key().toUtf8()];
            id = it.key();
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
