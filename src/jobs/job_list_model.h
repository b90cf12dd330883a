#pragma once

#include "jobs/job_card.h"
#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"

#include <QAbstractListModel>
#include <QHash>
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
    // What a job card shows (jobCard()), ready to display.
    enum Role {
        JobIdRole = Qt::UserRole + 1,
        TitleRole,
        TimeRangeRole,
        SubtitleRole,
        CellsRole,         // list of JobCardCell, three per grid row
        ShowBreakdownRole, // bool
        PartsRole,         // list of JobCardPart
        ReuseLineRole,     // "" when not shown
        BudgetLineRole,    // "" when not shown
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
    [[nodiscard]] const JobCard& card(const JobRecord& job) const;

    QList<JobRecord> m_jobs;
    QMap<QString, BudgetJobStats> m_budget;
    QMap<QString, SandboxReuse> m_reuse;
    // Cards by job id, made on first use and dropped when their job or entry changes.
    mutable QHash<QString, JobCard> m_cards;
};

} // namespace vxr
