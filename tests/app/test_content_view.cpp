// The shell's windows against the real controller: tab enablement and switching, the
// home button, and the detached window's lifecycle and saved frame.

#include "app/app_shell.h"
#include "app/content_window.h"
#include "app/detached_window.h"
#include "app/shell_rules.h"
#include "platform/settings_store.h"
#include "support/screen_controller.h"

#include <QAccessible>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

using namespace vxr;
using test::ControllerAccess;
using test::ScreenController;

class TestContentView : public QObject {
    Q_OBJECT

private:
    // Through the visual tree: Loader and Repeater items are not QObject children.
    static QQuickItem* findIn(QQuickItem* item, const QString& name) {
        if (item->objectName() == name)
            return item;
        for (QQuickItem* child : item->childItems()) {
            if (QQuickItem* found = findIn(child, name))
                return found;
        }
        return nullptr;
    }
    static QQuickItem* find(QQuickWindow* window, const char* name) {
        return window ? findIn(window->contentItem(), QLatin1String(name)) : nullptr;
    }
    static void click(QQuickWindow* window, QQuickItem* item) {
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, {}, centre.toPoint());
    }

private slots:
    void logsTabFollowsWorkerURL() {
        ScreenController controller;
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.showDetached(NavTab::home);
        ContentWindow* window = shell.detachedWindow()->window();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* logs = find(window, "navTab4");
        QVERIFY(logs);
        QVERIFY(!logs->isEnabled());
        QCOMPARE(logs->opacity(), 0.35);

        ControllerAccess::setWorkerURL(
            *controller, QUrl(QStringLiteral("http://127.0.0.1:1/hud/small-dark.html")));
        QVERIFY(logs->isEnabled());
        QCOMPARE(logs->opacity(), 1.0);
        click(window, logs);
        QTRY_COMPARE(window->tab(), int(NavTab::logs));

        // The service went away while the user looked at its log.
        ControllerAccess::setWorkerURL(*controller, QUrl());
        QCOMPARE(window->tab(), int(NavTab::home));
        QVERIFY(!logs->isEnabled());

        // Losing the URL elsewhere leaves the tab alone.
        window->setTab(int(NavTab::about));
        ControllerAccess::setWorkerURL(*controller, QUrl(QStringLiteral("http://127.0.0.1:1/x")));
        ControllerAccess::setWorkerURL(*controller, QUrl());
        QCOMPARE(window->tab(), int(NavTab::about));
    }

    void homeButton() {
        ScreenController controller;
        controller->setIdleRestrictionEnabled(true);
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.showDetached(NavTab::home);
        QQuickWindow* window = shell.detachedWindow()->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* button = find(window, "crosshairButton");
        QVERIFY(button);
        QCOMPARE(button->property("text").toString(), "Auto");
        const qreal width = button->width();

        click(window, button);
        QTRY_COMPARE(button->property("text").toString(), "Stop");
        QVERIFY(controller->manualOverride());
        QVERIFY(controller->evaluatorsRunning());

        ControllerAccess::setIsStopping(*controller, true);
        QCOMPARE(button->property("text").toString(), "Stopping…");
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->width(), width); // sized for the longest label
        click(window, button);
        QVERIFY(controller->manualOverride());

        ControllerAccess::setIsStopping(*controller, false);
        click(window, button);
        QVERIFY(!controller->manualOverride());
        QTRY_COMPARE(button->property("text").toString(), "Auto");
        QVERIFY(!controller->evaluatorsRunning());
    }

    void homeShowsState() {
        ScreenController controller;
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.showDetached(NavTab::home);
        QQuickWindow* window = shell.detachedWindow()->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* banner = find(window, "throttleBanner");
        auto* sandboxes = find(window, "sandboxes");
        QVERIFY(banner && sandboxes);
        QVERIFY(!banner->isVisible());
        QCOMPARE(sandboxes->property("count").toInt(), 0);

        ControllerAccess::setThrottleNotice(*controller, QStringLiteral("Throttled until 18:00"));
        ControllerAccess::setSandboxes(
            *controller, {test::sandbox("job-a", 1, 2), test::sandbox("job-b", 0, 5)});
        QVERIFY(banner->isVisible());
        QCOMPARE(sandboxes->property("count").toInt(), 2);
        ControllerAccess::setThrottleNotice(*controller, QString());
        QVERIFY(!banner->isVisible());
    }

    // No worker programs: Home says where it looked, and Start is off.
    void homeWithoutWorkerPrograms() {
        ScreenController controller({.workerPrograms = false});
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.showDetached(NavTab::home);
        QQuickWindow* window = shell.detachedWindow()->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QQuickItem* missing = find(window, "programsMissing");
        QVERIFY(missing && missing->isVisible());
        QVERIFY(!find(window, "crosshairButton")->isEnabled());
        QVERIFY(missing->childItems().first()->property("text").toString().endsWith(
            controller->binDir()));
    }

    // Screen readers and accessibility-driven automation see every button by name,
    // and their press action really presses it.
    void buttonsAreAccessible() {
        ScreenController controller;
        ControllerAccess::setWorkerURL(*controller, QUrl(QStringLiteral("http://127.0.0.1:1/x")));
        AppShell shell(controller.get(), nullptr, nullptr);
        for (NavTab tab : {NavTab::home, NavTab::about, NavTab::settings}) {
            shell.showDetached(tab);
            QQuickWindow* window = shell.detachedWindow()->window();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QList<QQuickItem*> pending{window->contentItem()};
            int buttons = 0;
            while (!pending.isEmpty()) {
                QQuickItem* item = pending.takeFirst();
                pending += item->childItems();
                if (!item->inherits("QQuickAbstractButton") || !item->isVisible())
                    continue;
                ++buttons;
                QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(item);
                QVERIFY(iface);
                QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), qPrintable(item->objectName()));
            }
            QVERIFY(buttons >= 7); // six tabs and quit at least
        }

        shell.showDetached(NavTab::home);
        ContentWindow* window = shell.detachedWindow()->window();
        QAccessibleInterface* home =
            QAccessible::queryAccessibleInterface(find(window, "crosshairButton"));
        QVERIFY(home && home->actionInterface());
        QCOMPARE(home->role(), QAccessible::Button);
        home->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(controller->manualOverride());

        // Disabled controls ignore the press: Start while stopping, Logs without a page.
        ControllerAccess::setIsStopping(*controller, true);
        home->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTest::qWait(50);
        QVERIFY(controller->manualOverride());
        ControllerAccess::setWorkerURL(*controller, QUrl());
        QAccessibleInterface* logs = QAccessible::queryAccessibleInterface(find(window, "navTab4"));
        QVERIFY(logs && logs->actionInterface());
        logs->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTest::qWait(50);
        QCOMPARE(window->tab(), int(NavTab::home));

        QAccessibleInterface* about =
            QAccessible::queryAccessibleInterface(find(window, "navTab5"));
        QVERIFY(about && about->actionInterface());
        QCOMPARE(about->text(QAccessible::Name), "About");
        about->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(window->tab(), int(NavTab::about));
    }

    // A hidden panel costs no CPU: the grid stops drifting and the logo stops
    // pulsing until the panel shows again.
    void animationsStopWhileHidden() {
        ScreenController controller;
        ControllerAccess::setEvaluatorsRunning(*controller, true);
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.togglePanel();
        QQuickWindow* panel = shell.panel();
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QQuickItem* grid = find(panel, "gridBackground");
        QVERIFY(grid);
        const int start = grid->property("offset").toInt();
        QTRY_VERIFY(grid->property("offset").toInt() != start);
        QVERIFY(grid->property("windowShown").toBool());

        shell.togglePanel();
        QVERIFY(!panel->isVisible());
        QVERIFY(!grid->property("windowShown").toBool());
        const int hidden = grid->property("offset").toInt();
        QTest::qWait(1200); // more than two drift steps
        QCOMPARE(grid->property("offset").toInt(), hidden);

        shell.togglePanel();
        QTRY_VERIFY(grid->property("offset").toInt() != hidden);
    }

    // A panel hidden for a while is released; the next press builds one on the same tab.
    void hiddenPanelIsReleased() {
        ScreenController controller;
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.setPanelReleaseDelay(std::chrono::milliseconds(50));
        shell.togglePanel();
        QPointer<ContentWindow> first = shell.panel();
        QVERIFY(first);
        first->setTab(int(NavTab::jobs));
        QTest::qWait(100); // shown: kept however long
        QCOMPARE(shell.panel(), first.data());
        shell.togglePanel();
        QTRY_VERIFY(!first);
        QVERIFY(!shell.panel());
        shell.togglePanel();
        QVERIFY(shell.panel());
        QCOMPARE(shell.panel()->tab(), int(NavTab::jobs));
        QVERIFY(shell.panel()->isVisible());
    }

    // Every screen against the real controller and what it owns, through the state a
    // working worker publishes: a renamed or retyped property shows up as a QML warning.
    void everyScreenLoadsWithoutAWarning() {
        ScreenController controller;
        AppShell shell(controller.get(), nullptr, nullptr);
        QList<QQmlError> warnings;
        connect(shell.engine(), &QQmlEngine::warnings, this,
                [&warnings](const QList<QQmlError>& list) { warnings += list; });
        const auto showEveryTab = [&] {
            for (int tab = 0; tab < navTabCount; ++tab) {
                shell.showDetached(NavTab(tab));
                QVERIFY(QTest::qWaitForWindowExposed(shell.detachedWindow()->window()));
                QCOMPARE(shell.detachedWindow()->window()->tab(), tab);
            }
        };
        ControllerAccess::setWorkerURL(*controller, QUrl(QStringLiteral("http://127.0.0.1:1/x")));
        showEveryTab();

        ControllerAccess::setServiceRunning(*controller, true);
        ControllerAccess::setEvaluatorsRunning(*controller, true);
        ControllerAccess::setEarnings(*controller, 1.5, QStringLiteral("0xa1b2c3d4e5f60718"));
        ControllerAccess::setThrottleNotice(*controller, QStringLiteral("Throttled"));
        ControllerAccess::setSandboxes(*controller, {test::sandbox("job-a", 1, 2)});
        ControllerAccess::setRegistrationStatus(*controller,
                                                RegistrationStatus::failed("owner mismatch"));
        ControllerAccess::setMemory(*controller->memoryGovernor(), {16, 8, 1, 6}, 16);
        MetricHistory cpu;
        cpu.add(50);
        ControllerAccess::setHistories(*controller->metricsSampler(), cpu, cpu, cpu, 10, 20);
        showEveryTab();
        for (const QQmlError& warning : warnings)
            qWarning() << warning.toString();
        QVERIFY(warnings.isEmpty());
    }

    // Ctrl+1…6 switch tabs, Ctrl+Q quits, Ctrl+W closes the window; the home button
    // shows where the keyboard focus is and Enter presses it.
    void keyboard() {
        ScreenController controller;
        AppShell shell(controller.get(), nullptr, nullptr);
        shell.showDetached(NavTab::home);
        ContentWindow* window = shell.detachedWindow()->window();
        window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(window->tab(), int(NavTab::metrics));
        QTest::keyClick(window, Qt::Key_5, Qt::ControlModifier); // Logs: no page yet
        QCOMPARE(window->tab(), int(NavTab::metrics));
        QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(window->tab(), int(NavTab::home));

        QQuickItem* button = find(window, "crosshairButton");
        QVERIFY(button);
        button->forceActiveFocus(Qt::TabFocusReason);
        const auto ringShown = [button] {
            const QList<QQuickItem*> parts =
                button->property("background").value<QQuickItem*>()->childItems();
            return std::any_of(parts.cbegin(), parts.cend(), [](QQuickItem* part) {
                // The focus ring: the one part with a "shown" switch.
                return part->property("shown").isValid() && part->isVisible();
            });
        };
        QVERIFY(ringShown());
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_VERIFY(controller->manualOverride());

        QSignalSpy quit(&shell, &AppShell::quitRequested);
        QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.size(), 1);
        QPointer<ContentWindow> closing = window;
        QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(closing.isNull());
    }

    void detachedWindowLifecycle() {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("settings.json")));
        ScreenController controller;
        AppShell shell(controller.get(), nullptr, &store);
        DetachedWindow* detached = shell.detachedWindow();

        shell.showDetached(NavTab::about);
        QPointer<ContentWindow> first = detached->window();
        QVERIFY(first);
        QCOMPARE(first->title(), "VXR Worker");
        QCOMPARE(first->minimumSize(), QSize(440, 520));
        QCOMPARE(first->tab(), int(NavTab::about));
        QVERIFY(QTest::qWaitForWindowExposed(first));
        shell.showDetached(NavTab::jobs);
        QCOMPARE(detached->window(), first.data()); // one instance
        QCOMPARE(first->tab(), int(NavTab::jobs));

        const QRect frame(30, 40, 600, 500);
        first->setGeometry(frame);
        QTRY_COMPARE(first->geometry(), frame);
        QSignalSpy quit(&shell, &AppShell::quitRequested);
        first->close();
        QTRY_VERIFY(first.isNull()); // content dropped with the window
        QVERIFY(!detached->window());
        QCOMPARE(DetachedWindow::parseFrame(store.value(QLatin1String(DetachedWindow::frameKey))
                                                .value_or(QVariant())
                                                .toString()),
                 frame);

        // Without a tray icon there is no way back to a closed window: closing quits.
        QCOMPARE(quit.size(), 1);
        shell.showDetached(NavTab::home);
        ContentWindow* second = detached->window();
        QVERIFY(second);
        QCOMPARE(second->geometry(), frame);
        QCOMPARE(second->tab(), int(NavTab::home));
        // The tray's click with the window open raises the window, on its tab.
        shell.togglePanel();
        QVERIFY(!shell.panel());
        QCOMPARE(detached->window(), second);
    }
};

QTEST_MAIN(TestContentView)
#include "test_content_view.moc"
