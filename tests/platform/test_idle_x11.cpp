#include "platform/idle/idle_source_chain.h"
#include "platform/idle/x11_idle_source.h"

#include "platform/child_guard.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace vxr;

namespace {

// An Xvfb on a display number it picks itself (several test runs may share a machine).
class VirtualX {
public:
    ~VirtualX() { stop(); }

    bool start() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            return false;
        endWithTestProcess(m_server);
        m_server.start("Xvfb",
                       {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
        if (!m_server.waitForStarted(5000))
            return false;
        for (int waited = 0; !m_server.canReadLine() && waited < 100; ++waited)
            m_server.waitForReadyRead(100);
        const QByteArray number = m_server.readLine().trimmed();
        if (number.isEmpty())
            return false;
        m_display = ":" + number;
        return true;
    }

    void stop() {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        m_server.waitForFinished(5000);
    }

    [[nodiscard]] QByteArray display() const { return m_display; }

    bool moveMouse(int x, int y) const {
        QProcess xdotool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", QString::fromLatin1(m_display));
        xdotool.setProcessEnvironment(environment);
        xdotool.start("xdotool", {"mousemove", QString::number(x), QString::number(y)});
        return xdotool.waitForFinished(5000) && xdotool.exitCode() == 0;
    }

private:
    QProcess m_server;
    QByteArray m_display;
};

} // namespace

class TestIdleX11 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!m_x.start())
            QSKIP("no X server can be started here (Xvfb missing or failing)");
    }

    void inputResetsTheIdleTime() {
        auto source = X11IdleSource::open(m_x.display());
        QVERIFY(source);
        QCOMPARE(source->name(), QStringLiteral("X11"));
        QTRY_VERIFY(source->idleSeconds().value_or(0) >= 0.6);
        QVERIFY(m_x.moveMouse(10, 20));
        QTRY_VERIFY(source->idleSeconds().value_or(99) < 0.5);
        QTRY_VERIFY(source->idleSeconds().value_or(0) >= 0.6);
        QVERIFY(m_x.moveMouse(30, 40));
        QTRY_VERIFY(source->idleSeconds().value_or(99) < 0.5);
    }

    void chainUsesX11OnlyOnAnX11Session() {
        IdleProbeEnvironment environment;
        environment.sessionBus = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/vxr-bus"), QStringLiteral("vxr-none"));
        environment.systemBus = environment.sessionBus;
        environment.x11Display = m_x.display();
        environment.sessionType = "x11";
        environment.waylandDisplay.clear();
        QCOMPARE(makeIdleTimeSource(environment)->name(), QStringLiteral("X11"));

        // Same X server, but the session is Wayland: Xwayland would miss native input.
        environment.sessionType = "wayland";
        QVERIFY(!isIdleDetectionAvailable(*makeIdleTimeSource(environment)));
    }

    void missingDisplayOpensNothing() {
        QVERIFY(!X11IdleSource::open(":9999"));
        QVERIFY(!X11IdleSource::open(""));
    }

    // The server dies under an open source: Xlib's default would end the process.
    void lostServerIsNotFatal() {
        VirtualX own;
        if (!own.start())
            QSKIP("no second X server");
        auto source = X11IdleSource::open(own.display());
        QVERIFY(source);
        QVERIFY(source->idleSeconds().has_value());
        own.stop();
        QCOMPARE(source->idleSeconds(), std::optional<double>());
        QCOMPARE(source->idleSeconds(), std::optional<double>());
        source.reset();
    }

private:
    VirtualX m_x;
};

QTEST_GUILESS_MAIN(TestIdleX11)
#include "test_idle_x11.moc"
