#include "platform/idle/wayland_idle_source.h"

#include "platform/child_guard.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

namespace {

// The test compositor, on a socket in a private runtime directory.
class Compositor {
public:
    bool start(const QStringList& options = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_process.setProcessEnvironment(environment);
        endWithTestProcess(m_process);
        m_process.start(FAKE_IDLE_COMPOSITOR, QStringList{"wl-idle-test"} + options);
        return m_process.waitForStarted(5000) && readLine(5000) == "ready";
    }
    ~Compositor() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    [[nodiscard]] QByteArray socket() const {
        return m_runtime.filePath("wl-idle-test").toLocal8Bit();
    }
    void send(const QByteArray& line) {
        m_process.write(line + "\n");
        m_process.waitForBytesWritten(1000);
    }
    QByteArray readLine(int timeoutMs) {
        if (!m_process.canReadLine())
            m_process.waitForReadyRead(timeoutMs);
        return m_process.readLine().trimmed();
    }
    void stop() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_process;
};

} // namespace

class TestIdleWayland : public QObject {
    Q_OBJECT
private slots:
    void followsIdledAndResumedEvents() {
        Compositor compositor;
        QVERIFY(compositor.start());
        auto source = WaylandIdleSource::connect(compositor.socket(), 200);
        QVERIFY(source);
        QCOMPARE(source->name(), QStringLiteral("Wayland"));
        QCOMPARE(compositor.readLine(3000), QByteArray("notification 200"));
        QCOMPARE(source->idleSeconds(), std::optional<double>(0.0));

        // idled means the last input was one timeout ago; the time then keeps growing.
        compositor.send("idle");
        QTRY_VERIFY(source->idleSeconds().value_or(0) >= 0.2);
        const double first = *source->idleSeconds();
        QVERIFY(first < 1.0);
        QTRY_VERIFY(source->idleSeconds().value_or(0) >= first + 0.1);

        compositor.send("resume");
        QTRY_COMPARE(source->idleSeconds(), std::optional<double>(0.0));
    }

    void compositorWithoutNotifierIsNotUsed() {
        Compositor compositor;
        QVERIFY(compositor.start({"--no-notifier"}));
        QVERIFY(!WaylandIdleSource::connect(compositor.socket()));
        QVERIFY(!WaylandIdleSource::connect("/nonexistent/wayland-socket"));
    }

    // A real compositor when one is installed (Debian's KWin has the idle notifier and
    // a virtual backend; Weston 10 and sway 1.7 lack the protocol).
    void realCompositorSendsIdled() {
        QString kwin = QStandardPaths::findExecutable("kwin_wayland");
        if (kwin.isEmpty())
            QSKIP("no kwin_wayland installed; the test compositor covers the protocol");
        QTemporaryDir home;
        QDir(home.path()).mkpath("runtime");
        QFile::setPermissions(home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // KWin is installed with file capabilities, which a container may refuse to
        // honour on exec; a plain copy runs without them.
        if (!QFile::copy(kwin, home.filePath("kwin_wayland")))
            QSKIP("cannot copy kwin_wayland");
        kwin = home.filePath("kwin_wayland");

        QProcess bus;
        endWithTestProcess(bus);
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus.waitForStarted(5000))
            QSKIP("no dbus-daemon for KWin");
        QTRY_VERIFY(bus.canReadLine());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(name);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(bus.readLine()).trimmed());
        environment.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        QProcess compositor;
        compositor.setProcessEnvironment(environment);
        compositor.setProcessChannelMode(QProcess::MergedChannels);
        endWithTestProcess(compositor);
        compositor.start(kwin, {"--virtual", "--socket", "wl-kwin-test", "--no-lockscreen",
                                "--no-global-shortcuts", "--no-kactivities"});
        const auto stopAll = qScopeGuard([&] {
            compositor.terminate();
            if (!compositor.waitForFinished(5000))
                compositor.kill();
            compositor.waitForFinished(2000);
            bus.terminate();
            bus.waitForFinished(2000);
        });
        if (!compositor.waitForStarted(5000))
            QSKIP("kwin_wayland does not start here");
        const QString socket = home.filePath("runtime/wl-kwin-test");
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(socket) || compositor.state() == QProcess::NotRunning, 10000);
        if (compositor.state() == QProcess::NotRunning)
            QSKIP(
                qPrintable("kwin_wayland exited: " + QString::fromLocal8Bit(compositor.readAll())));

        std::unique_ptr<WaylandIdleSource> source;
        QTRY_VERIFY_WITH_TIMEOUT((source = WaylandIdleSource::connect(socket.toLocal8Bit(), 300)),
                                 5000);
        // Nobody touches the virtual seat, so it goes idle one timeout after creation.
        QTRY_VERIFY_WITH_TIMEOUT(source->idleSeconds().value_or(0) >= 0.3, 5000);
    }

    void lostCompositorMeansCannotTell() {
        Compositor compositor;
        QVERIFY(compositor.start());
        auto source = WaylandIdleSource::connect(compositor.socket());
        QVERIFY(source);
        compositor.stop();
        QTRY_COMPARE(source->idleSeconds(), std::optional<double>());
    }
};

QTEST_GUILESS_MAIN(TestIdleWayland)
#include "test_idle_wayland.moc"
