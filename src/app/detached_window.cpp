#include "app/detached_window.h"

#include "app/content_window.h"
#include "app/hud_web_view.h"
#include "controller/worker_controller.h"
#include "platform/settings_store.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace vxr {

DetachedWindow::DetachedWindow(QQmlEngine* engine, WorkerController* controller, HUDWebView* hud,
                               SettingsStore* settings, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_controller(controller)
    , m_hud(hud)
    , m_settings(settings) {
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(500);
    connect(&m_saveTimer, &QTimer::timeout, this, &DetachedWindow::saveFrame);
}

DetachedWindow::~DetachedWindow() {
    // Unhooked first: the window's own teardown sends events, and by then it is only a
    // QQuickWindow, no longer the ContentWindow the filter compares against.
    if (m_window)
        m_window->removeEventFilter(this);
    delete m_window;
}

QRect DetachedWindow::parseFrame(const QString& text) {
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return {};
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return {};
    }
    if (values[2] <= 0 || values[3] <= 0)
        return {};
    return QRect(values[0], values[1], values[2], values[3]);
}

QString DetachedWindow::frameText(const QRect& frame) {
    return QStringLiteral("%1 %2 %3 %4")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height());
}

void DetachedWindow::show(int tab) {
    if (!m_window)
        create(tab);
    else
        m_window->setTab(tab);
    if (!m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void DetachedWindow::close() {
    if (m_window)
        m_window->close();
}

void DetachedWindow::create(int tab) {
    ContentWindow* window = ContentWindow::create(m_engine, QStringLiteral("DetachedWindow.qml"),
                                                  m_controller, m_hud, tab);
    if (!window)
        return;
    m_window = window;

    QRect frame;
    if (m_settings)
        frame =
            parseFrame(m_settings->value(QLatin1String(frameKey)).value_or(QVariant()).toString());
    const QScreen* screen = QGuiApplication::primaryScreen();
    const bool onScreen =
        frame.isValid() && screen && QGuiApplication::screenAt(frame.center()) != nullptr;
    if (onScreen) {
        window->setGeometry(frame);
    } else if (screen) {
        QRect centred(QPoint(), window->size());
        centred.moveCenter(screen->availableGeometry().center());
        window->setGeometry(centred);
    }

    connect(window, &QWindow::xChanged, this, &DetachedWindow::saveFrameSoon);
    connect(window, &QWindow::yChanged, this, &DetachedWindow::saveFrameSoon);
    connect(window, &QWindow::widthChanged, this, &DetachedWindow::saveFrameSoon);
    connect(window, &QWindow::heightChanged, this, &DetachedWindow::saveFrameSoon);
    // The close event rather than QQuickWindow::closing, whose argument type is private.
    window->installEventFilter(this);
    connect(window, &ContentWindow::quitRequested, this, &DetachedWindow::quitRequested);
}

void DetachedWindow::saveFrameSoon() {
    m_saveTimer.start();
}

void DetachedWindow::saveFrame() {
    if (!m_settings || !m_window || !m_window->isVisible())
        return;
    m_settings->setValue(QLatin1String(frameKey), frameText(m_window->geometry()));
}

bool DetachedWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == m_window)
        onClosing();
    return QObject::eventFilter(watched, event);
}

void DetachedWindow::onClosing() {
    m_saveTimer.stop();
    saveFrame();
    // Drop the content with the window; the next show() builds a fresh one.
    ContentWindow* window = m_window;
    m_window.clear();
    if (window)
        window->deleteLater();
    emit windowClosed();
}

} // namespace vxr
