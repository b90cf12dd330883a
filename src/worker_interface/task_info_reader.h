#pragma once

#include "core/task_info.h"
#include "worker_interface/task_info_parser.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace vxr {

// What one task-info document may cost. A body under the byte cap can still name tens
// of thousands of tasks, and every consumer (rows, history, network totals) pays for
// each of them on the GUI thread; past these counts the rest of the document is ignored.
struct TaskInfoLimits {
    static constexpr qsizetype tasks = 1024;
    static constexpr qsizetype jobsPerTask = 64;
    static constexpr qsizetype jobs = 1024; // distinct job IDs: rows, new history records
};

// The document cut to TaskInfoLimits: the first tasks in order, and in each only the
// first jobs by ID (its counters and its current task's entries alike) as long as the
// document's distinct jobs stay within the limit; the "jobs" map keeps only those.
// Returns whether anything was left out.
bool boundTaskInfo(TaskInfo& info);

// Parses the task-info bodies of one poll loop. While nothing moves, the worker serves
// the same bytes every cycle; those are recognised by comparison and not parsed again,
// and `unchanged` tells the consumers that their last result still holds. Documents come
// bounded by TaskInfoLimits; the first cut is said once in the diagnostics.
class TaskInfoReader {
public:
    struct Result {
        std::shared_ptr<const TaskInfo> info; // null when the fetch or the parse failed
        bool unchanged = false;               // same body as the previous cycle
    };

    // `body` is nothing when the fetch failed; a failure is never "unchanged", and the
    // body after it is parsed afresh.
    Result read(const std::optional<QByteArray>& body);

private:
    TaskInfoParser m_parser;
    std::optional<QByteArray> m_lastBody;
    std::shared_ptr<const TaskInfo> m_lastInfo;
    bool m_saidBounded = false;
};

} // namespace vxr
