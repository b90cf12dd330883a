// Children that do not behave: an evaluator that ignores SIGTERM, and children left
// behind by a program that was killed outright.

#include "e2e/app_harness.h"

#include <QFileInfo>
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
    // ends them as it starts, before its own service, and says so for each.
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

        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(!alive(service) && !alive(evaluator), 10000);
        const std::pair<qint64, QByteArray> expected[] = {
            {service, "vxr-worker/bin/vxr-worker "},
            {evaluator, "vxr-worker/bin/vxr-evaluator-start"}};
        for (const auto& [pid, command] : expected) {
            const QByteArray prefix =
                "reaped orphaned worker process " + QByteArray::number(pid) + ": ";
            QTRY_VERIFY_WITH_TIMEOUT(!linesWith(m_app->output(), prefix).isEmpty(), 5000);
            const auto lines = linesWith(m_app->output(), prefix);
            QVERIFY2(lines.size() == 1, m_app->output().right(2000).constData());
            QVERIFY2(lines.first().contains(command), lines.first().constData());
        }
        // The new service gets the port the old one held, at the first try.
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 2, 10000);
        QTest::qWait(2500);
        QCOMPARE(m_app->services().size(), 2);
        QVERIFY(alive(m_app->services().last().pid));
        QVERIFY(!m_app->output().contains("worker service exited"));
    }

    // On a desktop session orphans land on the user's service manager, which is also
    // an ancestor of the next launch; the terminal it was started from set COLUMNS,
    // and the installation lives under a long path.
    void orphanAdoptedByAnAncestorIsReapedAtStartUp() {
        const QString install = installCopy(
            m_app->path(QStringLiteral("opt/a-long-installation-path-") + QString(100, u'x')));
        QVERIFY(!install.isEmpty());
        const QString workerDir = QFileInfo(install).path() + QStringLiteral("/../lib/vxr-worker");
        const QString orphanProgram = workerDir + QStringLiteral("/vxr-worker/bin/vxr-worker");
        m_app->setEnv(QStringLiteral("COLUMNS"), QStringLiteral("40"));
        QVERIFY(m_app->start(m_bus, QStringLiteral(VXR_SUBREAPER_LAUNCH),
                             {orphanProgram, QStringLiteral("--max-sandboxes=1"),
                              QStringLiteral("--output=stdio"), QStringLiteral("-f"),
                              m_app->path(QStringLiteral("orphan.pid")), QStringLiteral("--"),
                              install}));
        QTRY_VERIFY_WITH_TIMEOUT(m_app->output().contains("orphan "), 5000);
        const qint64 orphan =
            linesWith(m_app->output(), "orphan ").first().mid(7).trimmed().toLongLong();
        QVERIFY(orphan > 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!alive(orphan), 10000);
        const QByteArray prefix =
            "reaped orphaned worker process " + QByteArray::number(orphan) + ": ";
        QTRY_VERIFY_WITH_TIMEOUT(!linesWith(m_app->output(), prefix).isEmpty(), 5000);
        const auto lines = linesWith(m_app->output(), prefix);
        QVERIFY2(lines.size() == 1, m_app->output().right(2000).constData());
        QCOMPARE(lines.first().size(), prefix.size() + 80);
        // The application's own service comes up beside nothing.
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 2, 10000);
        QTest::qWait(2500);
        QCOMPARE(m_app->services().size(), 2);
        QVERIFY(alive(m_app->services().last().pid));
    }

    // Quit asks the children to stop, and after a bounded wait ends those that
    // ignore it: nothing computes on under init once the program is gone.
    void quitEndsChildrenThatIgnoreSigterm() {
        m_app->setEnv(QStringLiteral("VXR_SIM_IGNORE_SIGTERM"), QStringLiteral("worker,evaluator"));
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            linesWith(m_app->read(m_app->processLog()), "ignoring SIGTERM").size() >= 2, 5000);

        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(m_app->waitForExit(15000));
        QCOMPARE(m_app->exitCode(), 0);
        QVERIFY2(!linesWith(m_app->output(), "killed ").isEmpty(),
                 m_app->output().right(2000).constData());
        QTRY_VERIFY_WITH_TIMEOUT(m_app->processesOfThisWorld().isEmpty(), 3000);
    }
};

QTEST_GUILESS_MAIN(TestE2EChildren)
#include "test_e2e_children.moc"
