#include "worker_interface/task_info_reader.h"

#include <QTest>

using namespace vxr;

using Bodies = QList<std::optional<QByteArray>>;
Q_DECLARE_METATYPE(Bodies)

class TestTaskInfoReader : public QObject {
    Q_OBJECT
private slots:
    // One poll loop's bodies in order; for each, whether the reader calls it unchanged
    // and the "n" of the root it returns (-1: no root).
    void readsOnlyNewBodies_data() {
        QTest::addColumn<Bodies>("bodies");
        QTest::addColumn<QList<bool>>("unchanged");
        QTest::addColumn<QList<int>>("roots");
        const QByteArray a = "taskInfo={\"n\":1};";
        const QByteArray b = "taskInfo={\"n\":2};";
        const QByteArray bad = "taskInfo={\"n\":";
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
            QCOMPARE(result.root ? result.root->value("n").toInt() : -1, roots[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestTaskInfoReader)
#include "test_task_info_reader.moc"
