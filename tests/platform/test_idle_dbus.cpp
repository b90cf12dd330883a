#include "platform/idle/dbus_idle_source.h"
#include "platform/idle/idle_source_chain.h"

#include "platform/child_guard.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <ctime>
#include <mutex>
#include <variant>

using namespace vxr;

namespace {

const QString kMutter = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/c7");

qint64 monotonicMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Plays the three desktop services on the private bus. Calls may arrive on the bus
// thread, so the settings are atomics.
class FakeIdleServices : public QDBusVirtualObject {
public:
    enum class Mode { answer, wrongType, silent };

    std::atomic<quint64> idleMs{0};
    std::atomic<Mode> mode{Mode::answer};
    std::atomic<bool> knowsOurPid{true};
    std::atomic<bool> logindIdle{false};
    std::atomic<qint64> logindIdleSinceUs{0};
    // A busy desktop answers late: replies leave this long after the question.
    std::atomic<int> replyDelayMs{0};

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member = message.member();
        if (mode == Mode::silent)
            return true;
        QDBusMessage reply;
        if (member == "GetIdletime" && message.path() == "/org/gnome/Mutter/IdleMonitor/Core") {
            reply = mode == Mode::wrongType ? message.createReply(QString("12"))
                                            : message.createReply(quint64(idleMs));
        } else if (member == "GetSessionIdleTime" && message.path() == "/ScreenSaver") {
            reply = mode == Mode::wrongType ? message.createReply(true)
                                            : message.createReply(uint(idleMs));
        } else if (member == "GetSessionByPID") {
            reply = knowsOurPid
                        ? message.createReply(QVariant::fromValue(QDBusObjectPath(kSessionPath)))
                        : message.createErrorReply("org.freedesktop.login1.NoSessionForPID",
                                                   "no session");
        } else if (member == "GetSession" && message.arguments().value(0).toString() == "c7") {
            reply = message.createReply(QVariant::fromValue(QDBusObjectPath(kSessionPath)));
        } else if (member == "GetAll" && message.path() == kSessionPath) {
            QVariantMap properties{{"IdleHint", bool(logindIdle)},
                                   {"IdleSinceHintMonotonic", quint64(logindIdleSinceUs)},
                                   {"Name", QString("user")}};
            reply = message.createReply(QVariant(properties));
        } else {
            reply = message.createErrorReply(QDBusError::UnknownMethod, member);
        }
        if (replyDelayMs > 0) {
            QTimer::singleShot(replyDelayMs.load(),
                               [connection, reply]() mutable { connection.send(reply); });
        } else {
            connection.send(reply);
        }
        return true;
    }
};

} // namespace

