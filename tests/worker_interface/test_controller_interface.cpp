// WorkerController against a fake worker program (one script answering the one-shot
// commands and running as the service) and a fake HTTP service, with scaled timing.
#include "fake_http_service.h"

#include "controller/worker_controller.h"
#include "core/diagnostics.h"
#include "platform/child_process.h"
#include "worker_interface/one_shot.h"
#include "worker_interface/poll_loops.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace vxr;
using vxr::test::FakeHttpService;
using Kind = RegistrationStatus::Kind;

namespace {
const QString kHud = QStringLiteral("/hud/small-dark.html");
const QString kRunInfo = QStringLiteral("/worker/run-info");
const QString kTaskInfo = QStringLiteral("/worker/task-info");
const QString kOwner = QStringLiteral("0xC0FFEE00112233445566");

// One-shot commands append their name to "oneshots"; each service start appends
// "service" to "starts". The answers come from files the test writes.
const QByteArray kWorkerScript = R"(#!/bin/sh
dir=$(dirname "$0")
case "$1" in
  --show=throttle) echo throttle >> "$dir/oneshots"; . "$dir/show-throttle.sh" ;;
  --show=owner) echo owner >> "$dir/oneshots"; cat "$dir/owner.txt" 2>/dev/null; exit 0 ;;
  --register=*) echo register >> "$dir/oneshots"; . "$dir/register.sh" ;;
  --reset) echo reset >> "$dir/oneshots"; . "$dir/reset.sh" ;;
esac
echo service >> "$dir/starts"
echo $$ >> "$dir/service.pids"
echo "service up"
exec sleep 600
)";

class Fixture {
public:
    Fixture() {
        QDir().mkpath(bin());
        write(bin() + "/vxr-worker.sh", kWorkerScript, true);
        write(bin() + "/vxr-evaluator.sh", "#!/bin/sh\nexec sleep 600\n", true);
        write(bin() + "/owner.txt", "\n" + kOwner.toUtf8() + "\n");
        write(bin() + "/register.sh", "echo 'Registration complete'; exit 1\n");
        write(bin() + "/reset.sh", "exit 0\n");
        write(bin() + "/show-throttle.sh", "cat \"$dir/throttle.txt\" 2>/dev/null; exit 0\n");
        write(bin() + "/throttle.txt",
              "schedule: '" + QByteArray(96, '0') + "'\ntimezone: 'UTC'\n");
        service.answer(kRunInfo, 200,
                       R"(w={"totalEarnings": 12, "earningsAccount": "acct@example"})");
        service.answer(kTaskInfo, 200,
                       R"(w={"tasks":[{"jobs":{"job-b":{"slicesDone":3,"slicesLeft":[1]}}}]};)");
        // The HUD page answers 404 by default: any answer counts.
    }

    std::unique_ptr<WorkerController> start(Timing timing = Timing{}.scaled(0.02)) {
        ControllerEnvironment env;
        env.binDir = bin();
        env.statusURL = service.url(kHud);
        env.runInfoURL = service.url(kRunInfo);
        env.taskInfoURL = service.url(kTaskInfo);
        env.paths = AppPaths::underRoot(root.path());
        env.timing = timing;
        env.performanceCores = [] { return 1; };
        auto controller = std::make_unique<WorkerController>(env);
        return controller;
    }

    static void stop(std::unique_ptr<WorkerController>& controller) {
        controller->shutdownForQuit();
        QTRY_VERIFY(!controller->serviceRunning() && !controller->evaluatorsRunning());
        controller.reset();
    }

    QString bin() const { return root.filePath("bin"); }
    // Services started so far that are still alive (zombies count as gone).
    int liveServices() const {
        QFile f(bin() + "/service.pids");
        int alive = 0;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty() && processAlive(line.toInt()))
                    ++alive;
        return alive;
    }
    static bool processAlive(qint64 pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = stat.readAll();
        return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
    }
    QString home() const { return root.filePath("home"); }
    int count(const QString& file, const QString& line) const {
        QFile f(bin() + "/" + file);
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        return int(QString::fromUtf8(f.readAll()).split('\n').count(line));
    }
    static void write(const QString& path, const QByteArray& bytes, bool executable = false) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        if (executable)
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    QTemporaryDir root;
    FakeHttpService service;
};

