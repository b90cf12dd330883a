#include "jobs/worker_process_memory.h"

#include "core/json_read.h"

namespace vxr {

namespace {
double numberOr0(const QJsonObject& object, QLatin1StringView key) {
    return json::number(object, key).value_or(0);
}
} // namespace

BudgetJobStats::Kind BudgetJobStats::Kind::fromTaskInfo(const std::optional<QJsonObject>& object) {
    if (!object)
        return {};
    Kind k;
    k.n = numberOr0(*object, QLatin1StringView("n"));
    k.mean = numberOr0(*object, QLatin1StringView("mean"));
    k.sd = numberOr0(*object, QLatin1StringView("sd"));
    k.estimate = json::number(*object, QLatin1StringView("estimate"));
    return k;
}

BudgetJobStats BudgetJobStats::fromTaskInfo(const QJsonObject& object) {
    return {Kind::fromTaskInfo(json::object(object, QLatin1StringView("fresh"))),
            Kind::fromTaskInfo(json::object(object, QLatin1StringView("reused")))};
}

SandboxReuse SandboxReuse::fromTaskInfo(const QJsonObject& object) {
    SandboxReuse r;
    r.fresh = numberOr0(object, QLatin1StringView("fresh"));
    r.reused = numberOr0(object, QLatin1StringView("reused"));
    r.warmLost = numberOr0(object, QLatin1StringView("warmLost"));
    r.warmStartSavingMs = json::number(object, QLatin1StringView("warmStartSavingMs"));
    return r;
}

WorkerProcessMemory WorkerProcessMemory::fromTaskInfo(const QJsonObject& object) {
    WorkerProcessMemory m;
    m.rss = numberOr0(object, QLatin1StringView("rss"));
    m.peakRss = numberOr0(object, QLatin1StringView("peakRss"));
    m.heapUsed = numberOr0(object, QLatin1StringView("heapUsed"));
    m.heapLimit = numberOr0(object, QLatin1StringView("heapLimit"));
    if (const auto budget = json::object(object, QLatin1StringView("budget"))) {
        m.limit = json::number(*budget, QLatin1StringView("limit"));
        m.reserve = json::number(*budget, QLatin1StringView("reserve"));
        m.committed = json::number(*budget, QLatin1StringView("committed"));
        const QJsonObject jobs =
            json::object(*budget, QLatin1StringView("jobs")).value_or(QJsonObject{});
        for (auto it = jobs.begin(); it != jobs.end(); ++it) {
            if (it.value().isObject())
                m.jobs.insert(it.key(), BudgetJobStats::fromTaskInfo(it.value().toObject()));
        }
    }
    if (const auto reuse = json::object(object, QLatin1StringView("sandboxReuse"))) {
        for (auto it = reuse->begin(); it != reuse->end(); ++it) {
            if (it.value().isObject())
                m.reuse.insert(it.key(), SandboxReuse::fromTaskInfo(it.value().toObject()));
        }
    }
    return m;
}

} // namespace vxr
