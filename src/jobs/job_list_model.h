#pragma once

#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"

#include <QAbstractListModel>
#include <QList>

#include <optional>

namespace vxr {

// The job history as rows for the jobs screen, one per record in the store's
// order. Updates are applied as row removals, insertions and dataChanged, so a
// view keeps its delegates (and scroll position) across polls; a reset only
// happens when surviving rows change their relative order.
class JobListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        JobIdRole = Qt::UserRole + 1,
        NameRole,         // string, undefined when absent
        ComputeGroupRole, // string, undefined when absent
        FirstSeenRole,    // QDateTime (UTC)
        LastActiveRole,   // QDateTime (UTC)
        SlicesRole,       // number
        CpuPerSliceRole,  // ms, undefined unless slices > 0
        GpuPerSliceRole,  // ms
        InPerSliceRole,   // bytes
        OutPerSliceRole,  // bytes
        RamRole,          // {avg, max} or undefined
        GpuMemRole,       // {avg, max} or undefined
        EstimateRole,     // {cpu?, gpu?, inBytes?, outBytes?, ram?, gpuMem?} or undefined
        RamBreakdownRole, // {heap, arrayBuffers, wasm, other, slices} or undefined
        BudgetRole,       // this job's BudgetJobStats from the worker process, or undefined
        ReuseRole,        // this job's SandboxReuse from the worker process, or undefined
    };
    Q_ENUM(Role)

    explicit JobListModel(QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] int count() const { return int(m_jobs.size()); }
    [[nodiscard]] const QList<JobRecord>& jobs() const { return m_jobs; }

    // Job ids must be unique in `jobs`.
    void setJobs(const QList<JobRecord>& jobs);
    void setWorkerProcess(const std::optional<WorkerProcessMemory>& process);

signals:
    void countChanged();

private:
    [[nodiscard]] bool sameRelativeOrder(const QList<JobRecord>& jobs) const;

    QList<JobRecord> m_jobs;
    QMap<QString, BudgetJobStats> m_budget;
    QMap<QString, SandboxReuse> m_reuse;
};

} // namespace vxr
