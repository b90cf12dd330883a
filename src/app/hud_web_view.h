#pragma once

#include "core/timing.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QUrl>

class QQmlEngine;

namespace vxr {

// Owns the single browser view showing the worker service's HUD page: loads it when
// the service's address becomes known, reloads it after failures and renderer
// crashes, and checks on each showing that the page's log is alive.
//
// The view is a QML WebEngineView (user scripts can only be added from QML in Qt
// 6.4). It is created on the first attach(), with the engine of the item it is
// attached to, so the web engine is loaded only once the Logs tab is first shown.
// From then on the same view is moved between containers, never recreated.
class HUDWebView : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUrl loadedURL READ loadedURL NOTIFY loadedURLChanged)
    Q_PROPERTY(QString themeScript READ themeScript CONSTANT)

public:
    explicit HUDWebView(Timing timing = {}, QObject* parent = nullptr);
    ~HUDWebView() override;

    [[nodiscard]] QUrl loadedURL() const { return m_loadedURL; }

    // Called after every assignment of the controller's workerURL (empty = absent).
    void serviceURLChanged(const QUrl& url);

    // Run each time the Logs tab is shown: reloads a page whose log is empty or
    // still says it is connecting. A page still loading is left to finish.
    Q_INVOKABLE void ensureAlive();

    // Moves the one browser view into container, filling it (creating the view on
    // first use). The view most recently attached wins.
    Q_INVOKABLE void attach(QQuickItem* container);
    // Takes the view out of container if it is there; the view lives on.
    Q_INVOKABLE void detach(QQuickItem* container);

    // Destroys the view (it is recreated on the next attach). Call before the QML
    // engine that created it goes away.
    void releaseView();

    // Null until the first attach().
    [[nodiscard]] QQuickItem* webView() const { return m_webView; }

    // The style sheet injected into every page load, and the script that injects it.
    [[nodiscard]] static const QString& styleSheet();
    [[nodiscard]] static const QString& themeScript();

    // A load that has not finished after this long is stopped and counts as failed.
    static constexpr Millis loadTimeout{60000};

    // What the view reports (HudWebView.qml).
    Q_INVOKABLE void reportLoadStarted();
    Q_INVOKABLE void reportLoadFinished();
    Q_INVOKABLE void reportNavigationFailed();
    // The page's log text as read for the check numbered token.
    Q_INVOKABLE void reportLogText(int token, const QString& text);

signals:
    void loadedURLChanged();
    // What the view is asked to do (HudWebView.qml).
    void loadRequested(const QUrl& url);
    void stopRequested();
    void logTextRequested(int token);

private:
    void createView(QQmlEngine* engine);
    void load(const QUrl& url);
    void reloadSoon();

    Timing m_timing;
    QUrl m_loadedURL;
    QPointer<QQuickItem> m_webView;
    QTimer m_reloadTimer;
    QUrl m_reloadURL;
    QTimer m_loadTimeoutTimer;
    // From setting the address until the view reports the load ended or failed.
    bool m_loadInFlight = false;
    QHash<int, QUrl> m_pendingChecks;
    int m_nextToken = 0;
};

} // namespace vxr
