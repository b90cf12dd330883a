// Renders the app's screens offscreen from the real controller with the worker's state
// set scene by scene, one PNG per scene, so the look can be checked without a desktop.

#include "app/app_shell.h"
#include "app/content_window.h"
#include "app/detached_window.h"
#include "app/hud_web_view.h"
#include "app/shell_rules.h"
#include "screen_scenes.h"
#include "support/screen_controller.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

namespace {

// A HUD page shaped like the worker service's: header table and running log.
constexpr char hudPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>HUD</title>
<style>body{margin:0;font-family:sans-serif;background:#fff;color:#000}
#logBlocker{position:sticky;top:0;background:#eee}
table{border-bottom:2px solid #999;width:100%}</style></head>
<body>
<div id="logBlocker"><table>
<tr><th>Worker</th><td class="vxr-fixed-font">a1b2c3d4e5f6</td><th>Earned</th><td class="vxr-amount">12.346</td></tr>
<tr><th>Sandboxes</th><td>2 running / 4 max</td><th>Slices</th><td>185 done</td></tr>
<tr><th>Scheduler</th><td>connected</td><th>Uptime</th><td>01:42:07</td></tr>
</table></div>
<pre id="loggerText">Connecting to scheduler… done
[14:02:11] fetched 40 slices of job 7f3a9c01d2
[14:02:12] sandbox 1 ready (warm start, 312 ms saved)
[14:02:19] slice 7f3a9c01d2/118 finished in 6.8 s
[14:02:25] slice 7f3a9c01d2/119 finished in 6.1 s
[14:02:31] fetched 20 slices of job c4e81b77aa
[14:02:33] sandbox 2 ready (fresh)
[14:02:40] slice c4e81b77aa/3 finished in 7.2 s
[14:02:44] submitted 12 results
</pre></body></html>)HTML";

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QQuickWindow* window, const QString& dir, const QString& name) {
    if (!window) {
        std::fprintf(stderr, "no window for %s\n", qPrintable(name));
        return false;
    }
    settle(400);
    const QImage image = window->grabWindow();
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool waitForPage(vxr::HUDWebView& hud) {
    for (int i = 0; i < 100; ++i) {
        QQuickItem* view = hud.webView();
        if (view && !view->property("loading").toBool() &&
            view->property("loadProgress").toInt() == 100) {
            settle(1200);
            return true;
        }
        settle(100);
    }
    return false;
}

// Depth-first search of the visual tree (screens are created by Loaders).
QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item)
        return nullptr;
    if (item->objectName() == name)
        return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findItem(child, name))
            return found;
    return nullptr;
}

} // namespace

