#include "reference/qjson_task_info.h"

#include "core/envelope.h"
#include "core/json_read.h"
#include "core/task_key.h"

#include <QJsonArray>

namespace vxr::reference {

namespace {

using namespace Qt::StringLiterals;

template <typename T, typename Read>
std::optional<JobMap<T>> jobMap(const QJsonObject& object, QLatin1StringView key, Read read) {
    const std::optional<QJsonObject> map = json::object(object, key);
    if (!map)
        return std::nullopt;
    JobMap<T> result;
    for (auto it = map->begin(); it != map->end(); ++it) {
        std::optional<T> entry;
        if (it.value().isObject())
            entry = read(it.value().toObject());
        result.append({it.key(), std::move(entry)});
    }
    sortJobMap(result);
    return result;
}

std::optional<TaskInfoMetrics> metrics(const QJsonObject& object, QLatin1StringView key) {
    const std::optional<QJsonObject> m = json::object(object, key);
    if (!m)
        return std::nullopt;
    return TaskInfoMetrics{json::number(*m, "cpu"_L1),          json::number(*m, "gpu"_L1),
                           json::number(*m, "in"_L1),           json::number(*m, "out"_L1),
                           json::number(*m, "ram"_L1),          json::number(*m, "ramSlices"_L1),
                           json::number(*m, "ramMax"_L1),       json::number(*m, "gpuMem"_L1),
                           json::number(*m, "gpuMemSlices"_L1), json::number(*m, "gpuMemMax"_L1)};
}

TaskInfoCounters counters(const QJsonObject& job) {
    return {json::number(job, "slicesDone"_L1),
            json::array(job, "slicesLeft"_L1).value_or(QJsonArray()).size()};
}

TaskInfoEntry entry(const QJsonObject& job) {
    return {json::number(job, "sliceCount"_L1), metrics(job, "metrics"_L1),
            json::string(job, "cgId"_L1)};
}

TaskInfoTask task(const QJsonObject& object) {
    TaskInfoTask result;
    result.jobs = jobMap<TaskInfoCounters>(object, "jobs"_L1, counters);
    if (const auto prototype = json::object(object, "prototype"_L1)) {
        result.taskKey = taskKey(*prototype);
        if (const auto current = json::object(*prototype, "currentTask"_L1))
            result.currentTask =
                TaskInfoCurrentTask{current->contains("finished"_L1),
                                    jobMap<TaskInfoEntry>(*current, "jobs"_L1, entry)};
    }
    return result;
}

TaskInfoJob job(const QJsonObject& object) {
    TaskInfoJob result{json::string(object, "name"_L1),
                       json::string(object, "cgId"_L1),
                       {},
                       metrics(object, "metrics"_L1)};
    if (const auto b = json::object(object, "ramBreakdown"_L1))
        result.ramBreakdown =
            TaskInfoRamBreakdown{json::number(*b, "heap"_L1), json::number(*b, "arrayBuffers"_L1),
                                 json::number(*b, "wasm"_L1), json::number(*b, "other"_L1),
                                 json::number(*b, "slices"_L1)};
    return result;
}

std::optional<TaskInfoBudgetKind> budgetKind(const QJsonObject& object, QLatin1StringView key) {
    const std::optional<QJsonObject> k = json::object(object, key);
    if (!k)
        return std::nullopt;
    return TaskInfoBudgetKind{json::number(*k, "n"_L1), json::number(*k, "mean"_L1),
                              json::number(*k, "sd"_L1), json::number(*k, "estimate"_L1)};
}

TaskInfoWorkerProcess workerProcess(const QJsonObject& object) {
    TaskInfoWorkerProcess result{json::number(object, "rss"_L1),
                                 json::number(object, "peakRss"_L1),
                                 json::number(object, "heapUsed"_L1),
                                 json::number(object, "heapLimit"_L1),
                                 {},
                                 {}};
    if (const auto budget = json::object(object, "budget"_L1)) {
        result.budget = TaskInfoBudget{
            json::number(*budget, "limit"_L1), json::number(*budget, "reserve"_L1),
            json::number(*budget, "committed"_L1),
            jobMap<TaskInfoBudgetJob>(*budget, "jobs"_L1, [](const QJsonObject& job) {
                return TaskInfoBudgetJob{budgetKind(job, "fresh"_L1), budgetKind(job, "reused"_L1)};
            })};
    }
    result.sandboxReuse =
        jobMap<TaskInfoReuse>(object, "sandboxReuse"_L1, [](const QJsonObject& reuse) {
            return TaskInfoReuse{json::number(reuse, "fresh"_L1), json::number(reuse, "reused"_L1),
                                 json::number(reuse, "warmLost"_L1),
                                 json::number(reuse, "warmStartSavingMs"_L1)};
        });
    return result;
}

} // namespace

std::optional<TaskInfo> qjsonTaskInfo(const QByteArray& body) {
    const std::optional<QJsonObject> root = parseTaskInfoRoot(body);
    if (!root)
        return std::nullopt;
    return qjsonTaskInfo(*root);
}

TaskInfo qjsonTaskInfo(const QJsonObject& root) {
    TaskInfo info;
    if (const auto tasks = json::array(root, "tasks"_L1)) {
        auto& list = info.tasks.emplace();
        for (const QJsonValue& element : *tasks)
            list.append(element.isObject() ? std::optional(task(element.toObject()))
                                           : std::nullopt);
    }
    info.jobs = jobMap<TaskInfoJob>(root, "jobs"_L1, job);
    if (const auto process = json::object(root, "workerProcess"_L1))
        info.workerProcess = workerProcess(*process);
    return info;
}

} // namespace vxr::reference
