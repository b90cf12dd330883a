#include "platform/idle/wayland_idle_source.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

namespace {

// The test compositor, on a socket in a private runtime directory.
class Compositor {
public:
    bool start(const QStringList& options = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_process.setProcessEnvironment(environment);
        m_process.start(FAKE_IDLE_COMPOSITOR, QStringList{"wl-idle-test"} + options);
        return m_process.waitForStarted(5000) && readLine(5000) == "ready";
    }
    ~Compositor()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    [[nodiscard]] QByteArray socket() const { return m_runtime.filePath("wl-idle-test").toLocal8Bit(); }
    void send(const QByteArray& line) { m_process.write(line + "\n"); m_process.waitForBytesWritten(1000); }
    QByteArray readLine(int timeoutMs)
    {
        if (!m_process.canReadLine())
            m_process.waitForReadyRead(timeoutMs);
        return m_process.readLine().trimmed();
    }
    void stop()
    {
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
    void followsIdledAndResumedEvents()
    {
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

    void compositorWithoutNotifierIsNotUsed()
    {
        Compositor compositor;
        QVERIFY(compositor.start({"--no-notifier"}));
        QVERIFY(!WaylandIdleSource::connect(compositor.socket()));
        QVERIFY(!WaylandIdleSource::connect("/nonexistent/wayland-socket"));
    }

    void lostCompositorMeansCannotTell()
    {
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
