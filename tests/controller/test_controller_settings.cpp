#include "controller/worker_controller.h"
#include "platform/autostart_entry.h"
#include "platform/power_source.h"
#include "platform/settings_store.h"
#include "support/fake_worker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vxr;
using namespace vxr::test;

namespace {
// Plugged in or not, as the test says.
class ScriptedPowerSource : public PowerSource {
public:
    bool battery = false;
    [[nodiscard]] bool onBattery() const override { return battery; }
    [[nodiscard]] bool hasBattery() const override { return true; }
    void unplug(bool unplugged) {
        battery = unplugged;
        emit changed();
    }
};
} // namespace

class TestControllerSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<WorkerController> makeController(const QTemporaryDir& root,
                                                     const FakeWorkerDir& bin) {
        return std::make_unique<WorkerController>(testEnvironment(root.path(), bin.path()));
    }
    static QString settingsFile(const QTemporaryDir& root) {
        return AppPaths::underRoot(root.path()).settingsFile;
    }
    static void store(const QTemporaryDir& root, const QByteArray& json) {
        QDir().mkpath(QFileInfo(settingsFile(root)).absolutePath());
        QFile file(settingsFile(root));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(json);
    }

private slots:
    void emptyStoreGivesDefaultsAndStaysEmpty() {
        QTemporaryDir root;
        FakeWorkerDir bin;
        auto controller = makeController(root, bin);
        QCOMPARE(controller->joinGlobalGroup(), true);
        QCOMPARE(controller->memoryCapPercent(), 50.0);
        QCOMPARE(controller->yieldToOtherApps(), true);
        QCOMPARE(controller->memoryHeadroomGB(), 1.5);
        QCOMPARE(controller->maxSandboxes(), 4); // performanceCores of the test environment
        QCOMPARE(controller->enableWebGPU(), true);
        QCOMPARE(controller->idleRestrictionEnabled(), false);
        QCOMPARE(controller->idleThresholdMinutes(), 5.0);
        QCOMPARE(controller->manualOverride(), false);
        QVERIFY(!QFile::exists(settingsFile(root)));
        controller->shutdownForQuit();
    }

    void storedValuesFollowTheTypeRules_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("join");
        QTest::addColumn<double>("cap");
        QTest::addColumn<bool>("yield");
        QTest::addColumn<double>("headroom");
        QTest::addColumn<int>("sandboxes");
        QTest::newRow("honoured") << QByteArray(
                                         R"({"joinGlobalGroup": false, "memoryCapPercent": 70,
            "yieldToOtherApps": false, "memoryHeadroomGB": 2.5, "maxSandboxes": 3})")
                                  << false << 70.0 << false << 2.5 << 3;
        QTest::newRow("wrong types fall back") << QByteArray(R"({"memoryCapPercent": "70",
            "yieldToOtherApps": "no", "memoryHeadroomGB": true, "maxSandboxes": "3"})")
                                               << true << 50.0 << true << 1.5 << 4;
        QTest::newRow("fractional sandbox count falls back")
            << QByteArray(R"({"maxSandboxes": 2.5})") << true << 50.0 << true << 1.5 << 4;
        QTest::newRow("join reads strings and numbers leniently")
            << QByteArray(R"({"joinGlobalGroup": "NO"})") << false << 50.0 << true << 1.5 << 4;
        QTest::newRow("join number zero")
            << QByteArray(R"({"joinGlobalGroup": 0})") << false << 50.0 << true << 1.5 << 4;
        // What the screen could never set falls back too (8 processors in the test).
        QTest::newRow("bounds themselves are honoured")
            << QByteArray(R"({"memoryCapPercent": 90, "memoryHeadroomGB": 0.5, "maxSandboxes": 8})")
            << true << 90.0 << true << 0.5 << 8;
        QTest::newRow("above the bounds falls back")
            << QByteArray(
                   R"({"memoryCapPercent": 1000, "memoryHeadroomGB": 4.5, "maxSandboxes": 100000})")
            << true << 50.0 << true << 1.5 << 4;
        QTest::newRow("below the bounds falls back")
            << QByteArray(R"({"memoryCapPercent": 10, "memoryHeadroomGB": -1, "maxSandboxes": 0})")
            << true << 50.0 << true << 1.5 << 4;
        QTest::newRow("huge and negative fall back")
            << QByteArray(
                   R"({"memoryCapPercent": 1e308, "memoryHeadroomGB": 1e308, "maxSandboxes": -5})")
            << true << 50.0 << true << 1.5 << 4;
    }
    void storedValuesFollowTheTypeRules() {
        QFETCH(QByteArray, json);
        QTemporaryDir root;
        FakeWorkerDir bin;
        store(root, json);
        QFile file(settingsFile(root));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        auto controller = makeController(root, bin);
        QTEST(controller->joinGlobalGroup(), "join");
        QTEST(controller->memoryCapPercent(), "cap");
        QTEST(controller->yieldToOtherApps(), "yield");
        QTEST(controller->memoryHeadroomGB(), "headroom");
        QTEST(controller->maxSandboxes(), "sandboxes");
        controller->shutdownForQuit();
        file.seek(0);
        QCOMPARE(file.readAll(), before); // reading never writes
    }

    void changesAreStoredWithTheirTypes() {
        QTemporaryDir root;
        FakeWorkerDir bin;
        auto controller = makeController(root, bin);
        controller->setMaxSandboxes(7);
        controller->setMemoryCapPercent(60);
        controller->setJoinGlobalGroup(false);
        controller->shutdownForQuit();

        SettingsStore store(settingsFile(root));
        QCOMPARE(storedInteger(*store.value(QStringLiteral("maxSandboxes"))), 7);
        QCOMPARE(storedDouble(*store.value(QStringLiteral("memoryCapPercent"))), 60.0);
        // A memory change stores all three memory settings.
        QCOMPARE(storedBool(*store.value(QStringLiteral("yieldToOtherApps"))), true);
        QCOMPARE(storedDouble(*store.value(QStringLiteral("memoryHeadroomGB"))), 1.5);
        QCOMPARE(store.value(QStringLiteral("joinGlobalGroup"))->typeId(), int(QMetaType::Bool));

        auto reread = makeController(root, bin);
        QCOMPARE(reread->maxSandboxes(), 7);
        QCOMPARE(reread->memoryCapPercent(), 60.0);
        QCOMPARE(reread->joinGlobalGroup(), false);
        reread->shutdownForQuit();
    }

    void writingTheCurrentValueWritesAndRestartsNothing() {
        QTemporaryDir root;
        FakeWorkerDir bin;
        auto controller = makeController(root, bin);
        QTRY_COMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        QSignalSpy spy(controller.get(), &WorkerController::maxSandboxesChanged);
        controller->setMaxSandboxes(controller->maxSandboxes());
        controller->setMemoryCapPercent(50);
        controller->setYieldToOtherApps(true);
        controller->setMemoryHeadroomGB(1.5);
        controller->setJoinGlobalGroup(true);
        QTest::qWait(100); // several debounce periods at this timing
        QVERIFY(!QFile::exists(settingsFile(root)));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(bin.starts(QStringLiteral("service")).size(), 1);
        controller->shutdownForQuit();
    }

    // The idle rule is remembered only while the app starts at login, and brought back
    // only for a start at login.
    void startAtLoginRestoresTheIdleRuleOnlyForAStartAtLogin() {
        QTemporaryDir root;
        FakeWorkerDir bin;
        const QString entry = AppPaths::underRoot(root.path()).autostartFile;
        auto controller = makeController(root, bin);
        controller->setIdleRestrictionEnabled(true);
        QVERIFY(!controller->startAtLogin());
        QVERIFY(!SettingsStore(settingsFile(root)).value("loginIdleRestrictionEnabled"));
        controller->setStartAtLogin(true);
        QVERIFY(controller->startAtLogin());
        QVERIFY(autostart::isEnabled(entry));
        controller->setIdleThresholdMinutes(10);
        controller->shutdownForQuit();
        controller.reset();

        const auto start = [&](bool atLogin) {
            ControllerEnvironment env = testEnvironment(root.path(), bin.path());
            env.startedAtLogin = atLogin;
            return std::make_unique<WorkerController>(env);
        };
        controller = start(false); // by hand: the defaults
        QCOMPARE(controller->idleRestrictionEnabled(), false);
        QCOMPARE(controller->idleThresholdMinutes(), 5.0);
        controller->shutdownForQuit();
        controller = start(true);
        QCOMPARE(controller->idleRestrictionEnabled(), true);
        QCOMPARE(controller->idleThresholdMinutes(), 10.0);

        controller->setStartAtLogin(false);
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!SettingsStore(settingsFile(root)).value("loginIdleThresholdMinutes"));
        controller->shutdownForQuit();
        controller = start(true); // an old entry started it: nothing is stored any more
        QCOMPARE(controller->idleRestrictionEnabled(), false);
        controller->shutdownForQuit();
    }

    // On battery the idle rule starts nothing and stops what it started, at once; a
    // manual start still runs; the setting off lets the idle rule run on battery.
    void batteryPausesTheIdleRuleOnly() {
        QTemporaryDir root;
        FakeWorkerDir bin;
        ControllerEnvironment env = testEnvironment(root.path(), bin.path());
        auto idle = std::make_shared<double>(600);
        env.makeIdleTimeSource = [idle] { return std::make_unique<ScriptedIdleSource>(idle); };
        ScriptedPowerSource* power = nullptr;
        env.makePowerSource = [&power] {
            auto source = std::make_unique<ScriptedPowerSource>();
            power = source.get();
            return source;
        };
        WorkerController controller(env);
        QVERIFY(controller.hasBattery() && controller.pauseOnBattery());
        controller.setIdleRestrictionEnabled(true);
        QTRY_VERIFY(controller.evaluatorsRunning());

        power->unplug(true);
        QVERIFY(controller.onBattery() && controller.pausedOnBattery());
        QTRY_VERIFY(!controller.evaluatorsRunning());
        QTest::qWait(50); // idle ticks go on: still nothing starts
        QVERIFY(!controller.evaluatorsRunning() && !controller.isStopping());

        controller.setManualOverride(true);
        QTRY_VERIFY(controller.evaluatorsRunning());
        power->unplug(false);
        power->unplug(true);
        QVERIFY(controller.evaluatorsRunning()); // the user asked for it
        controller.setManualOverride(false);
        QTRY_VERIFY(!controller.evaluatorsRunning());

        controller.setPauseOnBattery(false);
        QTRY_VERIFY(controller.evaluatorsRunning());
        controller.shutdownForQuit();
        QVERIFY(SettingsStore(settingsFile(root)).value("pauseOnBattery") == QVariant(false));
    }

    void corruptSettingsFileIsSetAsideAndDefaultsUsed() {
        QTemporaryDir root;
        FakeWorkerDir bin;
        store(root, "{\"maxSandboxes\": 3,,");
        auto controller = makeController(root, bin);
        QCOMPARE(controller->maxSandboxes(), 4);
        controller->setMaxSandboxes(5);
        controller->shutdownForQuit();
        const QStringList aside = QFileInfo(settingsFile(root))
                                      .dir()
                                      .entryList({QStringLiteral("*.unreadable-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
    }

    // What a hand or a prank leaves where the app keeps its files: a FIFO (a plain open
    // blocks until a writer comes), a link to a device that never ends, a file over
    // the cap. Start-up goes on with defaults, and the thing is moved aside, not lost.
    void plantedStoredFilesAreSetAsideUnread_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        const QString settings = QStringLiteral("settings");
        const QString history = QStringLiteral("job-history.json");
        const QString fifo = QStringLiteral("fifo");
        const QString zero = QStringLiteral("zero");
        QTest::newRow("settings FIFO") << settings << fifo;
        QTest::newRow("settings to /dev/zero") << settings << zero;
        QTest::newRow("settings over the cap") << settings << QStringLiteral("big");
        QTest::newRow("history FIFO") << history << fifo;
        QTest::newRow("history to /dev/zero") << history << zero;
        QTest::newRow("dismissals FIFO") << QStringLiteral("job-history-dismissed.json") << fifo;
    }
    void plantedStoredFilesAreSetAsideUnread() {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QTemporaryDir root;
        FakeWorkerDir bin;
        const AppPaths paths = AppPaths::underRoot(root.path());
        const QString path =
            file == "settings" ? paths.settingsFile : paths.appSupportDir + u'/' + file;
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        const QByteArray big =
            R"({"maxSandboxes": 3)" + QByteArray(SettingsStore::kMaxFileBytes, ' ') + "}";
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "zero")
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        else
            store(root, big);

        QElapsedTimer clock;
        clock.start();
        auto controller = makeController(root, bin);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(controller->maxSandboxes(), 4);
        QVERIFY(controller->jobHistory()->jobs().isEmpty());
        controller->setMaxSandboxes(5);
        controller->jobHistory()->saveNow();
        controller->shutdownForQuit();

        const QFileInfoList aside = QFileInfo(path).dir().entryInfoList(
            {QFileInfo(path).fileName() + ".unreadable-*"}, QDir::System | QDir::Files);
        QCOMPARE(aside.size(), 1);
        if (kind == "zero")
            QCOMPARE(aside.first().symLinkTarget(), QStringLiteral("/dev/zero"));
        else if (kind == "big")
            QCOMPARE(aside.first().size(), big.size());
        if (file == "settings")
            QCOMPARE(storedInteger(*SettingsStore(path).value("maxSandboxes")), 5);
    }
};

QTEST_GUILESS_MAIN(TestControllerSettings)
#include "test_controller_settings.moc"
