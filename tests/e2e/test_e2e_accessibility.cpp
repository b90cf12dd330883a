// Start, Stop and the Logs tab pressed the way a screen reader or a UI script presses
// them: through the accessibility bus, on a real (virtual) X server, against the real
// program.

#include "e2e/app_harness.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>

using namespace e2e;

namespace {

constexpr char kPython[] = "/usr/bin/python3";

// A virtual X server of our own on the first free display number.
class VirtualDisplay {
public:
    VirtualDisplay() = default;
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    ~VirtualDisplay() {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(3000))
                m_server.kill();
            m_server.waitForFinished(3000);
        }
    }

    bool start() {
        endWithTestProcess(m_server, SIGTERM);
        // -displayfd: the server picks a free number and writes it once it accepts clients.
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
        if (!m_server.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_server.canReadLine() && clock.elapsed() < 10000 &&
               m_server.state() == QProcess::Running)
            m_server.waitForReadyRead(100);
        const QByteArray number = m_server.readLine().trimmed();
        if (number.isEmpty())
            return false;
        m_name = QStringLiteral(":") + QString::fromLatin1(number);
        return true;
    }

    [[nodiscard]] QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

// Processes the bus started on demand (the accessibility bus launcher, its daemon and
// registry) carry the bus's address in their environment.
QList<qint64> processesOfBus(const QString& address) {
    const QByteArray marker = "DBUS_SESSION_BUS_ADDRESS=" + address.toUtf8();
    QList<qint64> found;
    for (qint64 pid : allPids()) {
        if (pid != ::getpid() && alive(pid) &&
            procFile(pid, "environ").split('\0').contains(marker))
            found.append(pid);
    }
    return found;
}

bool pythonHasAccessibility() {
    QProcess probe;
    probe.start(QLatin1String(kPython), {QStringLiteral("-c"), QStringLiteral("import pyatspi")});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

} // namespace

class TestE2EAccessibility : public QObject {
    Q_OBJECT

private:
    VirtualDisplay m_display;
    SessionBus m_bus;

    // Presses the first showing, enabled button named one of `names`; returns the name
    // it had, or an empty string with the script's complaint in `error`.
    QString press(qint64 pid, const QStringList& names, QByteArray* error) {
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        env.insert(QStringLiteral("DISPLAY"), m_display.name());
        script.setProcessEnvironment(env);
        endWithTestProcess(script, SIGKILL);
        script.start(QLatin1String(kPython),
                     QStringList{QStringLiteral(VXR_E2E_SOURCE_DIR "/atspi_press.py"),
                                 QString::number(pid)} +
                         names);
        if (!script.waitForFinished(30000)) {
            script.kill();
            script.waitForFinished(3000);
        }
        *error = script.readAllStandardError();
        return script.exitCode() == 0 ? QString::fromUtf8(script.readAllStandardOutput()).trimmed()
                                      : QString();
    }

    QString workerURL() {
        QDBusMessage get = QDBusMessage::createMethodCall(
            QLatin1String(kServiceName), QLatin1String(kObjectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("network.quorbel.vxrworker.Control1") << QStringLiteral("WorkerURL");
        const QDBusMessage reply = m_bus.connection().call(get, QDBus::Block, 5000);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }

    static int webEngineChildren(qint64 appPid) {
        int count = 0;
        for (qint64 pid : allPids()) {
            const QByteArray stat = procFile(pid, "stat");
            const qsizetype close = stat.lastIndexOf(')');
            if (close > 0 && stat.mid(close + 4).split(' ').value(0).toLongLong() == appPid &&
                procFile(pid, "comm").startsWith("QtWebEngine"))
                ++count;
        }
        return count;
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(builtProgram()), "build VXRWorker first");
        if (!QFileInfo::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")) ||
            !pythonHasAccessibility())
            QSKIP("the accessibility bus cannot run here (at-spi2-core and python3-pyatspi are "
                  "needed)");
        QVERIFY2(m_display.start(), "Xvfb is needed");
        QVERIFY2(m_bus.start(), "dbus-daemon is needed");
    }

    void cleanupTestCase() {
        const QString address = m_bus.address();
        m_bus.stop();
        // The accessibility bus ends with the session bus it served. Anything left is
        // ended here, so a failure leaves nothing behind either.
        QElapsedTimer clock;
        clock.start();
        while (!processesOfBus(address).isEmpty() && clock.elapsed() < 5000)
            QTest::qWait(100);
        const QList<qint64> left = processesOfBus(address);
        for (qint64 pid : left)
            ::kill(pid_t(pid), SIGKILL);
        QVERIFY2(left.isEmpty(), "the accessibility bus outlived its session bus");
    }

    void startAndStopPressedThroughAccessibility() {
        AppHarness app;
        app.setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        app.setEnv(QStringLiteral("DISPLAY"), m_display.name());
        app.setEnv(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        QVERIFY(app.start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(app.services().size(), 1, 10000);
        QVERIFY(m_bus.action(QStringLiteral("show"))); // the button is in the panel
        QCOMPARE(app.evaluators().size(), 0);

        // "Auto" while idle restriction is on (the default), "Start" when it is off.
        QByteArray error;
        const QString pressed =
            press(app.pid(), {QStringLiteral("Auto"), QStringLiteral("Start")}, &error);
        if (pressed.isEmpty())
            app.report();
        QVERIFY2(!pressed.isEmpty(), error.constData());
        QTRY_COMPARE_WITH_TIMEOUT(app.evaluators().size(), 1, 5000);
        const Invocation evaluator = app.evaluators().first();
        QCOMPARE(evaluator.ppid, app.pid());

        // The same button now reads "Stop"; pressing it ends the evaluator, politely.
        QCOMPARE(press(app.pid(), {QStringLiteral("Stop")}, &error), QStringLiteral("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("evaluator exited (requested), status 15"),
                                 5000);
        QVERIFY(!alive(evaluator.pid));
        QCOMPARE(app.evaluators().size(), 1);

        // The log page starts the web engine inside windows drawn in software, on X. Its
        // tab opens once the service's address is known.
        QTRY_VERIFY_WITH_TIMEOUT(!workerURL().isEmpty(), 15000);
        QCOMPARE(press(app.pid(), {QStringLiteral("Logs")}, &error), QStringLiteral("Logs"));
        QTRY_VERIFY_WITH_TIMEOUT(webEngineChildren(app.pid()) > 0 || !alive(app.pid()), 20000);
        QVERIFY(alive(app.pid()));

        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(app.waitForExit(10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestE2EAccessibility)
#include "test_e2e_accessibility.moc"
