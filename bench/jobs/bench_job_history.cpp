// Costs of the job history on the poll path (ingest every 1.5 s) and on save/load.

#include "core/atomic_file.h"
#include "jobs/job_history.h"
#include "jobs/job_history_json.h"
#include "jobs/task_info_builder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;
using namespace vxr::testing;

namespace {

constexpr int taskCount = 64;
constexpr int jobsPerTask = 8;
constexpr int jobPool = 64;

const QDateTime base(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC);

QString jobId(int n)
{
    return QStringLiteral("job-%1-5f3a9c0d2b7e41a8").arg(n, 4, 10, QLatin1Char('0'));
}

QJsonObject fullMetrics(double variant)
{
    return {{"cpu", 1200 + variant}, {"gpu", 30 + variant},  {"in", 40000 + variant},
            {"out", 9000 + variant}, {"ram", 3e8 + variant}, {"ramSlices", 12},
            {"ramMax", 4e8},         {"gpuMem", 1e8},        {"gpuMemSlices", 12},
            {"gpuMemMax", 2e8}};
}

// 64 tasks, each with 8 jobs out of a pool of 64, with full job info.
QJsonObject taskInfoDocument(double variant)
{
    QJsonArray tasks;
    for (int t = 0; t < taskCount; ++t) {
        QList<Share> shares;
        for (int j = 0; j < jobsPerTask; ++j)
            shares.append({jobId((t + j * 8) % jobPool), 3 + j, fullMetrics(variant),
                           QStringLiteral("cg-fallback")});
        tasks.append(makeTask(100000 + t, 1733700000000.0 + t, shares));
    }
    QJsonObject jobs;
    for (int n = 0; n < jobPool; ++n) {
        jobs.insert(jobId(n), QJsonObject{{"name", QStringLiteral("Job number %1").arg(n)},
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
    QJsonObject root = makeDocument(tasks, jobs);
    root.insert("workerProcess",
                QJsonObject{{"rss", 5e8}, {"peakRss", 6e8}, {"heapUsed", 1e8}, {"heapLimit", 4e9}});
    return root;
}

QList<JobRecord> storedRecords(int count, int tasksEach, int offset)
{
    QList<JobRecord> records;
    for (int n = 0; n < count; ++n) {
        JobRecord r;
        r.id = QStringLiteral("stored-%1-0b1c2d3e4f").arg(n + offset);
        r.name = QStringLiteral("Stored job %1").arg(n);
        r.computeGroup = QStringLiteral("public");
        r.firstSeen = base.addSecs(-60 * (n + 1));
        r.lastActive = base.addSecs(-30 * (n + 1));
        for (int t = 0; t < tasksEach; ++t) {
            TaskSnapshot s;
            s.slicesDone = 5 + t;
            s.cpu = 1234.5 + t;
            s.gpu = 12;
            s.inBytes = 45678;
            s.outBytes = 9876;
            s.ram = 3.25e8;
            s.ramSlices = 5 + t;
            s.ramMax = 4.5e8;
            s.gpuMem = 1.5e8;
            s.gpuMemSlices = 5;
            s.gpuMemMax = 2e8;
            r.tasks.insert(QStringLiteral("%1|%2").arg(200000 + t).arg(1733700000000 + t), s);
        }
        r.estimate = Estimate{1500, 10, 50000, 10000, 3.5e8, std::nullopt};
        r.ramBreakdown = RAMBreakdown{1e8, 2e7, 0, 5e6, 40};
        records.append(r);
    }
    return records;
}

} // namespace

class BenchJobHistory : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A history holding the document's 64 jobs plus older ones: 500 records.
    std::unique_ptr<JobHistory> fullHistory(const QString& name)
    {
        const QString dir = m_dir.filePath(name);
        QDir().mkpath(dir);
        (void)writeFileAtomically(dir + QStringLiteral("/job-history.json"),
                                  encodeJobHistory(storedRecords(500 - jobPool, 2, 0)));
        auto history = std::make_unique<JobHistory>(dir, Timing{}, [] { return base; });
        history->ingest(taskInfoDocument(0));
        return history;
    }

private slots:
    void ingestUnchanged()
    {
        const auto history = fullHistory(QStringLiteral("unchanged"));
        QCOMPARE(history->jobs().size(), 500);
        const QJsonObject document = taskInfoDocument(0);
        QSignalSpy published(history.get(), &JobHistory::jobsChanged);
        QBENCHMARK
        {
            history->ingest(document);
        }
        QCOMPARE(published.count(), 0);
    }

    void ingestEverySnapshotChanged()
    {
        const auto history = fullHistory(QStringLiteral("changed"));
        const QJsonObject documents[2] = {taskInfoDocument(1), taskInfoDocument(2)};
        QSignalSpy published(history.get(), &JobHistory::jobsChanged);
        int n = 0;
        QBENCHMARK
        {
            history->ingest(documents[n++ % 2]);
        }
        QCOMPARE(published.count(), n);
        QCOMPARE(history->jobs().size(), 500);
    }

    void encode500x20()
    {
        const QList<JobRecord> records = storedRecords(500, 20, 0);
        qsizetype size = 0;
        QBENCHMARK
        {
            size = encodeJobHistory(records).size();
        }
        QVERIFY(size > 0);
    }

    void encodeAndWrite500x20()
    {
        const QList<JobRecord> records = storedRecords(500, 20, 0);
        const QString path = m_dir.filePath(QStringLiteral("job-history.json"));
        QBENCHMARK
        {
            QVERIFY(writeFileAtomically(path, encodeJobHistory(records)));
        }
    }

    void load500x20()
    {
        const QString dir = m_dir.filePath(QStringLiteral("load"));
        QDir().mkpath(dir);
        const QList<JobRecord> records = storedRecords(500, 20, 0);
        QVERIFY(writeFileAtomically(dir + QStringLiteral("/job-history.json"),
                                    encodeJobHistory(records)));
        qsizetype loaded = 0;
        // Creation as the controller does it: read, decode, fill the list model.
        QBENCHMARK
        {
            JobHistory history(dir, Timing{});
            loaded = history.jobs().size();
        }
        QCOMPARE(loaded, 500);
    }
};

QTEST_GUILESS_MAIN(BenchJobHistory)
#include "bench_job_history.moc"
