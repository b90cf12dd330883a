// Children that do not behave: an evaluator that ignores SIGTERM, and children left
// behind by a program that was killed outright.

#include "e2e/app_harness.h"

#include <QTest>

using namespace e2e;

namespace {

qint64 parentOf(qint64 pid) {
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 ? -1 : stat.mid(close + 2).split(' ').value(1).toLongLong();
}

} // namespace

class TestE2EChildren : public QObject {
    Q_OBJECT

private:
    SessionBus m_bus;
    std::unique_ptr<AppHarness> m_app;

private slots:
    void initTestCase() { requireProgramAndBus(m_bus); }

    void init() { m_app = std::make_unique<AppHarness>(); }

    void cleanup() { endWorld(m_app, m_bus); }

    // Stop only asks: the program waits in Stopping, keeps answering, kills nothing,
    // and starts no second evaluator; the evaluator's end, however late, completes it.
    void evaluatorIgnoringSigtermIsNotForced() {
        m_app->setEnv(QStringLiteral("VXR_SIM_IGNORE_SIGTERM"), QStringLiteral("evaluator"));
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        const qint64 evaluator = m_app->evaluators().first().pid;
        // Only once its handler is in place does SIGTERM go unheeded.
        QTRY_VERIFY_WITH_TIMEOUT(m_app->read(m_app->processLog()).contains("ignoring SIGTERM"),
                                 5000);

        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QElapsedTimer clock;
        clock.start();
        // Longer than any relaunch or escalation delay the program could have.
        while (clock.elapsed() < 4500) {
            QVERIFY(m_bus.action(QStringLiteral("show"), 1000));
            QTest::qWait(250);
        }
        QVERIFY(alive(evaluator));
        QVERIFY(!m_app->output().contains("evaluator exited"));
        // Start pressed while still stopping must not start a second evaluator.
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTest::qWait(500);
        QCOMPARE(m_app->evaluators().size(), 1);

        ::kill(pid_t(evaluator), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->output().contains("evaluator exited (requested), status 9"),
                                 5000);
        QVERIFY(m_app->running());
        QVERIFY(m_bus.action(QStringLiteral("show")));
    }

    // After a SIGKILL of the program its children run on, orphaned; the next launch
    // ends them when it starts its evaluator, and says so for each.
    void orphansOfAKilledProgramAreReaped() {
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        const qint64 service = m_app->services().first().pid;
        const qint64 evaluator = m_app->evaluators().first().pid;

        m_app->signal(SIGKILL);
        QVERIFY(m_app->waitForExit(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!m_bus.appRegistered(), 5000);
        QVERIFY(alive(service) && alive(evaluator));
        QTRY_VERIFY_WITH_TIMEOUT(parentOf(service) != m_app->pid() || !alive(service), 2000);
        if (parentOf(service) != 1 || parentOf(evaluator) != 1)
            QSKIP("orphans are adopted by a subreaper here, not by init: nothing to reap");

        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(alive(service) && alive(evaluator)); // nothing reaps before Start
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!alive(service) && !alive(evaluator), 5000);
        const std::pair<qint64, QByteArray> expected[] = {
            {service, "vxr-worker/bin/vxr-worker "},
            {evaluator, "vxr-worker/bin/vxr-evaluator-start"}};
        for (const auto& [pid, command] : expected) {
            const auto lines = linesWith(m_app->output(), "reaped orphaned worker process " +
                                                              QByteArray::number(pid) + ": ");
            QVERIFY2(lines.size() == 1, m_app->output().right(2000).constData());
            QVERIFY2(lines.first().contains(command), lines.first().constData());
        }

        // The new evaluator was not mistaken for an orphan, and the service comes back
        // on the port the old one held.
        QVERIFY(alive(m_app->evaluators().last().pid));
        QTRY_VERIFY_WITH_TIMEOUT(
            alive(m_app->services().last().pid) && m_app->services().last().pid != service, 8000);
    }
};

QTEST_GUILESS_MAIN(TestE2EChildren)
#include "test_e2e_children.moc"
