#include "worker_interface/task_info_reader.h"

#include "core/diagnostics.h"

#include <QSet>

#include <utility>

namespace vxr {

namespace {

// `jobs` with only the keys in `kept`.
template <typename T> void keepJobs(JobMap<T>& jobs, const QSet<QString>& kept) {
    jobs.removeIf([&](const auto& entry) { return !kept.contains(entry.first); });
}

// The IDs a task may keep: its first by key order, while the document's distinct jobs
// (`seen`, grown here) stay within the limit. False when some were left out.
bool chooseJobs(const JobMap<TaskInfoCounters>& counters, QSet<QString>& seen,
                QSet<QString>& kept) {
    bool whole = true;
    for (const auto& [id, entry] : counters) {
        const bool known = seen.contains(id);
        if (kept.size() >= TaskInfoLimits::jobsPerTask ||
            (!known && seen.size() >= TaskInfoLimits::jobs)) {
            whole = false;
            continue;
        }
        seen.insert(id);
        kept.insert(id);
    }
    return whole;
}

// True when the document is within every limit as it stands, which is the usual case:
// counting is cheaper than choosing jobs by ID.
bool withinLimits(const TaskInfo& info) {
    if (info.tasks->size() > TaskInfoLimits::tasks ||
        (info.jobs && info.jobs->size() > TaskInfoLimits::jobs))
        return false;
    qsizetype jobs = 0; // distinct or not: never fewer than the distinct ones
    for (const std::optional<TaskInfoTask>& task : *info.tasks) {
        if (!task || !task->jobs)
            continue;
        if (task->jobs->size() > TaskInfoLimits::jobsPerTask)
            return false;
        jobs += task->jobs->size();
    }
    return jobs <= TaskInfoLimits::jobs;
}

} // namespace

bool boundTaskInfo(TaskInfo& info) {
    if (!info.tasks || withinLimits(info))
        return false;
    bool cut = info.tasks->size() > TaskInfoLimits::tasks;
    if (cut)
        info.tasks->resize(TaskInfoLimits::tasks);
    QSet<QString> seen;
    for (std::optional<TaskInfoTask>& task : *info.tasks) {
        QSet<QString> kept;
        if (!task || !task->jobs || chooseJobs(*task->jobs, seen, kept))
            continue;
        cut = true;
        keepJobs(*task->jobs, kept);
        if (task->currentTask && task->currentTask->jobs)
            keepJobs(*task->currentTask->jobs, kept);
    }
    // Only looked up by ID, but the document is kept until the next one: one too big
    // keeps the jobs that the tasks kept.
    if (info.jobs && info.jobs->size() > TaskInfoLimits::jobs) {
        keepJobs(*info.jobs, seen);
        cut = true;
    }
    return cut;
}

TaskInfoReader::Result TaskInfoReader::read(const std::optional<QByteArray>& body) {
    if (body && m_lastBody && *body == *m_lastBody)
        return {m_lastInfo, true};
    m_lastBody = body;
    m_lastInfo.reset();
    std::optional<TaskInfo> info = body ? m_parser.parseBody(*body) : std::nullopt;
    if (!info)
        return {nullptr, false};
    if (boundTaskInfo(*info) && !std::exchange(m_saidBounded, true))
        writeDiagnostic(QStringLiteral("Task info too large: only its first %1 tasks, %2 jobs "
                                       "per task and %3 jobs in all are read")
                            .arg(TaskInfoLimits::tasks)
                            .arg(TaskInfoLimits::jobsPerTask)
                            .arg(TaskInfoLimits::jobs));
    m_lastInfo = std::make_shared<const TaskInfo>(std::move(*info));
    return {m_lastInfo, false};
}

} // namespace vxr
