#include "jobs/job_history.h"

#include "core/atomic_file.h"
#include "core/diagnostics.h"
#include "core/stored_file.h"
#include "jobs/job_card.h"
#include "jobs/jobs_screen_logic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace vxr {

namespace {

// A file we could not read is renamed rather than left for the next save to
// overwrite: it may hold the user's whole history.
void keepUnreadableFile(const QString& path, const QDateTime& now) {
    const QString stamp = now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = path + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFileInfo::exists(target) && n < 100; ++n)
        target = path + QStringLiteral(".unreadable-") + stamp + u'-' + QString::number(n);
    if (QFile::rename(path, target))
        writeDiagnostic(QStringLiteral("unreadable job history file kept as ") + target);
}

template <typename T, typename Decode>
std::optional<T> loadFile(const QString& path, const QDateTime& now, Decode decode) {
    // Far beyond what 500 records take; anything larger is not ours to load whole.
    constexpr qint64 maxBytes = 64 * 1024 * 1024;
    const StoredFile file = readStoredFile(path, maxBytes);
    if (file.status == StoredFile::Status::absent)
        return std::nullopt;
    std::optional<T> value;
    if (file.status == StoredFile::Status::ok)
        value = decode(file.contents);
    if (!value)
        keepUnreadableFile(path, now);
    return value;
}

// What the document's "jobs" map says about one job, read once per document.
struct JobInfo {
    std::optional<QString> name; // non-empty only
    std::optional<QString> computeGroup;
    std::optional<RAMBreakdown> ramBreakdown;
    std::optional<Estimate> estimate;
};

JobInfo readJobInfo(const JobMap<TaskInfoJob>* jobInfo, const QString& jobId) {
    JobInfo result;
    const TaskInfoJob* info = jobInfo ? findJob(*jobInfo, jobId) : nullptr;
    if (!info)
        return result;
    result.name = info->name;
    if (result.name && result.name->isEmpty())
        result.name.reset();
    result.computeGroup = info->cgId;
    if (info->ramBreakdown)
        result.ramBreakdown = RAMBreakdown::fromTaskInfo(*info->ramBreakdown);
    if (info->metrics)
        result.estimate = Estimate::fromTaskInfo(*info->metrics);
    return result;
}

} // namespace

JobHistory::JobHistory(const QString& directory, const Timing& timing, Clock now, QObject* parent)
    : QObject(parent)
    , m_filePath(QDir(directory).filePath(QStringLiteral("job-history.json")))
    , m_dismissedPath(QDir(directory).filePath(QStringLiteral("job-history-dismissed.json")))
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
    , m_saveTimer(new QTimer(this))
    , m_model(new JobListModel(this)) {
    // Parented to the store: a save still pending when the store goes away never runs.
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(timing.jobHistorySaveDelay);
    connect(m_saveTimer, &QTimer::timeout, this, &JobHistory::save);
    m_writer.setMaxThreadCount(1);
    m_writer.setObjectName(QStringLiteral("job history writer"));

    QDir().mkpath(directory);
    load();
}

JobHistory::~JobHistory() = default;

void JobHistory::load() {
    const QDateTime now = m_now();
    if (auto jobs = loadFile<QList<JobRecord>>(m_filePath, now, decodeJobHistory)) {
        m_jobs = std::move(*jobs);
        for (qsizetype i = 0; i < m_jobs.size(); ++i)
            m_index.insert(m_jobs[i].id, i);
        m_model->setJobs(m_jobs);
    }
    if (auto dismissed = loadFile<DismissedPairs>(m_dismissedPath, now, decodeDismissed)) {
        m_dismissed = std::move(*dismissed);
        *m_dismissedOnDisk = encodeDismissed(m_dismissed);
    }
}

QVariantList JobHistory::workerProcessRows() const {
    return m_workerProcess ? gadgetList(jobs_screen::workerProcessRows(*m_workerProcess))
                           : QVariantList();
}

bool JobHistory::hasPendingSave() const {
    return m_saveTimer->isActive();
}

