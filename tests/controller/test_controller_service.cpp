#include "controller/worker_controller.h"
#include "core/diagnostics.h"
#include "platform/child_process.h"
#include "support/controller_access.h"
#include "support/fake_worker.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;
using namespace vxr::test;

class TestControllerService : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_rootDir;
    QString rootPath() const { return m_rootDir->path(); }

    std::unique_ptr<WorkerController>
    start(const FakeWorkerDir& bin,
          const std::function<void(ControllerEnvironment&)>& adjust = {}) {
        ControllerEnvironment env = testEnvironment(rootPath(), bin.path());
        if (adjust)
            adjust(env);
        return std::make_unique<WorkerController>(std::move(env));
    }

private slots:
    void init() { m_rootDir = std::make_unique<QTemporaryDir>(); }
    void launchArguments_data() {
        QTest::addColumn<bool>("joinGlobal");
        QTest::newRow("global group") << true;
        QTest::newRow("no global group") << false;
    }
    void launchArguments() {
        QFETCH(bool, joinGlobal);
        FakeWorkerDir bin;
        auto controller = start(bin);
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        controller->setJoinGlobalGroup(joinGlobal);
        const int expectedStarts = joinGlobal ? 1 : 2; // a change restarts the service
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), expectedStarts);
        QStringList expected{QStringLiteral("--max-sandboxes=4"), QStringLiteral("--output=stdio"),
                             QStringLiteral("-f"), controller->pidFilePath()};
        if (!joinGlobal)
            expected << QStringLiteral("--no-global");
        QCOMPARE(bin.starts(QStringLiteral("service")).last(), expected);
        QVERIFY(controller->pidFilePath().startsWith(AppPaths::underRoot(rootPath()).tempDir));
        QVERIFY(controller->pidFilePath().endsWith(QLatin1String("/vxr-worker.pid")));
        controller->shutdownForQuit();
    }

    void launchEnvironment_data() {
        QTest::addColumn<std::optional<QString>>("inherited");
        QTest::addColumn<double>("cap");
        QTest::addColumn<QString>("nodeOptions");
        QTest::addColumn<QString>("budget");
        QTest::newRow("no NODE_OPTIONS, half")
            << std::optional<QString>() << 50.0 << "--max-old-space-size=4096"
            << "0.5";
        QTest::newRow("inherited option, whole")
            << std::optional<QString>(QStringLiteral("--inspect")) << 100.0
            << "--inspect --max-old-space-size=4096"
            << "1.0";
        QTest::newRow("inherited empty, a third")
            << std::optional<QString>(QString()) << 33.0 << " --max-old-space-size=4096"
            << "0.33";
    }
    void launchEnvironment() {
        QFETCH(std::optional<QString>, inherited);
        QFETCH(double, cap);
        FakeWorkerDir bin;
        auto controller = start(bin, [&](ControllerEnvironment& env) {
            if (inherited)
                env.processEnvironment.insert(QStringLiteral("NODE_OPTIONS"), *inherited);
        });
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        controller->setMemoryCapPercent(cap);
        controller->setJoinGlobalGroup(false); // restart to pick up the new budget
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 2);
        QTEST(bin.envValue(QStringLiteral("service"), QStringLiteral("NODE_OPTIONS")),
              "nodeOptions");
        QTEST(bin.envValue(QStringLiteral("service"), QStringLiteral("VXR_WORKER_MEMORY_BUDGET")),
              "budget");
        QCOMPARE(
            bin.envValue(QStringLiteral("service"), QStringLiteral("VXR_WORKER_MEMORY_LIMIT_FILE")),
            controller->memoryLimitFilePath());
        QCOMPARE(
            bin.envValue(QStringLiteral("service"), QStringLiteral("VXR_WORKER_MEMORY_STATS_FILE")),
            controller->memoryStatsFilePath());
        QVERIFY(QFileInfo(controller->memoryStatsFilePath()).dir().exists());
        controller->shutdownForQuit();
    }

    // The programs installed while the app runs: the watch sees them and the service
    // starts, in a directory that did not exist at start-up.
    void workerProgramsInstalledLaterAreStarted() {
        FakeWorkerDir programs;
        const QString binDir = rootPath() + "/opt/vxr/bin";
        auto controller = start(programs, [&](ControllerEnvironment& env) { env.binDir = binDir; });
        QVERIFY(!controller->workerProgramsFound());
        QVERIFY(!controller->serviceRunning());
        QVERIFY(QDir().mkpath(binDir));
        for (const char* name : {"vxr-worker.sh", "vxr-evaluator.sh"})
            QVERIFY(QFile::copy(programs.filePath(name), binDir + "/" + name));
        QTRY_VERIFY(controller->workerProgramsFound());
        QTRY_VERIFY(controller->serviceRunning());
        controller->shutdownForQuit();
    }

    void exitIsLoggedAndRelaunched() {
        FakeWorkerDir bin;
        bin.setService("sleep 0.05; exit 3");
        DiagnosticCapture diagnostics;
        auto controller = start(bin);
        QTRY_VERIFY(bin.starts(QStringLiteral("service")).size() >= 3);
        QVERIFY(diagnostics.count(
                    QStringLiteral("worker service exited unexpectedly (status 3)")) >= 2);
        controller->shutdownForQuit();
    }

    void heldRelaunchLeavesTheServiceDown() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        ControllerAccess::setHoldServiceRelaunch(*controller, true);
        DiagnosticCapture diagnostics;
        controller->serviceProcess()->terminate();
        QTRY_VERIFY(!controller->serviceRunning());
        QCOMPARE(diagnostics.lines(),
                 {QStringLiteral("worker service exited unexpectedly (status 15)")});
        QVERIFY(!controller->workerURL());
        QTest::qWait(int(controller->timing().serviceRelaunchDelay.count()) * 5);
        QCOMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        QVERIFY(controller->serviceProcess() == nullptr);
        controller->shutdownForQuit();
    }

    void sandboxChangesAreDebouncedIntoOneRestart() {
        FakeWorkerDir bin;
        auto controller = start(bin, [](ControllerEnvironment& env) {
            env.timing.sandboxRestartDebounce = Millis(300);
        });
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        DiagnosticCapture diagnostics;
        controller->setMaxSandboxes(5);
        controller->setMaxSandboxes(6);
        controller->setMaxSandboxes(2);
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 2);
        QTest::qWait(400);
        QCOMPARE(bin.starts(QStringLiteral("service")).size(), 2);
        QCOMPARE(diagnostics.lines().size(), 1);
        QCOMPARE(bin.starts(QStringLiteral("service")).last().first(),
                 QStringLiteral("--max-sandboxes=2"));
        controller->shutdownForQuit();
    }

    void missingScriptIsReportedAndNotRetried() {
        FakeWorkerDir bin;
        QFile::remove(bin.filePath(QStringLiteral("vxr-worker.sh")));
        DiagnosticCapture diagnostics;
        auto controller = start(bin);
        QVERIFY(!controller->serviceRunning());
        QCOMPARE(diagnostics.lines().size(), 1);
        QVERIFY(diagnostics.lines().first().startsWith(
            QLatin1String("Failed to launch worker service: ")));
        QTest::qWait(100);
        QCOMPARE(diagnostics.lines().size(), 1);
    }

    void shutdownTwiceOnlyAsksTheChildrenToStop() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        controller->setManualOverride(true);
        QTRY_VERIFY(controller->serviceRunning() && controller->evaluatorsRunning());
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        const qint64 servicePid = controller->serviceProcess()->pid();
        const qint64 evaluatorPid = controller->evaluatorProcess()->pid();
        DiagnosticCapture diagnostics;
        controller->shutdownForQuit();
        controller->shutdownForQuit();
        QVERIFY(!controller->isIdleTimerRunning());
        QTRY_VERIFY(::kill(pid_t(servicePid), 0) != 0 && ::kill(pid_t(evaluatorPid), 0) != 0);
        QTRY_COMPARE(
            diagnostics.count(QStringLiteral("worker service exited unexpectedly (status 15)")), 1);
        // Nothing is started again while the application goes down.
        QTest::qWait(int(controller->timing().serviceRelaunchDelay.count()) * 5);
        QCOMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        QVERIFY(!controller->serviceRunning());
    }

    void childOutputGoesToTheProcessLog() {
        FakeWorkerDir bin;
        bin.setService(
            "printf 'one\\ntw'; sleep 0.05; printf 'o\\n\\n'; echo err >&2; exec sleep 600");
        auto controller = start(bin);
        const auto contents = [&] {
            QFile log(controller->logPath());
            return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        };
        QTRY_VERIFY(contents().contains("[worker] err\n"));
        QCOMPARE(contents(), QByteArray("[worker] one\n[worker] two\n[worker] err\n"));
        const QFile log(controller->logPath());
        QCOMPARE(log.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        controller->shutdownForQuit();
    }
};

QTEST_GUILESS_MAIN(TestControllerService)
#include "test_controller_service.moc"
