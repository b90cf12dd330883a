#include "core/diagnostics.h"
#include "worker_interface/sandbox_progress.h"
#include "worker_interface/task_info_reader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

using namespace vxr;

using Bodies = QList<std::optional<QByteArray>>;
Q_DECLARE_METATYPE(Bodies)

class TestTaskInfoReader : public QObject {
    Q_OBJECT
private slots:
    // One poll loop's bodies in order; for each, whether the reader calls it unchanged
    // and the worker's "rss" in the document it returns (-1: no document).
    void readsOnlyNewBodies_data() {
        QTest::addColumn<Bodies>("bodies");
        QTest::addColumn<QList<bool>>("unchanged");
        QTest::addColumn<QList<int>>("roots");
        const QByteArray a = "taskInfo={\"workerProcess\":{\"rss\":1}};";
        const QByteArray b = "taskInfo={\"workerProcess\":{\"rss\":2}};";
        const QByteArray bad = "taskInfo={\"workerProcess\":";
        QTest::newRow("same bytes again")
            << Bodies{a, QByteArray(a)} << QList<bool>{false, true} << QList<int>{1, 1};
        QTest::newRow("changed and back")
            << Bodies{a, b, a} << QList<bool>{false, false, false} << QList<int>{1, 2, 1};
        // The consumers cleared their state on the failure: the next body is news.
        QTest::newRow("failed fetch between")
            << Bodies{a, std::nullopt, a} << QList<bool>{false, false, false}
            << QList<int>{1, -1, 1};
        QTest::newRow("failed fetches repeat") << Bodies{std::nullopt, std::nullopt}
                                               << QList<bool>{false, false} << QList<int>{-1, -1};
        QTest::newRow("unparsable body repeats")
            << Bodies{bad, bad, a} << QList<bool>{false, true, false} << QList<int>{-1, -1, 1};
    }
    void readsOnlyNewBodies() {
        QFETCH(Bodies, bodies);
        QFETCH(QList<bool>, unchanged);
        QFETCH(QList<int>, roots);
        TaskInfoReader reader;
        for (qsizetype i = 0; i < bodies.size(); ++i) {
            const TaskInfoReader::Result result = reader.read(bodies[i]);
            QCOMPARE(result.unchanged, unchanged[i]);
            QCOMPARE(result.info ? int(*result.info->workerProcess->rss) : -1, roots[i]);
        }
    }

    // A generated document under the byte cap with more than one document should cost:
    // the excess is ignored, what is kept stays whole and consistent, and the cut is said
    // once however many such documents follow.
    void oversizedDocumentsAreBounded_data() {
        QTest::addColumn<int>("tasks");
        QTest::addColumn<int>("jobsPerTask");
        QTest::addColumn<int>("jobIds"); // distinct, dealt round the tasks
        QTest::addColumn<int>("keptTasks");
        QTest::addColumn<int>("keptJobs");
        QTest::addColumn<bool>("said");
        QTest::newRow("within the limits") << 10 << 3 << 30 << 10 << 30 << false;
        QTest::newRow("too many tasks") << 5000 << 1 << 100 << 1024 << 100 << true;
        QTest::newRow("too many jobs in a task") << 1 << 300 << 300 << 1 << 64 << true;
        QTest::newRow("too many jobs in all") << 100 << 50 << 5000 << 100 << 1024 << true;
    }
    void oversizedDocumentsAreBounded() {
        QFETCH(int, tasks);
        QFETCH(int, jobsPerTask);
        QFETCH(int, jobIds);
        QFETCH(int, keptTasks);
        QFETCH(int, keptJobs);
        QFETCH(bool, said);
        const auto body = [&](int serial) {
            QJsonArray list;
            QJsonObject info;
            for (int t = 0, next = 0; t < tasks; ++t) {
                QJsonObject counters;
                QJsonObject entries;
                for (int j = 0; j < jobsPerTask; ++j, ++next) {
                    const QString id =
                        QStringLiteral("job%1").arg(next % jobIds, 5, 10, QChar(u'0'));
                    counters.insert(id,
                                    QJsonObject{{"slicesDone", 1}, {"slicesLeft", QJsonArray{1}}});
                    entries.insert(
                        id, QJsonObject{{"sliceCount", 4}, {"metrics", QJsonObject{{"cpu", 1}}}});
                    info.insert(id, QJsonObject{{"name", id}});
                }
                list.append(QJsonObject{
                    {"jobs", counters},
                    {"prototype", QJsonObject{{"serial", serial * 100000 + t},
                                              {"currentTask", QJsonObject{{"jobs", entries}}}}}});
            }
            return "taskInfo=" +
                   QJsonDocument(QJsonObject{{"tasks", list}, {"jobs", info}}).toJson() + ';';
        };
        DiagnosticCapture diagnostics;
        TaskInfoReader reader;
        for (int serial : {1, 2}) {
            const std::shared_ptr<const TaskInfo> info = reader.read(body(serial)).info;
            QVERIFY(info);
            QCOMPARE(info->tasks->size(), keptTasks);
            QSet<QString> ids;
            for (const std::optional<TaskInfoTask>& task : *info->tasks) {
                const auto keys = [](const auto& map) {
                    QStringList keys;
                    for (const auto& entry : map)
                        keys.append(entry.first);
                    return keys;
                };
                const QStringList counters = keys(*task->jobs);
                QVERIFY(counters.size() <= 64);
                QCOMPARE(keys(*task->currentTask->jobs), counters);
                for (const QString& id : counters)
                    ids.insert(id);
            }
            QCOMPARE(ids.size(), keptJobs);
            QCOMPARE(info->jobs->size(), jobIds > 1024 ? keptJobs : jobIds);
            QCOMPARE(sandboxRows(info.get()).size(), keptJobs);
        }
        QCOMPARE(diagnostics.lines().size(), said ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestTaskInfoReader)
#include "test_task_info_reader.moc"