class TestIdleDbus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_daemon.setProgram("dbus-daemon");
        m_daemon.setArguments({"--session", "--nofork", "--print-address=1"});
        endWithTestProcess(m_daemon);
        m_daemon.start();
        if (!m_daemon.waitForStarted(5000))
            QSKIP("dbus-daemon cannot be started here");
        QTRY_VERIFY(m_daemon.canReadLine());
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_service = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, "vxr-fake-services"));
        m_client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, "vxr-idle-client"));
        QVERIFY(m_service->isConnected() && m_client->isConnected());
        QVERIFY(m_service->registerVirtualObject("/", &m_fake, QDBusConnection::SubPath));
        // The fake lives on its own thread so the client's bounded blocking probe on
        // this thread can be answered.
        m_thread.start();
        m_fake.moveToThread(&m_thread);
    }

    void init() {
        m_fake.idleMs = 0;
        m_fake.mode = FakeIdleServices::Mode::answer;
        m_fake.knowsOurPid = true;
        m_fake.logindIdle = false;
        m_fake.replyDelayMs = 0;
        for (const QString& name : {kMutter, kScreenSaver, kLogind})
            m_service->unregisterService(name);
    }

    void cleanupTestCase() {
        if (m_service)
            m_service->unregisterObject("/");
        m_thread.quit();
        m_thread.wait();
        m_service.reset();
        m_client.reset();
        QDBusConnection::disconnectFromBus("vxr-fake-services");
        QDBusConnection::disconnectFromBus("vxr-idle-client");
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void millisecondSourcesAnswerFromTheLatestReply_data() {
        QTest::addColumn<QString>("service");
        QTest::newRow("GNOME Mutter") << kMutter;
        QTest::newRow("ScreenSaver") << kScreenSaver;
    }
    void millisecondSourcesAnswerFromTheLatestReply() {
        QFETCH(QString, service);
        auto source = makeSource(service);
        QVERIFY(!source->probe(500)); // name not owned yet

        QVERIFY(m_service->registerService(service));
        m_fake.idleMs = 12345;
        QVERIFY(source->probe(500));
        QCOMPARE(source->name(), QString(QTest::currentDataTag()));

        // A read never waits: it returns the reply already in hand and asks again.
        m_fake.idleMs = 250;
        QCOMPARE(source->idleSeconds(), std::optional<double>(12.345));
        QTRY_COMPARE(source->idleSeconds(), std::optional<double>(0.25));

        // The service going away turns into "cannot tell", not a stale value.
        QVERIFY(m_service->unregisterService(service));
        QTRY_COMPARE(source->idleSeconds(), std::optional<double>());
    }

    // A decision reads the idle time of its own moment, even when every answer comes
    // late; a silent service gives "cannot tell" within the read's short timeout.
    void readingsAreTakenWhenAsked() {
        QVERIFY(m_service->registerService(kMutter));
        auto source = makeSource(kMutter);
        m_fake.replyDelayMs = 150;
        // The reading, or the text "no answer" when none came.
        const auto read = [&]() -> std::variant<QString, std::optional<double>> {
            std::optional<std::optional<double>> result;
            QObject context;
            source->readIdleSeconds(&context, [&](std::optional<double> s) { result = s; });
            if (!QTest::qWaitFor([&] { return result.has_value(); }, 3000))
                return QStringLiteral("no answer");
            return *result;
        };
        using Reading = std::variant<QString, std::optional<double>>;
        m_fake.idleMs = 600000;
        QCOMPARE(read(), Reading(std::optional<double>(600.0)));
        m_fake.idleMs = 40; // the user came back
        QCOMPARE(read(), Reading(std::optional<double>(0.04)));
        QCOMPARE(source->idleSeconds(), std::optional<double>(0.04));

        m_fake.mode = FakeIdleServices::Mode::silent;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(read(), Reading(std::optional<double>()));
        QVERIFY(timer.elapsed() < DbusIdleSource::kReadTimeoutMs + 1000);

        // Nobody left to tell: no call back.
        m_fake.mode = FakeIdleServices::Mode::answer;
        bool called = false;
        {
            QObject gone;
            source->readIdleSeconds(&gone, [&](std::optional<double>) { called = true; });
        }
        QTest::qWait(400);
        QVERIFY(!called);
    }

    void unusableOrSilentServiceIsNotChosen_data() {
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("mode");
        QTest::newRow("Mutter wrong type") << kMutter << int(FakeIdleServices::Mode::wrongType);
        QTest::newRow("ScreenSaver wrong type")
            << kScreenSaver << int(FakeIdleServices::Mode::wrongType);
        QTest::newRow("Mutter silent") << kMutter << int(FakeIdleServices::Mode::silent);
    }
    void unusableOrSilentServiceIsNotChosen() {
        QFETCH(QString, service);
        QFETCH(int, mode);
        QVERIFY(m_service->registerService(service));
        m_fake.mode = FakeIdleServices::Mode(mode);
        auto source = makeSource(service);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!source->probe(300));
        QVERIFY(timer.elapsed() < 2000);
        timer.restart();
        QCOMPARE(source->idleSeconds(), std::optional<double>());
        QVERIFY2(timer.elapsed() < 100, "a read must not wait for the service");
    }

    void logindReportsTheSessionIdleHint() {
        QVERIFY(m_service->registerService(kLogind));
        LogindIdleSource source(*m_client, QString());
        QVERIFY(source.probe(500));
        QCOMPARE(source.sessionPath(), kSessionPath);
        QCOMPARE(source.idleSeconds(), std::optional<double>(0.0));

        m_fake.logindIdleSinceUs = monotonicMicroseconds() - 90 * 1000000LL;
        m_fake.logindIdle = true;
        QTRY_VERIFY(source.idleSeconds().value_or(0) >= 90.0);
        QVERIFY(*source.idleSeconds() < 100.0);
    }

    void logindFallsBackToTheSessionId() {
        QVERIFY(m_service->registerService(kLogind));
        m_fake.knowsOurPid = false;
        QVERIFY(!LogindIdleSource(*m_client, QString()).probe(500));
        LogindIdleSource source(*m_client, "c7");
        QVERIFY(source.probe(500));
        QCOMPARE(source.sessionPath(), kSessionPath);
    }

    // The real chain on the private bus (as both session and system bus), no displays.
    void chainPicksTheFirstServiceThatAnswers_data() {
        QTest::addColumn<QStringList>("owned");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("nothing") << QStringList{} << "none";
        QTest::newRow("logind only") << QStringList{kLogind} << "logind";
        QTest::newRow("ScreenSaver before logind")
            << QStringList{kLogind, kScreenSaver} << "ScreenSaver";
        QTest::newRow("Mutter first")
            << QStringList{kLogind, kScreenSaver, kMutter} << "GNOME Mutter";
    }
    void chainPicksTheFirstServiceThatAnswers() {
        QFETCH(QStringList, owned);
        QFETCH(QString, chosen);
        for (const QString& name : owned)
            QVERIFY(m_service->registerService(name));
        IdleProbeEnvironment environment;
        environment.sessionBus = *m_client;
        environment.systemBus = *m_client;
        environment.x11Display.clear();
        environment.waylandDisplay.clear();
        environment.sessionType = "tty";
        auto source = makeIdleTimeSource(environment);
        QCOMPARE(source->name(), chosen);
        QCOMPARE(isIdleDetectionAvailable(*source), chosen != "none");
    }

private:
    std::unique_ptr<DbusIdleSource> makeSource(const QString& service) {
        if (service == kMutter)
            return std::make_unique<MutterIdleSource>(*m_client);
        return std::make_unique<ScreenSaverIdleSource>(*m_client);
    }

    QProcess m_daemon;
    QThread m_thread;
    FakeIdleServices m_fake;
    std::unique_ptr<QDBusConnection> m_service;
    std::unique_ptr<QDBusConnection> m_client;
};

QTEST_GUILESS_MAIN(TestIdleDbus)
#include "test_idle_dbus.moc"