void JobHistory::ingest(const TaskInfo& info) {
    std::optional<WorkerProcessMemory> process;
    if (info.workerProcess)
        process = WorkerProcessMemory::fromTaskInfo(*info.workerProcess);
    if (process != m_workerProcess) {
        m_workerProcess = std::move(process);
        m_model->setWorkerProcess(m_workerProcess);
        emit workerProcessChanged();
    }

    const JobMap<TaskInfoJob>* jobInfo = info.jobs ? &*info.jobs : nullptr;
    if (!info.tasks || info.tasks->isEmpty())
        return;

    // Both are shallow copies; they detach only when something really changes,
    // so an unchanged document costs no record copies.
    QList<JobRecord> working = m_jobs;
    QHash<QString, qsizetype> index = m_index;
    QHash<QString, JobInfo> infos; // each job's info is read once per document
    const QDateTime now = m_now();
    bool changed = false;

    for (const std::optional<TaskInfoTask>& task : *info.tasks) {
        if (!task || !task->jobs || !task->taskKey || !task->currentTask ||
            !task->currentTask->jobs)
            continue;
        const JobMap<TaskInfoCounters>& sliceCounts = *task->jobs;
        const QString& key = *task->taskKey;

        for (const auto& [jobId, entry] : *task->currentTask->jobs) {
            if (!entry || !entry->metrics)
                continue;
            const TaskInfoCounters* counts = findJob(sliceCounts, jobId);
            const std::optional<double> slicesDone =
                counts ? counts->slicesDone : std::optional<double>();
            if (!slicesDone || !(*slicesDone > 0))
                continue;
            const auto dismissed = m_dismissed.constFind(jobId);
            if (dismissed != m_dismissed.cend() && dismissed->contains(key))
                continue;

            const TaskSnapshot snapshot = TaskSnapshot::fromMetrics(*slicesDone, *entry->metrics);
            qsizetype row = index.value(jobId, -1);
            if (row < 0) {
                JobRecord fresh;
                fresh.id = jobId;
                fresh.firstSeen = now;
                fresh.lastActive = now;
                row = working.size();
                working.append(std::move(fresh));
                index.insert(jobId, row);
            }
            auto jobInfoRead = infos.constFind(jobId);
            if (jobInfoRead == infos.cend())
                jobInfoRead = infos.insert(jobId, readJobInfo(jobInfo, jobId));
            const JobInfo& job = *jobInfoRead;

            // Decide against the record as it is, then write once: the first write
            // detaches `working`, which would leave a reference into it stale.
            const JobRecord& current = std::as_const(working)[row];
            const auto stored = current.tasks.constFind(key);
            const bool snapshotChanged = stored == current.tasks.cend() || !(*stored == snapshot);
            // An empty or missing name never clears a stored one.
            const bool nameChanged = job.name && current.name != job.name;
            const std::optional<QString> group = job.computeGroup ? job.computeGroup : entry->cgId;
            const bool groupChanged = group && current.computeGroup != group;
            // A breakdown covering fewer slices than the stored one is older news.
            const auto& breakdown = job.ramBreakdown;
            const bool breakdownChanged =
                breakdown &&
                (current.ramBreakdown ? breakdown->slices >= current.ramBreakdown->slices &&
                                            !(*breakdown == *current.ramBreakdown)
                                      : breakdown->slices >= 0);
            const bool estimateChanged = job.estimate && current.estimate != job.estimate;
            if (!(snapshotChanged || nameChanged || groupChanged || breakdownChanged ||
                  estimateChanged))
                continue;

            JobRecord& target = working[row];
            if (snapshotChanged) {
                target.tasks.insert(key, snapshot);
                target.lastActive = now;
            }
            if (nameChanged)
                target.name = job.name;
            if (groupChanged)
                target.computeGroup = group;
            if (breakdownChanged)
                target.ramBreakdown = breakdown;
            if (estimateChanged)
                target.estimate = job.estimate;
            changed = true;
        }
    }

    if (!changed)
        return;
    const auto newestFirst = [](const JobRecord& a, const JobRecord& b) {
        return a.firstSeen > b.firstSeen;
    };
    // Stable, so records seen at the same moment keep their rows.
    if (!std::is_sorted(working.cbegin(), working.cend(), newestFirst))
        std::stable_sort(working.begin(), working.end(), newestFirst);
    if (working.size() > maxRecords)
        working.resize(maxRecords);
    publishJobs(std::move(working));
    scheduleSave();
}

void JobHistory::remove(const QString& jobId) {
    const auto found = std::find_if(m_jobs.cbegin(), m_jobs.cend(),
                                    [&](const JobRecord& r) { return r.id == jobId; });
    if (found == m_jobs.cend())
        return;
    dismiss(*found);
    QList<JobRecord> jobs = m_jobs;
    jobs.removeIf([&](const JobRecord& r) { return r.id == jobId; });
    publishJobs(std::move(jobs));
    scheduleSave();
}

void JobHistory::clear() {
    for (const JobRecord& record : std::as_const(m_jobs))
        dismiss(record);
    publishJobs({});
    scheduleSave();
}

void JobHistory::saveNow() {
    m_writer.waitForDone();
    if (!m_saveTimer->isActive())
        return;
    m_saveTimer->stop();
    writeState()();
    emit saved();
}

void JobHistory::publishJobs(QList<JobRecord> jobs) {
    m_jobs = std::move(jobs);
    m_index.clear();
    m_index.reserve(m_jobs.size());
    for (qsizetype i = 0; i < m_jobs.size(); ++i)
        m_index.insert(m_jobs[i].id, i);
    m_model->setJobs(m_jobs);
    emit jobsChanged();
}

void JobHistory::dismiss(const JobRecord& record) {
    QSet<QString>& keys = m_dismissed[record.id];
    for (auto it = record.tasks.keyBegin(); it != record.tasks.keyEnd(); ++it)
        keys.insert(*it);
    if (m_dismissed.size() > maxDismissedJobs)
        m_dismissed.removeIf([this](const auto& entry) { return !m_index.contains(entry.key()); });
}

void JobHistory::scheduleSave() {
    // The wait is not restarted: everything changed until it ends goes out in one write.
    if (!m_saveTimer->isActive())
        m_saveTimer->start();
}

void JobHistory::save() {
    m_saveTimer->stop();
    // The records are implicitly shared: the writer works on this moment's copy while
    // later ingests detach their own.
    m_relay.run(
        &m_writer,
        [write = writeState()] {
            write();
            return true;
        },
        [this](bool) { emit saved(); });
}

std::function<void()> JobHistory::writeState() const {
    return [historyPath = m_filePath, dismissedPath = m_dismissedPath, jobs = m_jobs,
            dismissed = m_dismissed, onDisk = m_dismissedOnDisk] {
        // Errors are not reported or retried; the next change writes the whole state again.
        (void)writeFileAtomically(historyPath, encodeJobHistory(jobs));
        // Dismissals rarely change while records change every few seconds: the same
        // bytes again would cost a synced write for nothing.
        const QByteArray bytes = encodeDismissed(dismissed);
        if (bytes != *onDisk && writeFileAtomically(dismissedPath, bytes))
            *onDisk = bytes;
    };
}

} // namespace vxr
