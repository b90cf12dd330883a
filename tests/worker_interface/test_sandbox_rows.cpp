#include "worker_interface/sandbox_list_model.h"
#include "worker_interface/sandbox_progress.h"

#include "support/task_info_json.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace vxr;

namespace {
using Rows = QList<SandboxProgress>;

TaskInfo parse(const char* json) {
    TaskInfoParser parser;
    return parser.parseJson(json).value();
}

SandboxProgress row(const QString& id, qint64 done, qint64 fetched, double percent) {
    return {id, id.left(10), done, fetched, percent};
}
} // namespace

class TestSandboxRows : public QObject {
    Q_OBJECT
private slots:
    void reduction_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<Rows>("expected");

        QTest::newRow("same job in two sandboxes, no sliceCount")
            << QByteArray(R"({"tasks":[
                 {"jobs":{"job1":{"slicesDone":3,"slicesLeft":[1]}}},
                 {"jobs":{"job1":{"slicesDone":5,"slicesLeft":[1,2]}}}]})")
            << Rows{row("job1", 8, 11, 800.0 / 11.0)};
        QTest::newRow("sliceCount above done+left wins")
            << QByteArray(R"({"tasks":[{"jobs":{"j":{"slicesDone":3,"slicesLeft":[0,0]}},
                 "prototype":{"currentTask":{"jobs":{"j":{"sliceCount":20}}}}}]})")
            << Rows{row("j", 3, 20, 15.0)};
        QTest::newRow("sliceCount below done+left loses")
            << QByteArray(R"({"tasks":[{"jobs":{"j":{"slicesDone":3,"slicesLeft":[0,0]}},
                 "prototype":{"currentTask":{"jobs":{"j":{"sliceCount":4}}}}}]})")
            << Rows{row("j", 3, 5, 60.0)};
        QTest::newRow("percent never above 100")
            << QByteArray(R"({"tasks":[{"jobs":{"j":{"slicesDone":5}},
                 "prototype":{"currentTask":{"jobs":{"j":{"sliceCount":2}}}}}]})")
            << Rows{row("j", 5, 5, 100.0)};
        QTest::newRow("finished tasks contribute nothing, even false or null")
            << QByteArray(R"({"tasks":[
                 {"jobs":{"a":{"slicesDone":1}},"prototype":{"currentTask":{"finished":null}}},
                 {"jobs":{"a":{"slicesDone":1}},"prototype":{"currentTask":{"finished":false}}},
                 {"jobs":{"b":{"slicesDone":2,"slicesLeft":[1,1]}},"prototype":{"currentTask":{}}}]})")
            << Rows{row("b", 2, 4, 50.0)};
        QTest::newRow("nothing fetched, no row")
            << QByteArray(
                   R"({"tasks":[{"jobs":{"idle":{"slicesDone":0},"busy":{"slicesLeft":[1]}}}]})")
            << Rows{row("busy", 0, 1, 0.0)};
        QTest::newRow("ascending id order whatever the task order; long ids cut to 10")
            << QByteArray(R"({"tasks":[{"jobs":{"zeta":{"slicesDone":1}}},
                 {"jobs":{"Beta0123456789":{"slicesDone":1},"alpha":{"slicesDone":1}}}]})")
            << Rows{{"Beta0123456789", "Beta012345", 1, 1, 100.0},
                    row("alpha", 1, 1, 100.0),
                    row("zeta", 1, 1, 100.0)};
        QTest::newRow("fractions truncate toward zero, percent from the fractions")
            << QByteArray(R"({"tasks":[{"jobs":{"j":{"slicesDone":2.9,"slicesLeft":[1]}}}]})")
            << Rows{row("j", 2, 3, 2.9 / 3.9 * 100.0)};
        QTest::newRow("wrongly typed parts are skipped element by element")
            << QByteArray(
                   R"({"tasks":[7, {"jobs":[]}, {"jobs":{"x":3,"j":{"slicesDone":"4","slicesLeft":{}}}},
                 {"jobs":{"k":{"slicesDone":1}},"prototype":{"currentTask":{"jobs":{"k":{"sliceCount":"9"}}}}}]})")
            << Rows{row("k", 1, 1, 100.0)};
        QTest::newRow("tasks not an array") << QByteArray(R"({"tasks":{}})") << Rows{};
    }
    void reduction() {
        QFETCH(QByteArray, json);
        QFETCH(Rows, expected);
        const TaskInfo info = parse(json);
        const Rows rows = sandboxRows(&info);
        QCOMPARE(rows.size(), expected.size());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].id, expected[i].id);
            QCOMPARE(rows[i].jobName, expected[i].jobName);
            QCOMPARE(rows[i].slicesDone, expected[i].slicesDone);
            QCOMPARE(rows[i].slicesFetched, expected[i].slicesFetched);
            QCOMPARE(rows[i].percent, expected[i].percent);
        }
    }

    void absentOrUnparsableDocumentGivesNoRows() {
        QVERIFY(sandboxRows(nullptr).isEmpty());
        // A line break after the final ";" makes the document unreadable.
        const QByteArray body = R"(x={"tasks":[{"jobs":{"j":{"slicesDone":1}}}]};)";
        TaskInfoParser parser;
        const std::optional<TaskInfo> info = parser.parseBody(body);
        QCOMPARE(sandboxRows(info ? &*info : nullptr).size(), 1);
        QVERIFY(!parser.parseBody(body + "\n"));
    }

    void jobNameCountsCharactersNotCodeUnits() {
        // Ten emoji are twenty UTF-16 code units; none may be cut in half.
        const QString id = QString::fromUtf8("\U0001F600").repeated(12);
        QJsonObject root{
            {"tasks",
             QJsonArray{QJsonObject{{"jobs", QJsonObject{{id, QJsonObject{{"slicesDone", 1}}}}}}}}};
        const TaskInfo info = testing::taskInfo(root);
        const Rows rows = sandboxRows(&info);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].jobName, QString::fromUtf8("\U0001F600").repeated(10));
    }

    void percentRoundsAsPrintf() {
        QCOMPARE(percentText(12.25), QStringLiteral("12.2%")); // a tie: to even
        QCOMPARE(percentText(99.96), QStringLiteral("100.0%"));
    }

    void modelMergesRowsByJobId() {
        SandboxListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy count(&model, &SandboxListModel::countChanged);

        model.setRows({row("a", 1, 2, 50), row("c", 1, 4, 25)});
        QCOMPARE(inserted.count(), 2);
        model.setRows({row("a", 2, 2, 100), row("b", 0, 1, 0), row("c", 1, 4, 25)});
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(changed.count(), 1); // only "a" changed; "c" kept as it was
        QCOMPARE(model.data(model.index(0), SandboxListModel::PercentRole).toDouble(), 100.0);
        model.setRows({row("b", 0, 1, 0)});
        QCOMPARE(removed.count(), 2);
        QCOMPARE(model.rows(), (Rows{row("b", 0, 1, 0)}));
        QCOMPARE(model.data(model.index(0), SandboxListModel::JobNameRole).toString(),
                 QStringLiteral("b"));
        model.setRows({});
        QCOMPARE(model.count(), 0);
        QCOMPARE(count.count(), 4);
    }
};

QTEST_GUILESS_MAIN(TestSandboxRows)
#include "test_sandbox_rows.moc"