void killService(WorkerController& controller) {
    QVERIFY(controller.serviceProcess());
    ::kill(pid_t(controller.serviceProcess()->pid()), SIGTERM);
}
} // namespace

class TestControllerInterface : public QObject {
    Q_OBJECT
private slots:
    void startUpPublishesEverything() {
        Fixture fixture;
        auto controller = fixture.start();
        QSignalSpy assigned(controller.get(), &WorkerController::workerURLAssigned);
        QSignalSpy fetched(controller.get(), &WorkerController::taskInfoFetched);

        QTRY_COMPARE(controller->workerURL(), std::optional(fixture.service.url(kHud)));
        QCOMPARE(assigned.count(), 1);
        QTRY_COMPARE(controller->totalEarnings(), 12.0);
        QCOMPARE(controller->earningsAccount(), std::optional(QStringLiteral("acct@example")));
        QTRY_COMPARE(
            controller->throttleNotice(),
            std::optional(QStringLiteral("This worker is throttled: no computing all day.")));
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::registered(kOwner));
        QCOMPARE(fixture.count("oneshots", "owner"), 1);
        QVERIFY(controller->sandboxes().isEmpty()); // no evaluator, no task-info poll
        QCOMPARE(fixture.service.hits(kTaskInfo), 0);

        controller->setManualOverride(true);
        QTRY_COMPARE(controller->sandboxes().size(), 1);
        QCOMPARE(controller->sandboxes().first(), (SandboxProgress{"job-b", "job-b", 3, 4, 75.0}));
        QCOMPARE(controller->sandboxModel()->rowCount(), 1);
        QTRY_VERIFY(fetched.count() >= 1);

        // A document that fails to parse empties the list on that cycle.
        fixture.service.answer(kTaskInfo, 200, "w={};\n");
        QTRY_VERIFY(controller->sandboxes().isEmpty());
        fixture.service.answer(
            kTaskInfo, 200,
            R"(w={"tasks":[{"jobs":{"job-b":{"slicesDone":3,"slicesLeft":[1]}}}]})");
        QTRY_COMPARE(controller->sandboxes().size(), 1);

