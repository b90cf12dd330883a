// The task-info pipeline as the controller runs it every 1.5 s: strip the envelope and
// parse the body, reduce it to running-sandbox rows, merge the rows into the list
// model, and feed the document to the job history. Also the reader alone against the
// QJsonDocument reader it replaced, on the same bodies.

#include "core/atomic_file.h"
#include "jobs/job_history.h"
#include "jobs/job_history_json.h"
#include "reference/qjson_task_info.h"
#include "support/poll_fixtures.h"
#include "worker_interface/sandbox_list_model.h"
#include "worker_interface/sandbox_progress.h"
#include "worker_interface/task_info_reader.h"

#include <QDir>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <ctime>
#include <vector>

using namespace vxr;
using namespace vxr::bench;

namespace {

double threadCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// What the task-info poll and the controller do with one fetched body.
struct Pipeline {
    TaskInfoReader reader;
    SandboxListModel sandboxes;
    std::unique_ptr<JobHistory> history;

    void run(const QByteArray& body) {
        const TaskInfoReader::Result result = reader.read(body);
        if (result.unchanged)
            return;
        sandboxes.setRows(sandboxRows(result.info.get()));
        if (result.info)
            history->ingest(*result.info);
    }
};

} // namespace

class BenchTaskInfo : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_histories = 0;

    std::unique_ptr<Pipeline> pipeline(const QByteArray& firstBody) {
        const QString dir = m_dir.filePath(QString::number(m_histories++));
        QDir().mkpath(dir);
        (void)writeFileAtomically(dir + QStringLiteral("/job-history.json"),
                                  encodeJobHistory(storedRecords(500 - jobPool, 2)));
        auto p = std::make_unique<Pipeline>();
        p->history = std::make_unique<JobHistory>(dir, Timing{}, [] { return base; });
        p->run(firstBody);
        return p;
    }

private slots:
    void pipeline_data() {
        QTest::addColumn<int>("tasks");
        QTest::addColumn<bool>("changing");
        for (const int tasks : {8, 64, 256}) {
            const QByteArray size = QByteArray::number(tasks) + "x8";
            QTest::newRow(size + " unchanged") << tasks << false;
            QTest::newRow(size + " changed") << tasks << true;
        }
    }
    void pipeline() {
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
        QBENCHMARK {
            p->run(bodies[n++ % 2]);
        }
        QCOMPARE(published.count(), changing ? n - 1 : 0);
    }

    // Old reader time / new reader time, each reading (and bounding) fresh 64x8 bodies,
    // in interleaved batches so both see the same machine; the median of the ratios.
    void readerSpeedup() {
        const QByteArray bodies[2] = {taskInfoBody(64, 1), taskInfoBody(64, 2)};
        TaskInfoParser parser;
        for (const QByteArray& body : bodies)
            QVERIFY(reference::qjsonTaskInfo(body) == parser.parseBody(body));
        // Batches of eight parses: alternating single parses made each reader start from
        // the heap and caches the other had just left, which the app's reader never does.
        constexpr int rounds = 50;
        constexpr int batch = 8;
        std::vector<double> ratios;
        ratios.reserve(rounds);
        for (int i = 0; i < rounds; ++i) {
            double before = threadCPUSeconds();
            for (int j = 0; j < batch; ++j) {
                std::optional<TaskInfo> old = reference::qjsonTaskInfo(bodies[j % 2]);
                (void)boundTaskInfo(*old);
            }
            const double oldSeconds = threadCPUSeconds() - before;
            before = threadCPUSeconds();
            for (int j = 0; j < batch; ++j) {
                std::optional<TaskInfo> fast = parser.parseBody(bodies[j % 2]);
                (void)boundTaskInfo(*fast);
            }
            const double newSeconds = threadCPUSeconds() - before;
            if (newSeconds > 0)
                ratios.push_back(oldSeconds / newSeconds);
        }
        QVERIFY(ratios.size() > rounds / 2);
        std::nth_element(ratios.begin(), ratios.begin() + qsizetype(ratios.size() / 2),
                         ratios.end());
        QTest::setBenchmarkResult(ratios[ratios.size() / 2], QTest::Events);
    }
};

QTEST_GUILESS_MAIN(BenchTaskInfo)
#include "bench_task_info.moc"
