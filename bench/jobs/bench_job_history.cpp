// Costs of the job history on the poll path (ingest every 1.5 s) and on save/load.

#include "core/atomic_file.h"
#include "jobs/job_history.h"
#include "jobs/job_history_json.h"
#include "support/poll_fixtures.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;
using namespace vxr::bench;

namespace {
constexpr int taskCount = 64;
} // namespace

class BenchJobHistory : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A history holding the document's 64 jobs plus older ones: 500 records.
    std::unique_ptr<JobHistory> fullHistory(const QString& name) {
        const QString dir = m_dir.filePath(name);
        QDir().mkpath(dir);
        (void)writeFileAtomically(dir + QStringLiteral("/job-history.json"),
                                  encodeJobHistory(storedRecords(500 - jobPool, 2)));
        auto history = std::make_unique<JobHistory>(dir, Timing{}, [] { return base; });
        history->ingest(taskInfo(taskCount, 0));
        return history;
    }

private slots:
    void ingestUnchanged() {
        const auto history = fullHistory(QStringLiteral("unchanged"));
        QCOMPARE(history->jobs().size(), 500);
        const TaskInfo document = taskInfo(taskCount, 0);
        QSignalSpy published(history.get(), &JobHistory::jobsChanged);
        QBENCHMARK {
            history->ingest(document);
        }
        QCOMPARE(published.count(), 0);
    }

    void ingestEverySnapshotChanged() {
        const auto history = fullHistory(QStringLiteral("changed"));
        const TaskInfo documents[2] = {taskInfo(taskCount, 1), taskInfo(taskCount, 2)};
        QSignalSpy published(history.get(), &JobHistory::jobsChanged);
        int n = 0;
        QBENCHMARK {
            history->ingest(documents[n++ % 2]);
        }
        QCOMPARE(published.count(), n);
        QCOMPARE(history->jobs().size(), 500);
    }

    void encode_data() { sizes(); }
    void encode() {
        QFETCH(int, records);
        const QList<JobRecord> stored = storedRecords(records, 20);
        qsizetype size = 0;
        QBENCHMARK {
            size = encodeJobHistory(stored).size();
        }
        QVERIFY(size > 0);
    }

    void encodeAndWrite_data() { sizes(); }
    void encodeAndWrite() {
        QFETCH(int, records);
        const QList<JobRecord> stored = storedRecords(records, 20);
        const QString path = m_dir.filePath(QStringLiteral("job-history.json"));
        QBENCHMARK {
            QVERIFY(writeFileAtomically(path, encodeJobHistory(stored)));
        }
    }

    void load_data() { sizes(); }
    void load() {
        QFETCH(int, records);
        const QString dir = m_dir.filePath(QStringLiteral("load-%1").arg(records));
        QDir().mkpath(dir);
        QVERIFY(writeFileAtomically(dir + QStringLiteral("/job-history.json"),
                                    encodeJobHistory(storedRecords(records, 20))));
        qsizetype loaded = 0;
        // Creation as the controller does it: read, decode, fill the list model.
        QBENCHMARK {
            JobHistory history(dir, Timing{});
            loaded = history.jobs().size();
        }
        QCOMPARE(loaded, records);
    }

private:
    static void sizes() {
        QTest::addColumn<int>("records");
        QTest::newRow("100x20") << 100;
        QTest::newRow("500x20") << 500;
    }
};

QTEST_GUILESS_MAIN(BenchJobHistory)
#include "bench_job_history.moc"
