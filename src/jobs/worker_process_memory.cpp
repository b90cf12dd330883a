#include "jobs/worker_process_memory.h"

namespace vxr {

BudgetJobStats::Kind
BudgetJobStats::Kind::fromTaskInfo(const std::optional<TaskInfoBudgetKind>& figures) {
    if (!figures)
        return {};
    return {figures->n.value_or(0), figures->mean.value_or(0), figures->sd.value_or(0),
            figures->estimate};
}

BudgetJobStats BudgetJobStats::fromTaskInfo(const TaskInfoBudgetJob& job) {
    return {Kind::fromTaskInfo(job.fresh), Kind::fromTaskInfo(job.reused)};
}

SandboxReuse SandboxReuse::fromTaskInfo(const TaskInfoReuse& figures) {
    return {figures.fresh.value_or(0), figures.reused.value_or(0), figures.warmLost.value_or(0),
            figures.warmStartSavingMs};
}

WorkerProcessMemory WorkerProcessMemory::fromTaskInfo(const TaskInfoWorkerProcess& process) {
    WorkerProcessMemory m;
    m.rss = process.rss.value_or(0);
    m.peakRss = process.peakRss.value_or(0);
    m.heapUsed = process.heapUsed.value_or(0);
    m.heapLimit = process.heapLimit.value_or(0);
    if (const auto& budget = process.budget) {
        m.limit = budget->limit;
        m.reserve = budget->reserve;
        m.committed = budget->committed;
        for (const auto& [id, job] : budget->jobs.value_or(JobMap<TaskInfoBudgetJob>{})) {
            if (job)
                m.jobs.insert(id, BudgetJobStats::fromTaskInfo(*job));
        }
    }
    for (const auto& [id, reuse] : process.sandboxReuse.value_or(JobMap<TaskInfoReuse>{})) {
        if (reuse)
            m.reuse.insert(id, SandboxReuse::fromTaskInfo(*reuse));
    }
    return m;
}

} // namespace vxr
