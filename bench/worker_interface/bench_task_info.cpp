// The task-info pipeline as the controller runs it every 1.5 s: strip the envelope and
// parse the body, reduce it to running-sandbox rows, merge the rows into the list
// model, and feed the document to the job history.

#include "core/atomic_file.h"
#include "jobs/job_history.h"
#include "jobs/job_history_json.h"
#include "worker_interface/sandbox_list_model.h"
#include "worker_interface/sandbox_progress.h"
#include "worker_interface/task_info_reader.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

namespace {

constexpr int jobsPerTask = 8;
constexpr int jobPool = 64;

const QDateTime base(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC);

QString jobId(int n)
{
    return QStringLiteral("job-%1-5f3a9c0d2b7e41a8").arg(n, 4, 10, QLatin1Char('0'));
}

QJsonObject metrics(double variant)
{
    return {{"cpu", 1200 + variant}, {"gpu", 30 + variant},  {"in", 40000 + variant},
            {"out", 9000 + variant}, {"ram", 3e8 + variant}, {"ramSlices", 12},
            {"ramMax", 4e8},         {"gpuMem", 1e8},        {"gpuMemSlices", 12},
            {"gpuMemMax", 2e8}};
}

// The service's answer: `tasks` tasks of 8 jobs each out of a pool of 64, with the
// per-job info map and the worker process's memory, wrapped as a script assignment.
// `variant` changes every snapshot's metrics.
QByteArray taskInfoBody(int tasks, double variant)
{
    QJsonArray taskList;
    for (int t = 0; t < tasks; ++t) {
        QJsonObject counters;
        QJsonObject entries;
        for (int j = 0; j < jobsPerTask; ++j) {
            const QString id = jobId((t + j * 8) % jobPool);
            QJsonArray left;
            for (int s = 0; s < 3; ++s)
                left.append(100 + s);
            counters.insert(id, QJsonObject{{"slicesDone", 3 + j}, {"slicesLeft", left}});
            entries.insert(id, QJsonObject{{"metrics", metrics(variant)},
                                           {"sliceCount", 10},
                                           {"cgId", "cg-fallback"}});
        }
        taskList.append(QJsonObject{
            {"jobs", counters},
            {"prototype", QJsonObject{{"serial", 100000 + t},
                                      {"taskTime", 1733700000000.0 + t},
                                      {"currentTask", QJsonObject{{"jobs", entries}}}}}});
    }
    QJsonObject jobs;
    for (int n = 0; n < jobPool; ++n) {
        jobs.insert(jobId(n),
                    QJsonObject{{"name", QStringLiteral("Job number %1").arg(n)},
                                {"cgId", "public"},
                                {"ramBreakdown", QJsonObject{{"heap", 1e8},
                                                             {"arrayBuffers", 2e7},
                                                             {"wasm", 0},
                                                             {"other", 5e6},
                                                             {"slices", 40}}},
                                {"metrics", QJsonObject{{"cpu", 1500},
                                                        {"in", 50000},
                                                        {"out", 10000},
                                                        {"ram", 3.5e8}}}});
    }
    const QJsonObject root{
        {"tasks", taskList},
        {"jobs", jobs},
        {"workerProcess",
         QJsonObject{{"rss", 5e8}, {"peakRss", 6e8}, {"heapUsed", 1e8}, {"heapLimit", 4e9}}}};
    return "window.taskInfo=" + QJsonDocument(root).toJson(QJsonDocument::Compact) + ';';
}

// Older records so the history is full (500) once the document's jobs are in.
QList<JobRecord> storedRecords(int count)
{
    QList<JobRecord> records;
    for (int n = 0; n < count; ++n) {
        JobRecord r;
        r.id = QStringLiteral("stored-%1-0b1c2d3e4f").arg(n);
        r.name = QStringLiteral("Stored job %1").arg(n);
        r.computeGroup = QStringLiteral("public");
        r.firstSeen = base.addSecs(-60 * (n + 1));
        r.lastActive = base.addSecs(-30 * (n + 1));
        for (int t = 0; t < 2; ++t) {
            TaskSnapshot s;
            s.slicesDone = 5 + t;
            s.cpu = 1234.5 + t;
            s.inBytes = 45678;
            s.outBytes = 9876;
            s.ram = 3.25e8;
            s.ramSlices = 5 + t;
            s.ramMax = 4.5e8;
            r.tasks.insert(QStringLiteral("%1|%2").arg(200000 + t).arg(1733700000000 + t), s);
        }
        records.append(r);
    }
    return records;
}

// What the task-info poll and the controller do with one fetched body.
struct Pipeline {
    TaskInfoReader reader;
    SandboxListModel sandboxes;
    std::unique_ptr<JobHistory> history;

    void run(const QByteArray& body)
    {
        const TaskInfoReader::Result result = reader.read(body);
        if (result.unchanged)
            return;
        sandboxes.setRows(sandboxRows(result.root));
        if (result.root)
            history->ingest(*result.root);
    }
};

} // namespace

class BenchTaskInfo : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_histories = 0;

    std::unique_ptr<Pipeline> pipeline(const QByteArray& firstBody)
    {
        const QString dir = m_dir.filePath(QString::number(m_histories++));
        QDir().mkpath(dir);
        (void)writeFileAtomically(dir + QStringLiteral("/job-history.json"),
                                  encodeJobHistory(storedRecords(500 - jobPool)));
        auto p = std::make_unique<Pipeline>();
        p->history = std::make_unique<JobHistory>(dir, Timing{}, [] { return base; });
        p->run(firstBody);
        return p;
    }

private slots:
    void pipeline_data()
    {
        QTest::addColumn<int>("tasks");
        QTest::addColumn<bool>("changing");
        for (const int tasks : {8, 64, 256}) {
            const QByteArray size = QByteArray::number(tasks) + "x8";
            QTest::newRow(size + " unchanged") << tasks << false;
            QTest::newRow(size + " changed") << tasks << true;
        }
    }
    void pipeline()
    {
        QFETCH(int, tasks);
        QFETCH(bool, changing);
        // Two bodies that differ in every snapshot, or the same bytes twice.
        const QByteArray bodies[2] = {taskInfoBody(tasks, 1),
                                      taskInfoBody(tasks, changing ? 2 : 1)};
        const auto p = pipeline(bodies[0]);
        QCOMPARE(p->history->jobs().size(), 500);
        QCOMPARE(p->sandboxes.count(), jobPool);
        QSignalSpy published(p->history.get(), &JobHistory::jobsChanged);
        int n = 1;
        QBENCHMARK
        {
            p->run(bodies[n++ % 2]);
        }
        QCOMPARE(published.count(), changing ? n - 1 : 0);
    }
};

QTEST_GUILESS_MAIN(BenchTaskInfo)
#include "bench_task_info.moc"
