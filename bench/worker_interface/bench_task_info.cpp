// The task-info pipeline as the controller runs it every 1.5 s: strip the envelope and
// parse the body, reduce it to running-sandbox rows, merge the rows into the list
// model, and feed the document to the job history.

#include "core/atomic_file.h"
#include "jobs/job_history.h"
#include "jobs/job_history_json.h"
#include "support/poll_fixtures.h"
#include "worker_interface/sandbox_list_model.h"
#include "worker_interface/sandbox_progress.h"
#include "worker_interface/task_info_reader.h"

#include <QDir>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;
using namespace vxr::bench;

namespace {

// The service's answer, wrapped as a script assignment.
QByteArray taskInfoBody(int tasks, double variant) {
    return "window.taskInfo=" +
           QJsonDocument(taskInfoDocument(tasks, variant)).toJson(QJsonDocument::Compact) + ';';
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
};

QTEST_GUILESS_MAIN(BenchTaskInfo)
#include "bench_task_info.moc"
