#include "controller/run_policy.h"
#include "controller/worker_controller.h"
#include "core/diagnostics.h"
#include "platform/child_process.h"
#include "support/fake_worker.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace vxr;
using namespace vxr::test;

class TestControllerEvaluator : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_rootDir;
    std::shared_ptr<double> m_idle;
    // The reaper runs on a pool thread.
    std::shared_ptr<std::atomic<int>> m_reaps;

    std::unique_ptr<WorkerController>
    start(const FakeWorkerDir& bin,
          const std::function<void(ControllerEnvironment&)>& adjust = {}) {
        ControllerEnvironment env = testEnvironment(m_rootDir->path(), bin.path());
        auto idle = m_idle;
        env.makeIdleTimeSource = [idle] { return std::make_unique<ScriptedIdleSource>(idle); };
        env.reapOrphanedWorkerProcesses = [reaps = m_reaps] {
            ++*reaps;
            return QStringList{};
        };
        if (adjust)
            adjust(env);
        return std::make_unique<WorkerController>(std::move(env));
    }

private slots:
    void init() {
        m_rootDir = std::make_unique<QTemporaryDir>();
        m_idle = std::make_shared<double>(0.0);
        m_reaps = std::make_shared<std::atomic<int>>(0);
    }

    void policyTable_data() {
        QTest::addColumn<bool>("applying");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<bool>("idleRule");
        QTest::addColumn<double>("idleSeconds");
        QTest::addColumn<bool>("run");
        QTest::newRow("registration wins over manual") << true << true << true << 1e6 << false;
        QTest::newRow("manual") << false << true << false << 0.0 << true;
        QTest::newRow("nothing on") << false << false << false << 1e6 << false;
        QTest::newRow("idle exactly at threshold") << false << false << true << 300.0 << true;
        QTest::newRow("idle just below") << false << false << true << 299.999 << false;
    }
    void policyTable() {
        RunPolicyInputs in;
        QFETCH(bool, applying);
        QFETCH(bool, manual);
        QFETCH(bool, idleRule);
        QFETCH(double, idleSeconds);
        in.isApplyingRegistration = applying;
        in.manualOverride = manual;
        in.idleRestrictionEnabled = idleRule;
        in.idleSeconds = idleSeconds;
        in.idleThresholdMinutes = 5.0;
        QTEST(evaluatorShouldRun(in), "run");
    }

    void manualToggleStartsAndStops() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        QCOMPARE(controller->evaluatorsRunning(), false);
        controller->setManualOverride(true);
        QVERIFY(controller->evaluatorsRunning());
        // The launch came while the start-up reap still ran, which ends any orphan.
        QTRY_COMPARE(*m_reaps, 1);
        QTRY_COMPARE(bin.starts(QStringLiteral("evaluator")).size(), 1);
        QCOMPARE(bin.starts(QStringLiteral("evaluator")).first(),
                 (QStringList{"--", "--webgpu", "-o", "--single-threaded"}));

        DiagnosticCapture diagnostics;
        controller->setManualOverride(false);
        QVERIFY(controller->isStopping());
        // A further toggle while stopping does nothing.
        const ChildProcess* stopping = controller->evaluatorProcess();
        controller->setManualOverride(true);
        QVERIFY(controller->isStopping());
        QCOMPARE(controller->evaluatorProcess(), stopping);
        controller->setManualOverride(false);
        QTRY_VERIFY(!controller->evaluatorsRunning());
        QVERIFY(!controller->isStopping());
        QCOMPARE(diagnostics.lines(), {QStringLiteral("evaluator exited (requested), status 15")});
        QTest::qWait(int(controller->timing().evaluatorRelaunchDelay.count()) * 5);
        QCOMPARE(bin.starts(QStringLiteral("evaluator")).size(), 1);
        controller->shutdownForQuit();
    }

    // The Start/Stop button's action: each press flips the override, which acts at once.
    void toggleComputeActsAtOnce() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        controller->toggleCompute();
        QVERIFY(controller->manualOverride());
        QVERIFY(controller->evaluatorsRunning());
        controller->toggleCompute();
        QVERIFY(!controller->manualOverride());
        QVERIFY(controller->isStopping());
        QTRY_VERIFY(!controller->evaluatorsRunning());
        controller->shutdownForQuit();
    }

    void webGpuOffDropsTheFlag() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        controller->setEnableWebGPU(false);
        controller->setManualOverride(true);
        QTRY_COMPARE(bin.starts(QStringLiteral("evaluator")).size(), 1);
        QCOMPARE(bin.starts(QStringLiteral("evaluator")).first(),
                 (QStringList{"--", "-o", "--single-threaded"}));
        controller->shutdownForQuit();
    }

    void crashWhileWantedIsLoggedAndRelaunched() {
        FakeWorkerDir bin;
        bin.setEvaluator("sleep 0.05; exit 9");
        DiagnosticCapture diagnostics;
        auto controller = start(bin);
        controller->setManualOverride(true);
        QTRY_VERIFY(bin.starts(QStringLiteral("evaluator")).size() >= 2);
        QVERIFY(diagnostics.count(QStringLiteral("evaluator exited unexpectedly (status 9)")) >= 1);
        controller->shutdownForQuit();
    }

    void evaluatorIgnoringTermStaysStopping() {
        FakeWorkerDir bin;
        bin.setEvaluator("trap '' TERM; touch \"$dir/trapped\"; while :; do sleep 0.02; done");
        auto controller = start(bin);
        controller->setManualOverride(true);
        QTRY_VERIFY(QFile::exists(bin.filePath(QStringLiteral("trapped"))));
        const qint64 pid = controller->evaluatorProcess()->pid();
        controller->setManualOverride(false);
        QTest::qWait(200);
        QVERIFY(controller->isStopping());
        QVERIFY(controller->evaluatorsRunning());
        QCOMPARE(::kill(pid_t(pid), 0), 0); // never killed by force
        ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY(!controller->evaluatorsRunning());
        controller->shutdownForQuit();
    }

    void failedLaunchIsRetriedOnTheNextTick() {
        FakeWorkerDir bin;
        QFile::remove(bin.filePath(QStringLiteral("vxr-evaluator.sh")));
        DiagnosticCapture diagnostics;
        auto controller = start(bin);
        controller->setManualOverride(true);
        QVERIFY(!controller->evaluatorsRunning());
        QTRY_VERIFY(*m_reaps >= 4); // every tick reaps and tries again
        QVERIFY(diagnostics.containsPrefix(QStringLiteral("Failed to launch evaluator: ")));
        controller->shutdownForQuit();
    }

    void idleGatingStartsAndStopsAtTheTick() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        controller->setIdleRestrictionEnabled(true);
        controller->setIdleThresholdMinutes(1);
        QVERIFY(!controller->evaluatorsRunning());
        *m_idle = 60;
        QTRY_VERIFY(controller->evaluatorsRunning());
        *m_idle = 0.2; // the user touched the mouse
        QTRY_VERIFY(controller->isStopping() || !controller->evaluatorsRunning());
        QTRY_VERIFY(!controller->evaluatorsRunning());
        controller->shutdownForQuit();
    }

    // An orphaned service would hold the port: the first service starts only once the
    // reaper, which runs off the GUI thread, is done.
    void startUpReapsBeforeTheFirstService() {
        FakeWorkerDir bin;
        auto servicesSeenByReaper = std::make_shared<std::atomic<int>>(-1);
        QElapsedTimer clock;
        clock.start();
        auto controller = start(bin, [&](ControllerEnvironment& env) {
            env.reapOrphanedWorkerProcesses = [&bin, servicesSeenByReaper] {
                QThread::msleep(300);
                *servicesSeenByReaper = int(bin.starts(QStringLiteral("service")).size());
                return QStringList{QStringLiteral("reaped orphaned worker process 7: x")};
            };
        });
        QVERIFY2(clock.elapsed() < 250, "the reaper must not hold the GUI thread");
        QVERIFY(!controller->serviceRunning());
        DiagnosticCapture diagnostics;
        QTRY_VERIFY(controller->serviceRunning());
        QCOMPARE(int(*servicesSeenByReaper), 0);
        QCOMPARE(diagnostics.lines(), QStringList{"reaped orphaned worker process 7: x"});
        controller->shutdownForQuit();
    }

    // Quit while the start-up reap still runs: nothing is started after it.
    void quitDuringTheStartUpReapStartsNothing() {
        FakeWorkerDir bin;
        auto controller = start(bin, [](ControllerEnvironment& env) {
            env.reapOrphanedWorkerProcesses = [] {
                QThread::msleep(200);
                return QStringList{};
            };
        });
        // An evaluator start meanwhile does not run a second reap beside the first.
        controller->setManualOverride(true);
        controller->shutdownForQuit();
        QTest::qWait(400);
        QVERIFY(!controller->serviceRunning());
        QCOMPARE(bin.starts(QStringLiteral("service")).size(), 0);
        // Not even the registration check, a one-shot of the worker program.
        QCOMPARE(controller->registrationStatus(), RegistrationStatus::unknown());
    }

    // A reading arrives some time after its tick asked for it; the decision of that
    // tick must rest on it, not on the answer to the tick before.
    void idleDecisionRestsOnTheReadingOfItsOwnTick() {
        FakeWorkerDir bin;
        QList<std::pair<double, bool>> decisions; // reading, compute wanted right after it
        WorkerController* controllerSeen = nullptr;
        auto controller = start(bin, [&](ControllerEnvironment& env) {
            env.timing.idleTickInterval = Millis(60);
            auto idle = m_idle;
            env.makeIdleTimeSource = [&, idle] {
                return std::make_unique<DelayedIdleSource>(idle, Millis(40), [&](double seconds) {
                    if (controllerSeen)
                        decisions.append({seconds, controllerSeen->evaluatorsRunning() &&
                                                       !controllerSeen->isStopping()});
                });
            };
        });
        controllerSeen = controller.get();
        controller->setIdleRestrictionEnabled(true);
        controller->setIdleThresholdMinutes(1);
        QTRY_VERIFY(decisions.size() >= 2);
        *m_idle = 600;
        QTRY_VERIFY(controller->evaluatorsRunning());
        *m_idle = 0;
        QTRY_VERIFY(!controller->evaluatorsRunning());
        *m_idle = 600;
        QTRY_VERIFY(controller->evaluatorsRunning());
        for (const auto& [seconds, wanted] : std::as_const(decisions))
            QCOMPARE(wanted, seconds >= 60);
        controllerSeen = nullptr;
        controller->shutdownForQuit();
    }

    // A start by hand moves the idle tick onto a task-info fetch: it comes sooner once,
    // never later, and keeps its own period from there.
    void idleTickKeepsItsPeriodWhenLinedUpWithTaskInfo() {
        FakeWorkerDir bin;
        QElapsedTimer clock;
        clock.start();
        QList<qint64> readAt;
        auto controller = start(bin, [&](ControllerEnvironment& env) {
            env.timing.idleTickInterval = Millis(300);
            env.timing.taskInfoInterval = Millis(120);
            auto idle = m_idle;
            env.makeIdleTimeSource = [&, idle] {
                return std::make_unique<DelayedIdleSource>(
                    idle, Millis(0), [&](double) { readAt.append(clock.elapsed()); });
            };
        });
        QTest::qWait(150);
        const qint64 startedAt = clock.elapsed();
        controller->setManualOverride(true);
        QTest::qWait(1300);
        controller->shutdownForQuit();
        QList<qint64> ticks{startedAt};
        for (const qint64 at : std::as_const(readAt))
            if (at > startedAt)
                ticks.append(at);
        QVERIFY2(ticks.size() >= 4 && ticks.size() <= 7, QByteArray::number(ticks.size()));
        for (qsizetype i = 1; i < ticks.size(); ++i)
            QVERIFY2(ticks[i] - ticks[i - 1] <= 450, QByteArray::number(ticks[i] - ticks[i - 1]));
    }

    void rootPidsListServiceFirst() {
        FakeWorkerDir bin;
        auto controller = start(bin);
        QTRY_VERIFY(controller->serviceRunning());
        QCOMPARE(controller->metricsRootPIDs(), {qint32(controller->serviceProcess()->pid())});
        controller->setManualOverride(true);
        QCOMPARE(controller->metricsRootPIDs(),
                 (QList<qint32>{qint32(controller->serviceProcess()->pid()),
                                qint32(controller->evaluatorProcess()->pid())}));
        controller->shutdownForQuit();
    }
};

QTEST_GUILESS_MAIN(TestControllerEvaluator)
#include "test_controller_evaluator.moc"
