// Notifications: a crash loop told once, not once per exit; the click opens the
// screen that matters. A fake notification server on a private bus.

#include "app/notifier.h"
#include "controller/worker_controller.h"
#include "platform/desktop_notifications.h"

#include "support/fake_worker.h"
#include "support/private_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

namespace {

class FakeNotificationServer : public QDBusVirtualObject {
public:
    QStringList summaries;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify"))
            return false;
        summaries << message.arguments().value(3).toString();
        connection.send(message.createReply(uint(summaries.size())));
        return true;
    }
};

} // namespace

class TestNotifier : public QObject {
    Q_OBJECT

private slots:
    void crashLoopIsToldOncePerLoop() {
        CrashLoopWatch watch;
        const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1'000'000);
        watch.started(t0);
        QVERIFY(!watch.exited(t0.addSecs(1)));
        QVERIFY(!watch.exited(t0.addSecs(2)));
        QVERIFY(watch.exited(t0.addSecs(3)));
        QVERIFY(!watch.exited(t0.addSecs(4))); // the same loop
        watch.started(t0.addSecs(5));
        QVERIFY(!watch.exited(t0.addSecs(30))); // ran under a minute: still that loop
        watch.started(t0.addSecs(100));
        QVERIFY(!watch.exited(t0.addSecs(161))); // ran a minute: well again
        QVERIFY(!watch.exited(t0.addSecs(162)));
        QVERIFY(watch.exited(t0.addSecs(163)));
        // Exits spread wider than a minute are no loop.
        CrashLoopWatch slow;
        QVERIFY(!slow.exited(t0) && !slow.exited(t0.addSecs(40)));
        QVERIFY(!slow.exited(t0.addSecs(90)));
    }

    void crashingServiceNotifiesOnceAndTheClickOpensAScreen() {
        test::PrivateBus bus;
        if (bus.address().isEmpty())
            QSKIP("dbus-daemon cannot be started here");
        const QString address = bus.address();
        QDBusConnection server = QDBusConnection::connectToBus(address, "fake-notifications");
        QDBusConnection app = QDBusConnection::connectToBus(address, "notifying-app");
        FakeNotificationServer fake;
        QVERIFY(server.registerVirtualObject("/org/freedesktop/Notifications", &fake));
        QVERIFY(server.registerService("org.freedesktop.Notifications"));

        {
            QTemporaryDir root;
            test::FakeWorkerDir bin;
            bin.setService("exit 3"); // relaunched every 20 ms, exits every time
            WorkerController controller(test::testEnvironment(root.path(), bin.path()));
            DesktopNotifications notifications(app);
            Notifier notifier(&controller, &notifications);
            QSignalSpy open(&notifier, &Notifier::openRequested);
            QTRY_VERIFY(bin.starts("service").size() >= 6);
            QTRY_COMPARE(fake.summaries, QStringList{"The worker service keeps stopping"});

            QDBusMessage click = QDBusMessage::createSignal(
                "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
            click << uint(1) << QStringLiteral("default");
            QVERIFY(server.send(click));
            QTRY_COMPARE(open.size(), 1);
            // The log it points at needs a page; without one the user lands Home.
            QCOMPARE(open.first().first().value<NavTab>(), NavTab::home);

            controller.setShowNotifications(false);
            controller.registerWorker("key"); // fails: the script's empty answer
            QTest::qWait(200);
            QCOMPARE(fake.summaries.size(), 1);
            controller.shutdownForQuit();
        }
        server.unregisterObject("/org/freedesktop/Notifications");
        QDBusConnection::disconnectFromBus("fake-notifications");
        QDBusConnection::disconnectFromBus("notifying-app");
    }
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "test_notifier.moc"
