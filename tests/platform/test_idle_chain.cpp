#include "platform/idle/idle_notification_tracker.h"
#include "platform/idle/idle_source_chain.h"

#include <QTest>

using namespace vxr;

namespace {

class FixedSource : public IdleTimeSource {
public:
    explicit FixedSource(QString name)
        : m_name(std::move(name)) {}
    [[nodiscard]] QString name() const override { return m_name; }
    [[nodiscard]] std::optional<double> idleSeconds() override { return 1.0; }

private:
    QString m_name;
};

QStringList probeNames(const std::vector<IdleSourceProbe>& probes) {
    QStringList names;
    for (const IdleSourceProbe& probe : probes)
        names.append(probe.name);
    return names;
}

} // namespace

class TestIdleChain : public QObject {
    Q_OBJECT
private slots:
    // Scripted notification events: "i@t" idled at t ms, "r@t" resumed at t ms.
    void trackerTurnsEventsIntoIdleTime_data() {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<qint64>("queryMs");
        QTest::addColumn<double>("expected");
        QTest::newRow("no event yet") << QStringList{} << qint64(50000) << 0.0;
        QTest::newRow("just idled: the timeout has passed")
            << QStringList{"i@5000"} << qint64(5000) << 1.0;
        QTest::newRow("idle keeps growing") << QStringList{"i@5000"} << qint64(305000) << 301.0;
        QTest::newRow("resumed resets") << QStringList{"i@5000", "r@9000"} << qint64(9500) << 0.0;
        QTest::newRow("idle again counts from the new input")
            << QStringList{"i@5000", "r@9000", "i@20000"} << qint64(30000) << 11.0;
        QTest::newRow("a repeated idled does not move the input")
            << QStringList{"i@5000", "i@8000"} << qint64(10000) << 6.0;
        QTest::newRow("clock before the event gives 0, not negative")
            << QStringList{"i@5000"} << qint64(3000) << 0.0;
    }
    void trackerTurnsEventsIntoIdleTime() {
        QFETCH(QStringList, events);
        QFETCH(qint64, queryMs);
        QFETCH(double, expected);
        IdleNotificationTracker tracker(1000);
        for (const QString& event : events) {
            const qint64 at = event.mid(2).toLongLong();
            if (event.startsWith('i'))
                tracker.idled(at);
            else
                tracker.resumed(at);
        }
        QCOMPARE(tracker.idleSeconds(queryMs), expected);
    }

    void firstAnsweringProbeWins() {
        QStringList asked;
        const auto probe = [&](const QString& name, bool answers) {
            return IdleSourceProbe{name,
                                   [&asked, name, answers]() -> std::unique_ptr<IdleTimeSource> {
                                       asked.append(name);
                                       if (!answers)
                                           return nullptr;
                                       return std::make_unique<FixedSource>(name);
                                   }};
        };
        auto source = selectIdleTimeSource({probe("a", false), probe("b", true), probe("c", true)});
        QCOMPARE(source->name(), QStringLiteral("b"));
        QCOMPARE(asked, (QStringList{"a", "b"}));
        QVERIFY(isIdleDetectionAvailable(*source));
    }

    void noAnswerMeansUnavailableAndNeverIdle() {
        auto source = selectIdleTimeSource({{"a", [] { return nullptr; }}});
        QVERIFY(!isIdleDetectionAvailable(*source));
        QCOMPARE(source->idleSeconds(), std::optional<double>(0.0));
        QCOMPARE(source->name(), QStringLiteral("none"));
        QVERIFY(idleDetectionUnavailableText().startsWith("Idle detection is not available"));
    }

    void probeOrderFollowsTheSession_data() {
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("sessionType");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("x11 session") << QByteArray() << QByteArray("x11")
                                     << QStringList{"GNOME Mutter", "X11", "ScreenSaver", "logind"};
        QTest::newRow("wayland session")
            << QByteArray("wayland-0") << QByteArray("wayland")
            << QStringList{"GNOME Mutter", "Wayland", "ScreenSaver", "logind"};
        // Xwayland's DISPLAY is set on a Wayland session too; XScreenSaver there would
        // only see X11 windows.
        QTest::newRow("wayland display without session type")
            << QByteArray("wayland-1") << QByteArray()
            << QStringList{"GNOME Mutter", "Wayland", "ScreenSaver", "logind"};
        QTest::newRow("wayland session type without display")
            << QByteArray() << QByteArray("Wayland")
            << QStringList{"GNOME Mutter", "ScreenSaver", "logind"};
    }
    void probeOrderFollowsTheSession() {
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, sessionType);
        QFETCH(QStringList, order);
        IdleProbeEnvironment environment;
        environment.x11Display = ":0";
        environment.waylandDisplay = waylandDisplay;
        environment.sessionType = sessionType;
        QCOMPARE(probeNames(defaultIdleSourceProbes(environment)), order);
    }

    void nothingReachableIsUnavailable() {
        IdleProbeEnvironment environment;
        environment.sessionBus = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/vxr-bus"), QStringLiteral("vxr-none-session"));
        environment.systemBus = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/vxr-bus"), QStringLiteral("vxr-none-system"));
        environment.x11Display = ":9999";
        environment.waylandDisplay = "/nonexistent/vxr-wayland-socket";
        environment.sessionType = "x11";
        auto source = makeIdleTimeSource(environment);
        QVERIFY(!isIdleDetectionAvailable(*source));
    }
};

QTEST_GUILESS_MAIN(TestIdleChain)
#include "test_idle_chain.moc"
