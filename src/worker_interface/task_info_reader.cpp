#include "worker_interface/task_info_reader.h"

#include "core/diagnostics.h"
#include "core/envelope.h"
#include "core/json_read.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <utility>

namespace vxr {

namespace {

using namespace Qt::StringLiterals;

// `jobs` with only the keys in `kept`.
QJsonObject keptJobs(const QJsonObject& jobs, const QSet<QString>& kept) {
    QJsonObject result;
    for (auto it = jobs.begin(); it != jobs.end(); ++it) {
        if (kept.contains(it.key()))
            result.insert(it.key(), it.value());
    }
    return result;
}

// The IDs a task may keep: its first by key order, while the document's distinct jobs
// (`seen`, grown here) stay within the limit. False when some were left out.
bool chooseJobs(const QJsonObject& counters, QSet<QString>& seen, QSet<QString>& kept) {
    bool whole = true;
    for (auto it = counters.begin(); it != counters.end(); ++it) {
        const bool known = seen.contains(it.key());
        if (kept.size() >= TaskInfoLimits::jobsPerTask ||
            (!known && seen.size() >= TaskInfoLimits::jobs)) {
            whole = false;
            continue;
        }
        seen.insert(it.key());
        kept.insert(it.key());
    }
    return whole;
}

} // namespace

bool boundTaskInfo(QJsonObject& root) {
    const std::optional<QJsonArray> tasks = json::array(root, "tasks"_L1);
    if (!tasks)
        return false;
    bool cut = tasks->size() > TaskInfoLimits::tasks;
    QJsonArray boundedTasks;
    QSet<QString> seen;
    for (qsizetype i = 0; i < std::min(tasks->size(), TaskInfoLimits::tasks); ++i) {
        const QJsonValue element = tasks->at(i);
        const std::optional<QJsonObject> counters =
            element.isObject() ? json::object(element.toObject(), "jobs"_L1) : std::nullopt;
        QSet<QString> kept;
        if (!counters || chooseJobs(*counters, seen, kept)) {
            boundedTasks.append(element);
            continue;
        }
        // Only this task is rebuilt; the others stay shared with the parsed document.
        cut = true;
        QJsonObject task = element.toObject();
        task.insert("jobs"_L1, keptJobs(*counters, kept));
        if (auto prototype = json::object(task, "prototype"_L1)) {
            if (auto current = json::object(*prototype, "currentTask"_L1)) {
                if (const auto entries = json::object(*current, "jobs"_L1)) {
                    current->insert("jobs"_L1, keptJobs(*entries, kept));
                    prototype->insert("currentTask"_L1, *current);
                    task.insert("prototype"_L1, *prototype);
                }
            }
        }
        boundedTasks.append(task);
    }
    if (cut)
        root.insert("tasks"_L1, boundedTasks);
    // Only looked up by ID, but the root is kept until the next document: one too big
    // keeps the jobs that the tasks kept.
    if (const auto info = json::object(root, "jobs"_L1);
        info && info->size() > TaskInfoLimits::jobs) {
        root.insert("jobs"_L1, keptJobs(*info, seen));
        cut = true;
    }
    return cut;
}

TaskInfoReader::Result TaskInfoReader::read(const std::optional<QByteArray>& body) {
    if (body && m_lastBody && *body == *m_lastBody)
        return {m_lastRoot, true};
    m_lastBody = body;
    m_lastRoot = body ? parseTaskInfoRoot(*body) : std::nullopt;
    if (m_lastRoot && boundTaskInfo(*m_lastRoot) && !std::exchange(m_saidBounded, true))
        writeDiagnostic(QStringLiteral("Task info too large: only its first %1 tasks, %2 jobs "
                                       "per task and %3 jobs in all are read")
                            .arg(TaskInfoLimits::tasks)
                            .arg(TaskInfoLimits::jobsPerTask)
                            .arg(TaskInfoLimits::jobs));
    return {m_lastRoot, false};
}

} // namespace vxr