int main(int argc, char* argv[]) {
    // As the app draws: in software, the web engine loaded by the first view.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication app(argc, argv);
    const QString outDir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(outDir);

    QHttpServer server;
    server.route(QStringLiteral("/hud/small-dark.html"),
                 [] { return QHttpServerResponse("text/html", QByteArray(hudPage)); });
    const quint16 port = server.listen(QHostAddress::LocalHost, 0);
    const QUrl hudURL(QStringLiteral("http://127.0.0.1:%1/hud/small-dark.html").arg(port));

    // The real controller under a scratch root, with worker programs that answer at
    // once; what the worker would publish is set scene by scene.
    vxr::test::ScreenController controller({.timing = vxr::Timing{}});
    using Access = vxr::test::ControllerAccess;
    vxr::WorkerController& state = *controller;
    state.setIdleRestrictionEnabled(true);
    Access::setMemory(*state.memoryGovernor(), {}, 16ULL << 30);
    vxr::HUDWebView hud;
    vxr::AppShell shell(controller.get(), &hud, nullptr);
    bool ok = true;
    using vxr::NavTab;

    // Freshly started: nothing running, no account yet, no HUD page.
    shell.showDetached(NavTab::home);
    QQuickWindow* detached = shell.detachedWindow()->window();
    const auto shoot = [&](NavTab tab, const QString& name) {
        shell.showDetached(tab);
        ok = save(detached, outDir, name) && ok;
    };
    shoot(NavTab::home, QStringLiteral("01-home-idle"));
    shoot(NavTab::settings, QStringLiteral("02-settings"));
    shoot(NavTab::metrics, QStringLiteral("03-metrics"));
    shoot(NavTab::jobs, QStringLiteral("04-jobs"));
    shoot(NavTab::about, QStringLiteral("06-about"));

    // Computing: two jobs in the sandboxes, earnings, a throttle notice.
    Access::setWorkerURL(state, hudURL);
    hud.serviceURLChanged(hudURL);
    Access::setServiceRunning(state, true);
    Access::setEvaluatorsRunning(state, true);
    state.setManualOverride(true);
    Access::setEarnings(state, 12.34567, QStringLiteral("0xa1b2c3d4e5f60718"));
    Access::setThrottleNotice(state, QStringLiteral("The network is throttling work until 18:00"));
    Access::setSandboxes(state, {vxr::test::sandbox(QStringLiteral("7f3a9c01d2e4b8"), 118, 160),
                                 vxr::test::sandbox(QStringLiteral("c4e81b77aa"), 3, 20)});
    shoot(NavTab::home, QStringLiteral("07-home-running"));

    // The settings, metrics and jobs screens with a working worker behind them.
    Access::setMemory(*state.memoryGovernor(),
                      {16'640'000'000, 9'300'000'000, 1'200'000'000, 6'400'000'000}, 16ULL << 30);
    Access::setRegistrationStatus(
        state, vxr::RegistrationStatus::failed(
                   QStringLiteral("Registration failed: owner mismatch for worker 0x7a1f")));
    shell.showDetached(NavTab::settings);
    settle(200);
    if (QQuickItem* reset = findItem(detached->contentItem(), QStringLiteral("resetButton")))
        QMetaObject::invokeMethod(reset, "clicked");
    else
        std::fprintf(stderr, "no reset button\n");
    ok = save(detached, outDir, QStringLiteral("11-settings-reset")) && ok;
    Access::setRegistrationStatus(
        state, vxr::RegistrationStatus::registered(QStringLiteral("0x9c2d41e07b55a3f8")));
    state.setMemoryCapPercent(65.0);
    shoot(NavTab::settings, QStringLiteral("12-settings-registered"));
    if (QQuickItem* flick = findItem(detached->contentItem(), QStringLiteral("settingsFlick")))
        flick->setProperty("contentY", 400);
    ok = save(detached, outDir, QStringLiteral("15-settings-memory")) && ok;
    screen_scenes::fillSampler(*state.metricsSampler());
    shoot(NavTab::metrics, QStringLiteral("13-metrics-running"));
    state.jobHistory()->ingest(screen_scenes::taskInfoDocument(0.6));
    state.jobHistory()->ingest(screen_scenes::taskInfoDocument(1.0));
    shoot(NavTab::jobs, QStringLiteral("14-jobs-running"));
    shell.showDetached(NavTab::logs);
    if (!waitForPage(hud))
        std::fprintf(stderr, "HUD page did not load\n");
    ok = save(detached, outDir, QStringLiteral("05-logs")) && ok;

    // The tray panel with the same state.
    shell.detachedWindow()->close();
    settle(100);
    shell.togglePanel();
    vxr::ContentWindow* panel = shell.panel();
    ok = save(panel, outDir, QStringLiteral("08-panel-home-running")) && ok;
    if (panel) {
        panel->setTab(int(NavTab::logs));
        waitForPage(hud);
        ok = save(panel, outDir, QStringLiteral("09-panel-logs")) && ok;
        panel->setTab(int(NavTab::home));
    }
    Access::setIsStopping(state, true);
    Access::setThrottleNotice(state, QString());
    ok = save(panel, outDir, QStringLiteral("10-panel-home-stopping")) && ok;

    // Without idle detection the idle rule cannot be switched on.
    shell.detachedWindow()->close();
    vxr::test::ScreenController noIdle({.idleDetection = false, .timing = vxr::Timing{}});
    vxr::AppShell noIdleShell(noIdle.get(), &hud, nullptr);
    noIdleShell.showDetached(NavTab::settings);
    ok = save(noIdleShell.detachedWindow()->window(), outDir,
              QStringLiteral("16-settings-no-idle")) &&
         ok;

    return ok ? 0 : 1;
}