        controller->setManualOverride(false);
        QVERIFY(controller->sandboxes().isEmpty()); // cleared at once on stop
        QTRY_VERIFY(!controller->evaluatorsRunning());
        // The metrics sampler keeps reading task-info on its own; the rows' poll is gone.
        QTest::qWait(100);
        QVERIFY(controller->sandboxes().isEmpty());
        Fixture::stop(controller);
    }

    void serviceExitClearsFiguresUntilTheRelaunchAnswers() {
        Fixture fixture;
        auto controller = fixture.start();
        QTRY_COMPARE(controller->totalEarnings(), 12.0);
        QTRY_COMPARE(fixture.count("starts", "service"), 1);

        fixture.service.setRoute(kHud, {200, {}, true}); // the relaunched service is slow to answer
        // The scaled relaunch (40 ms) can beat a polling check, so record every change.
        QList<bool> runningSeen;
        connect(controller.get(), &WorkerController::serviceRunningChanged, this,
                [&] { runningSeen.append(controller->serviceRunning()); });
        killService(*controller);
        QTRY_VERIFY(runningSeen.contains(false));
        QCOMPARE(controller->totalEarnings(), 0.0);
        QCOMPARE(controller->earningsAccount(), std::nullopt);
        QCOMPARE(controller->workerURL(), std::nullopt);

        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        QTRY_VERIFY(fixture.service.hits(kHud) >= 2);
        const int runInfoHits = fixture.service.hits(kRunInfo);
        QTest::qWait(100);
        QCOMPARE(controller->totalEarnings(), 0.0); // the old run-info poll is gone
        QCOMPARE(fixture.service.hits(kRunInfo), runInfoHits);

        fixture.service.answer(kHud, 200, "<html/>");
        QTRY_COMPARE(controller->totalEarnings(), 12.0);
        QVERIFY(controller->workerURL());
        Fixture::stop(controller);
    }

    void registrationRestartsTheServiceLater() {
        Fixture fixture;
        DiagnosticCapture diagnostics;
        auto controller = fixture.start();
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::registered(kOwner));
        QTRY_COMPARE(fixture.count("starts", "service"), 1);

        const QString key = QStringLiteral("SECRET-KEY-4711");
        QSignalSpy statuses(controller.get(), &WorkerController::registrationStatusChanged);
        controller->registerWorker(key);
        QCOMPARE(controller->registrationStatus(), RegistrationStatus::registering());
        // "Registration complete" counts even with exit status 1.
        QTRY_VERIFY(controller->isApplyingRegistration());
        QTRY_VERIFY(!controller->serviceRunning());
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::registered(kOwner));
        QVERIFY(statuses.count() >= 3); // registering, checking, registered
        QVERIFY(!controller->evaluatorShouldRun());

        // Held: no relaunch until the restart delay has passed.
        QTest::qWait(300);
        QCOMPARE(fixture.count("starts", "service"), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!controller->isApplyingRegistration(), 5000);
        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        QVERIFY(controller->serviceRunning());
        QVERIFY(!controller->holdServiceRelaunch());
        Fixture::stop(controller);

        // The key went to the worker program's command line only.
        for (const QString& line : diagnostics.lines())
            QVERIFY2(!line.contains(key), qPrintable(line));
        QDirIterator files(fixture.root.path(), QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.fileName().startsWith(fixture.bin()))
                continue; // the fake worker's own files
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(key.toUtf8()), qPrintable(file.fileName()));
        }
    }

    void registrationFailures_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("message");
        QTest::newRow("silent exit 2") << QByteArray("exit 2\n") << "Registration failed (exit 2)";
        QTest::newRow("output is the message")
            << QByteArray("echo ' Key mismatch '; exit 0\n") << "Key mismatch";
    }
    void registrationFailures() {
        QFETCH(QByteArray, script);
        QFETCH(QString, message);
        Fixture fixture;
        Fixture::write(fixture.bin() + "/register.sh", script);
        auto controller = fixture.start();
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        controller->registerWorker(QString()); // an empty key does nothing
        QCOMPARE(controller->registrationStatus().kind, Kind::registered);
        controller->registerWorker(QStringLiteral("k"));
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::failed(message));
        QVERIFY(!controller->isApplyingRegistration());
        QVERIFY(controller->serviceRunning());
        Fixture::stop(controller);
    }

    void resetRunsOnceAndRestartsTheService() {
        Fixture fixture;
        auto controller = fixture.start();
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        QTRY_COMPARE(fixture.count("starts", "service"), 1);
        Fixture::write(fixture.bin() + "/owner.txt", "");

        controller->resetWorkerId();
        controller->resetWorkerId();
        QVERIFY(controller->isResettingWorkerId());
        QTRY_VERIFY(!controller->isResettingWorkerId());
        QCOMPARE(fixture.count("oneshots", "reset"), 1);
        // No local storage: nothing backed up, no error; the owner is checked again.
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::notRegistered());
        QVERIFY(!QFileInfo::exists(fixture.home() + "/.vxr/vxr-worker/backups"));
        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        QVERIFY(controller->serviceRunning());
        QVERIFY(!controller->holdServiceRelaunch());
        Fixture::stop(controller);
    }

    void resetReportsAFailedBackup() {
        Fixture fixture;
        Fixture::write(fixture.home() + "/.vxr/localStorage/id.json", "{}");
        // Backups named for this second and the next ones exist already, as after a
        // reset moments ago.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int s = 0; s < 5; ++s) {
            const QString stamp = now.addSecs(s).toString(Qt::ISODate).replace(':', '-');
            QVERIFY(
                QDir().mkpath(fixture.home() + "/.vxr/vxr-worker/backups/localStorage-" + stamp));
        }
        auto controller = fixture.start();
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        controller->resetWorkerId();
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::failed);
        QVERIFY2(
            controller->registrationStatus().text.startsWith("Reset done, but backup failed: ") &&
                controller->registrationStatus().text.endsWith("File exists"),
            qPrintable(controller->registrationStatus().text));
        QTRY_VERIFY(controller->serviceRunning());
        Fixture::stop(controller);
    }

    void resetGoesOnWhenTheServiceWillNotExit() {
        Fixture fixture;
        QByteArray script = kWorkerScript;
        script.replace("exec sleep 600", "trap '' TERM\nexec sleep 600");
        Fixture::write(fixture.bin() + "/vxr-worker.sh", script, true);
        auto controller = fixture.start();
        QTRY_COMPARE(fixture.count("starts", "service"), 1);
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        const qint64 stuck = controller->serviceProcess()->pid();

        controller->resetWorkerId();
        QTRY_VERIFY(!controller->isResettingWorkerId()); // after the bounded wait
        QCOMPARE(fixture.count("oneshots", "reset"), 1);
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        // No second service beside the one still running...
        QTest::qWait(100);
        QCOMPARE(fixture.count("starts", "service"), 1);
        QCOMPARE(controller->serviceProcess()->pid(), stuck);
        // ...and once it does end, the relaunch is no longer held.
        ::kill(pid_t(stuck), SIGKILL);
        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        const qint64 relaunched = controller->serviceProcess()->pid();
        controller->shutdownForQuit();
        QTest::qWait(50);
        ::kill(pid_t(relaunched), SIGKILL); // it ignores the polite request too
        QTRY_VERIFY(!controller->serviceRunning());
    }

    // A service exit arms the relaunch; a reset pressed before it fires launches the
    // service itself when done. The armed relaunch must not add a second one.
    void resetJustAfterAServiceExitLeavesOneService() {
        Fixture fixture;
        Timing timing = Timing{}.scaled(0.02);
        timing.serviceRelaunchDelay = Millis(400);
        auto controller = fixture.start(timing);
        QTRY_COMPARE(fixture.count("starts", "service"), 1);
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        killService(*controller);
        QTRY_VERIFY(controller->isServiceRelaunchPending());
        controller->resetWorkerId();
        QVERIFY(!controller->isServiceRelaunchPending());
        QTRY_VERIFY(!controller->isResettingWorkerId());
        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        QTest::qWait(int(timing.serviceRelaunchDelay.count()) * 2);
        QCOMPARE(fixture.count("starts", "service"), 2);
        QCOMPARE(fixture.liveServices(), 1);
        Fixture::stop(controller);
        QTRY_COMPARE(fixture.liveServices(), 0);
    }

    // The identity needs the whole settle time after the last registration.
    void secondRegistrationRestartsTheSettleTime() {
        Fixture fixture;
        Timing timing = Timing{}.scaled(0.02);
        timing.registrationRestartDelay = Millis(1500);
        auto controller = fixture.start(timing);
        QTRY_COMPARE(fixture.count("starts", "service"), 1);
        controller->registerWorker(QStringLiteral("first"));
        QTRY_VERIFY(controller->isApplyingRegistration());
        QTest::qWait(700);
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        controller->registerWorker(QStringLiteral("second"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.count("starts", "service"), 2, 5000);
        QVERIFY2(sinceSecond.elapsed() >= 1350,
                 qPrintable(QStringLiteral("relaunched %1 ms after the second registration")
                                .arg(sinceSecond.elapsed())));
        QVERIFY(!controller->isApplyingRegistration());
        Fixture::stop(controller);
    }

    // One-shots that never end are stopped, reported, and release what they held.
    void hungOneShotsFailAndReleaseEverything() {
        Fixture fixture;
        Fixture::write(fixture.bin() + "/reset.sh", "exec sleep 600\n");
        Fixture::write(fixture.bin() + "/register.sh", "trap '' TERM\nexec sleep 600\n");
        Timing timing = Timing{}.scaled(0.02);
        timing.oneShotTimeout = Millis(400);
        auto controller = fixture.start(timing);
        QTRY_COMPARE(controller->registrationStatus().kind, Kind::registered);
        const QString timedOut = oneShotTimeoutMessage(timing.oneShotTimeout);

        controller->registerWorker(QStringLiteral("k"));
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::failed(timedOut));
        QVERIFY(controller->serviceRunning());

        controller->resetWorkerId();
        QVERIFY(controller->holdServiceRelaunch());
        QTRY_VERIFY(!controller->isResettingWorkerId());
        QCOMPARE(controller->registrationStatus(), RegistrationStatus::failed(timedOut));
        QVERIFY(!controller->holdServiceRelaunch());
        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        QVERIFY(controller->serviceRunning());
        Fixture::stop(controller);
    }

    // In a crash loop every launch asks for the throttle schedule; a hung answer must
    // not collect a process per launch.
    void hungShowCommandRunsOnceAtATime() {
        Fixture fixture;
        Fixture::write(fixture.bin() + "/show-throttle.sh", "exec sleep 600\n");
        Timing timing = Timing{}.scaled(0.02);
        timing.showCommandTimeout = Millis(20000);
        auto controller = fixture.start(timing);
        for (int launch = 2; launch <= 4; ++launch) {
            QTRY_COMPARE(fixture.count("starts", "service"), launch - 1);
            QTRY_VERIFY(controller->serviceRunning());
            killService(*controller);
            QTRY_COMPARE(fixture.count("starts", "service"), launch);
        }
        QCOMPARE(fixture.count("oneshots", "throttle"), 1);
        Fixture::stop(controller);
    }

    // Quit asks, waits a bounded time, then ends what is left, grandchildren too.
    void quitEndsChildrenThatIgnoreTheRequest() {
        Fixture fixture;
        QByteArray script = kWorkerScript;
        script.replace("exec sleep 600",
                       "trap '' TERM\nsleep 600 &\necho $! > \"$dir/grandchild\"\nwait\nwait");
        Fixture::write(fixture.bin() + "/vxr-worker.sh", script, true);
        Fixture::write(fixture.bin() + "/vxr-evaluator.sh",
                       "#!/bin/sh\ntrap '' TERM\nexec sleep 600\n", true);
        Timing timing = Timing{}.scaled(0.02);
        timing.quitGracePeriod = Millis(300);
        auto controller = fixture.start(timing);
        controller->setManualOverride(true);
        QTRY_VERIFY(QFileInfo::exists(fixture.bin() + "/grandchild"));
        QTRY_COMPARE(fixture.liveServices(), 1);
        QTest::qWait(100); // the traps are set
        const qint64 evaluator = controller->evaluatorProcess()->pid();
        QFile grandchildFile(fixture.bin() + "/grandchild");
        QVERIFY(grandchildFile.open(QIODevice::ReadOnly));
        const qint64 grandchild = grandchildFile.readAll().trimmed().toLongLong();

        DiagnosticCapture diagnostics;
        QElapsedTimer clock;
        clock.start();
        controller->shutdownForQuit();
        QVERIFY(clock.elapsed() >= 250 && clock.elapsed() < 3000);
        QCOMPARE(fixture.liveServices(), 0);
        QVERIFY(!Fixture::processAlive(evaluator));
        QTRY_VERIFY(!Fixture::processAlive(grandchild));
        QCOMPARE(diagnostics.lines().filter("killed ").size(), 1);
        QVERIFY2(diagnostics.containsPrefix("killed 3 worker process"),
                 qPrintable(diagnostics.lines().join('\n')));
    }

    void relaunchReplacesAStatusPollStillWaiting() {
        Fixture fixture;
        fixture.service.setRoute(kHud, {200, {}, true}); // never answers
        Timing timing = Timing{}.scaled(0.02);
        timing.statusRequestTimeout = Millis(20000);
        auto controller = fixture.start(timing);
        QTRY_COMPARE(fixture.service.openConnections(), 1);
        // A reset holds the relaunch, so the service exit leaves the status poll
        // running; the relaunch after the reset must replace it, not add a second.
        QTRY_COMPARE(fixture.count("starts", "service"), 1);
        controller->resetWorkerId();
        QTRY_COMPARE(fixture.count("starts", "service"), 2);
        QTRY_COMPARE(fixture.service.hits(kHud), 2);
        QTRY_COMPARE(fixture.service.openConnections(), 1);
        QCOMPARE(controller->findChildren<StatusPoll*>().size(), 1);
        Fixture::stop(controller);
    }
};

QTEST_GUILESS_MAIN(TestControllerInterface)
#include "test_controller_interface.moc"
