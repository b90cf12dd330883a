#include "app/hud_web_view.h"

#include "app/web_engine_loader.h"
#include "core/diagnostics.h"

#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

namespace vxr {

HUDWebView::HUDWebView(Timing timing, QObject* parent)
    : QObject(parent)
    , m_timing(timing) {
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(m_timing.hudReloadDelay);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] {
        const QUrl remembered = m_reloadURL;
        m_reloadURL.clear();
        // The address changed or went away meanwhile: that newer state wins.
        if (!m_loadedURL.isEmpty() && m_loadedURL == remembered)
            load(remembered);
    });
    m_loadTimeoutTimer.setSingleShot(true);
    m_loadTimeoutTimer.setInterval(loadTimeout);
    connect(&m_loadTimeoutTimer, &QTimer::timeout, this, [this] {
        emit stopRequested();
        reportNavigationFailed();
    });
}

HUDWebView::~HUDWebView() {
    delete m_webView;
}

const QString& HUDWebView::styleSheet() {
    static const QString sheet = [] {
        QFile file(QStringLiteral(":/VXR/App/resources/hud-theme.css"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return sheet;
}

const QString& HUDWebView::themeScript() {
    // The sheet travels as a template literal, so backticks, backslashes and "${"
    // must not reach the script unescaped.
    static const QString script = [] {
        QString body = styleSheet();
        body.replace(u'\\', QStringLiteral("\\\\"));
        body.replace(u'`', QStringLiteral("\\`"));
        body.replace(QStringLiteral("${"), QStringLiteral("\\${"));
        return QStringLiteral("(function() {\n"
                              "  const style = document.createElement('style');\n"
                              "  style.textContent = `") +
               body +
               QStringLiteral("`;\n"
                              "  (document.head || document.documentElement).appendChild(style);\n"
                              "})();\n");
    }();
    return script;
}

void HUDWebView::serviceURLChanged(const QUrl& url) {
    if (url.isEmpty()) {
        // The page already shown stays on screen.
        if (!m_loadedURL.isEmpty()) {
            m_loadedURL.clear();
            emit loadedURLChanged();
        }
        return;
    }
    if (url == m_loadedURL)
        return;
    m_loadedURL = url;
    emit loadedURLChanged();
    load(url);
}

void HUDWebView::ensureAlive() {
    // A page on its way has no log yet; reading it now would load it a second time.
    if (m_loadedURL.isEmpty() || !m_webView || m_loadInFlight)
        return;
    const int token = ++m_nextToken;
    m_pendingChecks.insert(token, m_loadedURL);
    emit logTextRequested(token);
}

void HUDWebView::reportLogText(int token, const QString& text) {
    const auto it = m_pendingChecks.constFind(token);
    if (it == m_pendingChecks.constEnd())
        return;
    const QUrl remembered = *it;
    m_pendingChecks.erase(it);
    const QString trimmed = text.trimmed();
    // Case-sensitive on purpose: the page's own "connecting" placeholder is lower case.
    if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1String("connecting")))
        return;
    load(remembered);
}

void HUDWebView::attach(QQuickItem* container) {
    if (!container)
        return;
    if (!m_webView) {
        QQmlEngine* engine = qmlEngine(container);
        if (!engine) {
            writeDiagnostic(QStringLiteral("HUD view: no QML engine to create the web view"));
            return;
        }
        createView(engine);
        if (!m_webView)
            return;
    }
    // The view fills whichever item is its parent (HudWebView.qml).
    m_webView->setParentItem(container);
    m_webView->setVisible(true);
}

void HUDWebView::detach(QQuickItem* container) {
    if (!m_webView || !container || m_webView->parentItem() != container)
        return;
    m_webView->setParentItem(nullptr);
}

void HUDWebView::releaseView() {
    delete m_webView;
    m_loadInFlight = false;
    m_pendingChecks.clear();
    m_loadTimeoutTimer.stop();
}

void HUDWebView::createView(QQmlEngine* engine) {
    prepareWebEngine();
    QQmlComponent component(engine, QUrl(QStringLiteral("qrc:/VXR/App/HudWebView.qml")));
    // Qt 6.4 crashes creating a component that failed to load.
    QObject* object = component.isReady()
                          ? component.createWithInitialProperties(
                                {{QStringLiteral("host"), QVariant::fromValue(this)}})
                          : nullptr;
    auto* item = qobject_cast<QQuickItem*>(object);
    if (!item) {
        writeDiagnostic(QStringLiteral("HUD view: ") + component.errorString().trimmed());
        delete object;
        return;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    item->setParent(this);
    m_webView = item;
    if (!m_loadedURL.isEmpty())
        load(m_loadedURL);
}

void HUDWebView::load(const QUrl& url) {
    // Before the first attach there is no view; it loads loadedURL when created.
    if (!m_webView)
        return;
    m_loadInFlight = true;
    m_loadTimeoutTimer.start(); // also ends a load that never reports its start
    emit loadRequested(url);
}

void HUDWebView::reportLoadStarted() {
    m_loadTimeoutTimer.start();
}

void HUDWebView::reportLoadFinished() {
    m_loadInFlight = false;
    m_loadTimeoutTimer.stop();
}

void HUDWebView::reportNavigationFailed() {
    m_loadInFlight = false;
    m_loadTimeoutTimer.stop();
    reloadSoon();
}

void HUDWebView::reloadSoon() {
    if (m_loadedURL.isEmpty())
        return;
    // At most one delayed reload waits at a time. Every failure scheduling its own
    // (and a load cancelled by a newer load counting as a failure) would let
    // reload chains multiply without bound.
    // A reload still waiting for an older address would do nothing when it fires,
    // so this failure takes its place.
    if (m_reloadTimer.isActive() && m_reloadURL == m_loadedURL)
        return;
    m_reloadURL = m_loadedURL;
    m_reloadTimer.start();
}

} // namespace vxr
