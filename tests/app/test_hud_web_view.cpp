// The HUD view against a local HTTP server standing in for the worker service:
// when it loads, reloads and leaves the page alone.

#include "app/hud_web_view.h"

#include <QGuiApplication>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

using namespace vxr;

namespace {

constexpr int reloadDelayMs = 200;

Timing fastTiming() {
    Timing timing;
    timing.hudReloadDelay = Millis(reloadDelayMs);
    return timing;
}

} // namespace

class TestHudWebView : public QObject {
    Q_OBJECT

private:
    QHttpServer m_server;
    QUrl m_url;
    int m_hits = 0;
    QString m_logText;
    QQmlEngine m_engine;
    QQuickWindow m_window;
    std::unique_ptr<QQuickItem> m_container;
    std::unique_ptr<HUDWebView> m_hud;

    std::unique_ptr<QQuickItem> makeContainer() {
        QQmlComponent component(&m_engine);
        component.setData("import QtQuick\nItem { width: 400; height: 300 }", QUrl());
        std::unique_ptr<QQuickItem> item(qobject_cast<QQuickItem*>(component.create()));
        item->setParentItem(m_window.contentItem());
        return item;
    }

    bool pageLoaded() const {
        QQuickItem* view = m_hud->webView();
        return view && !view->property("loading").toBool() &&
               view->property("loadProgress").toInt() == 100;
    }

private slots:
    void initTestCase() {
        // As the app does before anything loads: Qt 6.4 does not look for compiled-in
        // modules under qrc:/ by itself.
        m_engine.addImportPath(QStringLiteral("qrc:/"));
        m_server.route(QStringLiteral("/hud/small-dark.html"), [this] {
            ++m_hits;
            QHttpServerResponse response(
                "text/html",
                QStringLiteral(
                    "<html><body><div id=\"logBlocker\"><table><tr><th>a</th><td>b</td></tr>"
                    "</table></div><pre id=\"loggerText\">%1</pre></body></html>")
                    .arg(m_logText)
                    .toUtf8());
            response.setHeader("Cache-Control", "no-store");
            return response;
        });
        const quint16 port = m_server.listen(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);
        m_url = QUrl(QStringLiteral("http://127.0.0.1:%1/hud/small-dark.html").arg(port));
        m_window.resize(400, 300);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void init() {
        m_hits = 0;
        m_logText = QStringLiteral("[12:00:01] worker started");
        m_container = makeContainer();
        m_hud = std::make_unique<HUDWebView>(fastTiming());
        m_hud->attach(m_container.get());
        QVERIFY(m_hud->webView());
    }

    void cleanup() {
        m_hud.reset();
        m_container.reset();
    }

    void nothingBeforeTheServiceAnswered() {
        m_hud->ensureAlive();
        m_hud->serviceURLChanged(QUrl());
        QTest::qWait(3 * reloadDelayMs);
        QCOMPARE(m_hits, 0);
        QVERIFY(m_hud->webView()->property("url").toUrl().isEmpty());
    }

    void sameAddressLoadsOnce() {
        m_hud->serviceURLChanged(m_url);
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        QTest::qWait(2 * reloadDelayMs);
        QCOMPARE(m_hits, 1);
        QCOMPARE(m_hud->loadedURL(), m_url);

        // The service stopped: the page stays, and the same address loads anew.
        m_hud->serviceURLChanged(QUrl());
        QVERIFY(m_hud->loadedURL().isEmpty());
        QCOMPARE(m_hits, 1);
        m_hud->serviceURLChanged(m_url);
        QTRY_COMPARE(m_hits, 2);
    }

    // The Logs tab's first showing creates the view, which starts loading, and then
    // checks the log: the check must not load the page again.
    void firstShowingLoadsOnce() {
        m_hud = std::make_unique<HUDWebView>(fastTiming());
        m_hud->serviceURLChanged(m_url);
        m_hud->attach(m_container.get());
        m_hud->ensureAlive();
        QTRY_VERIFY(pageLoaded());
        QTest::qWait(3 * reloadDelayMs);
        QCOMPARE(m_hits, 1);
    }

    // The panel shows Logs, the detached window takes the view, the window closes:
    // the panel, shown again, must take the view back and check the page.
    void logsShownAgainTakesTheViewBack() {
        m_logText.clear(); // a quiet page: every check on showing reloads it
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        const auto logsWindow = [&] {
            QQmlComponent component(&m_engine);
            component.setData("import QtQuick\nimport VXR.App\n"
                              "Window { id: window; width: 400; height: 300\n"
                              "  required property HUDWebView hud\n"
                              "  property alias logs: logs\n"
                              "  StatusInlineView { id: logs; anchors.fill: parent; "
                              "hud: window.hud } }",
                              QUrl());
            std::unique_ptr<QQuickWindow> window(
                qobject_cast<QQuickWindow*>(component.createWithInitialProperties(
                    {{QStringLiteral("hud"), QVariant::fromValue(m_hud.get())}},
                    m_engine.rootContext())));
            if (!window)
                qWarning() << component.errors();
            return window;
        };
        const auto containerOf = [](QQuickWindow* window) {
            return window->property("logs").value<QQuickItem*>()->findChild<QQuickItem*>(
                QStringLiteral("hudContainer"));
        };
        auto panel = logsWindow();
        panel->show();
        QTRY_COMPARE(m_hud->webView()->parentItem(), containerOf(panel.get()));
        QTRY_COMPARE(m_hits, 2);
        QTRY_VERIFY(pageLoaded());
        panel->hide();
        auto detached = logsWindow();
        detached->show();
        QTRY_COMPARE(m_hud->webView()->parentItem(), containerOf(detached.get()));
        QTRY_COMPARE(m_hits, 3);
        QTRY_VERIFY(pageLoaded());
        detached.reset();
        panel->show();
        QTRY_COMPARE(m_hud->webView()->parentItem(), containerOf(panel.get()));
        QTRY_COMPARE(m_hits, 4); // checked on showing again
        panel.reset();
    }

    void livenessCheck_data() {
        QTest::addColumn<QString>("log");
        QTest::addColumn<bool>("reloads");
        QTest::newRow("still connecting") << "connecting…" << true;
        QTest::newRow("connecting after blanks") << "\n   connecting to scheduler" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("only blanks") << " \n\t " << true;
        QTest::newRow("capital C counts as alive") << "Connecting to scheduler… done" << false;
        QTest::newRow("log lines") << "[12:00:01] slice done" << false;
    }
    void livenessCheck() {
        QFETCH(QString, log);
        QFETCH(bool, reloads);
        m_logText = log;
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        QCOMPARE(m_hits, 1);
        m_hud->ensureAlive();
        if (reloads) {
            QTRY_COMPARE(m_hits, 2);
        } else {
            QTest::qWait(3 * reloadDelayMs);
            QCOMPARE(m_hits, 1);
        }
    }

    void failureThenServiceGoneDoesNotReload() {
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        m_hud->reportNavigationFailed();
        m_hud->serviceURLChanged(QUrl());
        QTest::qWait(3 * reloadDelayMs);
        QCOMPARE(m_hits, 1);
    }

    // Failures arriving together (several callbacks, cancelled loads) leave one
    // reload waiting, not one each.
    void onePendingReloadAtMost() {
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        for (int i = 0; i < 3; ++i)
            m_hud->reportNavigationFailed();
        QTRY_COMPARE(m_hits, 2);
        QTRY_VERIFY(pageLoaded());
        QTest::qWait(3 * reloadDelayMs);
        QCOMPARE(m_hits, 2);
    }

    // A reload pending for an address that has since changed must not swallow a
    // failure of the new address.
    void failureOfNewAddressStillReloads() {
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        m_hud->reportNavigationFailed();
        QUrl other = m_url;
        other.setQuery(QStringLiteral("restarted"));
        m_hud->serviceURLChanged(other);
        QTRY_COMPARE(m_hits, 2);
        QTRY_VERIFY(pageLoaded());
        m_hud->reportNavigationFailed();
        QTRY_COMPARE(m_hits, 3);
        QTest::qWait(3 * reloadDelayMs);
        QCOMPARE(m_hits, 3);
    }

    // A service that drops every connection: the page is retried again and again.
    void realFailuresReload() {
        QTcpServer dropping;
        int connections = 0;
        QVERIFY(dropping.listen(QHostAddress::LocalHost, 0));
        connect(&dropping, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* socket = dropping.nextPendingConnection()) {
                ++connections;
                socket->abort();
                socket->deleteLater();
            }
        });
        m_hud->serviceURLChanged(QUrl(
            QStringLiteral("http://127.0.0.1:%1/hud/small-dark.html").arg(dropping.serverPort())));
        QTRY_VERIFY_WITH_TIMEOUT(connections >= 4, 15000);
        m_hud->serviceURLChanged(QUrl());
    }

    // The view moves between windows with its page; it is neither recreated nor
    // reloaded by the move.
    void viewMovesWithItsPage() {
        m_hud->serviceURLChanged(m_url);
        QTRY_VERIFY(pageLoaded());
        QQuickItem* view = m_hud->webView();
        auto other = makeContainer();
        m_hud->attach(other.get());
        QCOMPARE(m_hud->webView(), view);
        QCOMPARE(view->parentItem(), other.get());
        m_hud->detach(m_container.get()); // not its container any more: no effect
        QCOMPARE(view->parentItem(), other.get());
        m_hud->detach(other.get());
        QVERIFY(!view->parentItem());
        QTest::qWait(2 * reloadDelayMs);
        QCOMPARE(m_hits, 1);
    }

    void styleSheetIsInjectedWhole() {
        const QString& script = HUDWebView::themeScript();
        QVERIFY(script.contains(QStringLiteral("--grid: rgba(0, 164, 115, 0.08);")));
        QVERIFY(script.contains(QStringLiteral("animation: vxr-grid-drift 20s linear infinite;")));
        QVERIFY(script.contains(QStringLiteral("font: 11px/1.55 var(--mono) !important;")));
        QVERIFY(script.trimmed().endsWith(QStringLiteral("})();")));
    }
};

int main(int argc, char* argv[]) {
    // As the app draws: in software, the web engine loaded by the first view.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    TestHudWebView test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hud_web_view.moc"
