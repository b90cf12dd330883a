// Renders the app's screens offscreen from a scripted controller state, one PNG per
// scene, so the look can be checked without a desktop.

#include "app/app_shell.h"
#include "app/detached_window.h"
#include "app/hud_web_view.h"
#include "app/shell_rules.h"
#include "screen_scenes.h"
#include "scripted_controller.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

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
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    const QString outDir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(outDir);

    QHttpServer server;
    server.route(QStringLiteral("/hud/small-dark.html"),
                 [] { return QHttpServerResponse("text/html", QByteArray(hudPage)); });
    const quint16 port = server.listen(QHostAddress::LocalHost, 0);
    const QUrl hudURL(QStringLiteral("http://127.0.0.1:%1/hud/small-dark.html").arg(port));

    ScriptedScreensController controller;
    ScriptedGovernor governor;
    governor.setProperty("totalMemory", 16.0 * (1ULL << 30));
    ScriptedSampler sampler;
    QTemporaryDir historyDir;
    QDateTime historyNow(QDate::currentDate(), QTime(9, 5));
    vxr::JobHistory history(historyDir.path(), vxr::Timing{}, [&historyNow] { return historyNow; });
    controller.m_memoryGovernor = &governor;
    controller.m_metricsSampler = &sampler;
    controller.m_jobHistory = &history;
    vxr::HUDWebView hud;
    vxr::AppShell shell(&controller, &hud, nullptr);
    bool ok = true;
    using vxr::ShellRules;

    // Freshly started: nothing running, no account yet, no HUD page.
    shell.showDetached(ShellRules::Home);
    QQuickWindow* detached = shell.detachedWindow()->window();
    const auto shoot = [&](int tab, const QString& name) {
        shell.showDetached(tab);
        ok = save(detached, outDir, name) && ok;
    };
    shoot(ShellRules::Home, QStringLiteral("01-home-idle"));
    shoot(ShellRules::Settings, QStringLiteral("02-settings"));
    shoot(ShellRules::Metrics, QStringLiteral("03-metrics"));
    shoot(ShellRules::Jobs, QStringLiteral("04-jobs"));
    shoot(ShellRules::About, QStringLiteral("06-about"));

    // Computing: two jobs in the sandboxes, earnings, a throttle notice.
    controller.setProperty("workerURL", hudURL);
    hud.serviceURLChanged(hudURL);
    controller.setProperty("serviceRunning", true);
    controller.setProperty("manualOverride", true);
    controller.setProperty("evaluatorsRunning", true);
    controller.setProperty("totalEarnings", 12.34567);
    controller.setProperty("earningsAccount", QStringLiteral("0xa1b2c3d4e5f60718"));
    controller.setProperty("throttleNotice",
                           QStringLiteral("The network is throttling work until 18:00"));
    controller.setSandboxes(
        {ScriptedController::sandbox(QStringLiteral("7f3a9c01d2e4b8"), 118, 160),
         ScriptedController::sandbox(QStringLiteral("c4e81b77aa"), 3, 20)});
    shoot(ShellRules::Home, QStringLiteral("07-home-running"));

    // The settings, metrics and jobs screens with a working worker behind them.
    governor.setProperty(
        "readingText",
        QStringLiteral(
            "Now: VXR may use 6.4 GB · worker tree 1.2 GB · machine 9.8 of 15.5 GB in use"));
    controller.setProperty(
        "registrationStatus",
        ScriptedScreensController::status(
            1, QStringLiteral("Registration failed: owner mismatch for worker 0x7a1f")));
    shell.showDetached(ShellRules::Settings);
    settle(200);
    if (QQuickItem* reset = findItem(detached->contentItem(), QStringLiteral("resetButton")))
        QMetaObject::invokeMethod(reset, "clicked");
    else
        std::fprintf(stderr, "no reset button\n");
    ok = save(detached, outDir, QStringLiteral("11-settings-reset")) && ok;
    controller.setProperty("registrationStatus", ScriptedScreensController::status(
                                                     0, QStringLiteral("0x9c2d41e07b55a3f8")));
    controller.setProperty("idleDetectionAvailable", false);
    controller.setProperty("idleRestrictionEnabled", false);
    controller.setProperty("memoryCapPercent", 65.0);
    shoot(ShellRules::Settings, QStringLiteral("12-settings-registered-no-idle"));
    if (QQuickItem* flick = findItem(detached->contentItem(), QStringLiteral("settingsFlick")))
        flick->setProperty("contentY", 400);
    ok = save(detached, outDir, QStringLiteral("15-settings-memory")) && ok;
    screen_scenes::fillSampler(sampler);
    shoot(ShellRules::Metrics, QStringLiteral("13-metrics-running"));
    history.ingest(screen_scenes::taskInfoDocument(0.6));
    historyNow = historyNow.addSecs(8 * 3600 + 35 * 60);
    history.ingest(screen_scenes::taskInfoDocument(1.0));
    shoot(ShellRules::Jobs, QStringLiteral("14-jobs-running"));
    shell.showDetached(ShellRules::Logs);
    if (!waitForPage(hud))
        std::fprintf(stderr, "HUD page did not load\n");
    ok = save(detached, outDir, QStringLiteral("05-logs")) && ok;

    // The tray panel with the same state.
    shell.detachedWindow()->close();
    settle(100);
    shell.togglePanel();
    QQuickWindow* panel = shell.panel();
    ok = save(panel, outDir, QStringLiteral("08-panel-home-running")) && ok;
    if (panel) {
        panel->setProperty("tab", int(ShellRules::Logs));
        waitForPage(hud);
        ok = save(panel, outDir, QStringLiteral("09-panel-logs")) && ok;
        panel->setProperty("tab", int(ShellRules::Home));
    }
    controller.setProperty("isStopping", true);
    controller.setProperty("throttleNotice", QString());
    ok = save(panel, outDir, QStringLiteral("10-panel-home-stopping")) && ok;

    return ok ? 0 : 1;
}
