#pragma once

#include "core/async.h"
#include "core/task_info.h"
#include "core/timing.h"
#include "jobs/job_history_json.h"
#include "jobs/job_list_model.h"
#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace vxr {

// The lasting per-job history behind the jobs screen. Fed every task-info
// document; keeps job-history.json and job-history-dismissed.json in
// `directory`, written together by one coalescing delayed save. The files are
// encoded and written on a writer thread of the store's own, so a slow disk never
// stalls the interface. Main thread only.
class JobHistory : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<vxr::JobRecord> jobs READ jobs NOTIFY jobsChanged)
    // The worker process card: whether there is one, and its rows (jobs_screen::ProcessRow).
    Q_PROPERTY(bool hasWorkerProcess READ hasWorkerProcess NOTIFY workerProcessChanged)
    Q_PROPERTY(QVariantList workerProcessRows READ workerProcessRows NOTIFY workerProcessChanged)
    Q_PROPERTY(vxr::JobListModel* model READ model CONSTANT)

public:
    using Clock = std::function<QDateTime()>;

    static constexpr qsizetype maxRecords = 500;
    static constexpr qsizetype maxDismissedJobs = 500;

    // Creates `directory` if needed and loads both files. `now` defaults to the
    // system clock.
    JobHistory(const QString& directory, const Timing& timing, Clock now = {},
               QObject* parent = nullptr);
    ~JobHistory() override;

    // Newest firstSeen first after any changing ingest; ids are unique.
    [[nodiscard]] const QList<JobRecord>& jobs() const { return m_jobs; }
    [[nodiscard]] const std::optional<WorkerProcessMemory>& workerProcess() const {
        return m_workerProcess;
    }
    [[nodiscard]] bool hasWorkerProcess() const { return m_workerProcess.has_value(); }
    [[nodiscard]] QVariantList workerProcessRows() const;
    [[nodiscard]] const DismissedPairs& dismissed() const { return m_dismissed; }
    [[nodiscard]] JobListModel* model() const { return m_model; }
    [[nodiscard]] const QString& filePath() const { return m_filePath; }
    [[nodiscard]] const QString& dismissedPath() const { return m_dismissedPath; }
    [[nodiscard]] bool hasPendingSave() const;

    // Merges one task-info document. Publishes `jobs` and schedules a save only
    // when a record really changed.
    void ingest(const TaskInfo& info);
    // Drops the job and dismisses its task keys so they do not bring it back.
    Q_INVOKABLE void remove(const QString& jobId);
    Q_INVOKABLE void clear();
    // At quit: waits for a write in flight, then writes a pending delayed save on
    // this thread; does nothing more when none is pending.
    void saveNow();

signals:
    void jobsChanged();
    void workerProcessChanged();
    // After each save attempt of both files has finished.
    void saved();

private:
    void load();
    void publishJobs(QList<JobRecord> jobs);
    void dismiss(const JobRecord& record);
    void scheduleSave();
    void save();
    [[nodiscard]] std::function<void()> writeState() const;

    QString m_filePath;
    QString m_dismissedPath;
    Clock m_now;
    QTimer* m_saveTimer = nullptr;
    JobListModel* m_model = nullptr;
    QList<JobRecord> m_jobs;
    QHash<QString, qsizetype> m_index; // job id -> row in m_jobs
    std::optional<WorkerProcessMemory> m_workerProcess;
    DismissedPairs m_dismissed;
    // What the dismissed file holds as far as we know; touched only by the writes, which
    // run one at a time.
    std::shared_ptr<QByteArray> m_dismissedOnDisk = std::make_shared<QByteArray>();
    // One thread, so writes land in the order they were asked for. Declared next to
    // last: it is destroyed right after the relay, waiting for a write in flight.
    QThreadPool m_writer;
    ResultRelay m_relay{this};
};

} // namespace vxr
