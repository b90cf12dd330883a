// The tray: without a tray host the window shows; when a host appears later the
// app moves into the tray, whose menu follows the home button. Runs on a private
// dbus-daemon started before the application connects to any bus.

#include "app/app_shell.h"
#include "app/detached_window.h"
#include "app/shell_rules.h"
#include "platform/settings_store.h"
#include "support/screen_controller.h"

#include <QAction>
#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

using namespace vxr;

// Just enough of a desktop's StatusNotifierWatcher to say a host is there.
class FakeWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

class FakeWatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    explicit FakeWatcherAdaptor(FakeWatcher* parent)
        : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
public slots:
    void RegisterStatusNotifierItem(const QString&) {}
};

class TestTrayHost : public QObject {
    Q_OBJECT

private slots:
    void movesIntoTheTrayWhenAHostAppears() {
        vxr::test::ScreenController controller;
        controller->setIdleRestrictionEnabled(true);
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.start();
        QVERIFY(!shell.hasTrayIcon());
        QVERIFY(shell.detachedWindow()->window()); // no tray: the window instead

        QDBusConnection desktop = QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("desktop"));
        // On a thread of its own: the app asks it with blocking calls.
        QThread desktopThread;
        desktopThread.start();
        FakeWatcher watcher;
        new FakeWatcherAdaptor(&watcher);
        watcher.moveToThread(&desktopThread);
        QVERIFY(desktop.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                       QDBusConnection::ExportAdaptors));
        QVERIFY(desktop.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QTRY_VERIFY(shell.hasTrayIcon());

        // Progress alone leaves the icon as it is (each new icon goes to the tray host
        // again); the evaluator starting or stopping redraws it.
        using vxr::test::ControllerAccess;
        const qint64 idleIcon = shell.trayIcon().cacheKey();
        for (qint64 done : {1, 2, 3})
            ControllerAccess::setSandboxes(*controller, {{"job", "job", done, 8, done * 12.5}});
        QCOMPARE(shell.trayIcon().cacheKey(), idleIcon);
        ControllerAccess::setEvaluatorsRunning(*controller, true);
        QVERIFY(shell.trayIcon().cacheKey() != idleIcon);
        ControllerAccess::setEvaluatorsRunning(*controller, false);
        ControllerAccess::setSandboxes(*controller, {});

        // The menu's first entry is the home button: same label, same press.
        QMenu* menu = shell.trayMenu();
        QVERIFY(menu);
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.first()->text(), "Start computing");
        actions.first()->trigger();
        QVERIFY(controller->manualOverride());
        QCOMPARE(actions.first()->text(), "Resume automatic start");
        QTRY_VERIFY(shell.trayToolTip().endsWith("Computing"));
        ControllerAccess::setIsStopping(*controller, true);
        QCOMPARE(shell.trayToolTip(), "VXR Worker\nStopping…");
        QCOMPARE(actions.first()->text(), "Stopping…");
        QVERIFY(!actions.first()->isEnabled());
        QStringList texts;
        for (QAction* action : actions)
            texts << action->text();
        QVERIFY(texts.contains("Open in a window"));
        QVERIFY(texts.contains("Quit VXR Worker"));

        // With a tray: the very first start shows the window once; later starts, and
        // starts at login, stay in the tray.
        QTemporaryDir dir;
        vxr::SettingsStore store(dir.filePath("settings.json"));
        const auto windowShown = [&](AppShell::StartMode mode) {
            AppShell next(controller.get(), nullptr, &store);
            next.start(mode);
            return next.detachedWindow()->window() != nullptr;
        };
        QVERIFY(!windowShown(AppShell::StartMode::hidden));
        QVERIFY(windowShown(AppShell::StartMode::normal));
        QVERIFY(!windowShown(AppShell::StartMode::normal));
        desktop.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        desktop.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        desktopThread.quit();
        desktopThread.wait();
    }

    void trayImageScaledAndDimmed() {
        QImage logo(64, 32, QImage::Format_ARGB32_Premultiplied);
        logo.fill(QColor(0, 164, 115));
        const QImage running = AppShell::trayImage(logo, 22, true);
        const QImage idle = AppShell::trayImage(logo, 22, false);
        QCOMPARE(running.size(), QSize(44, 22)); // aspect ratio kept
        QCOMPARE(idle.size(), QSize(44, 22));
        QCOMPARE(qAlpha(running.pixel(10, 10)), 255);
        QVERIFY(qAbs(qAlpha(idle.pixel(10, 10)) - 102) <= 1); // 0.4 opacity
    }
};

int main(int argc, char* argv[]) {
    // The bus must be ours before anything in the app connects to one.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) {
        std::fprintf(stderr, "dbus-daemon is needed\n");
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
    int result = 0;
    {
        QApplication app(argc, argv);
        TestTrayHost test;
        result = QTest::qExec(&test, argc, argv);
    }
    daemon.terminate();
    daemon.waitForFinished(5000);
    return result;
}

#include "test_tray_host.moc"
