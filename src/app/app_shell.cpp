#include "app/app_shell.h"

#include "app/content_window.h"
#include "app/detached_window.h"
#include "app/hud_web_view.h"
#include "app/shell_rules.h"
#include "controller/worker_controller.h"
#include "platform/settings_store.h"

#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cmath>

namespace vxr {

namespace {

constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";
// Set once the window was shown on a first start.
const QString kShownOnce = QStringLiteral("shownAtFirstStart");

QImage loadLogo() {
    QImage logo(QStringLiteral(":/VXR/App/resources/vxr-logo.png"));
    if (!logo.isNull())
        return logo;
    // Missing resource: a plain hexagon stands in.
    QImage fallback(64, 64, QImage::Format_ARGB32_Premultiplied);
    fallback.fill(Qt::transparent);
    QPainter p(&fallback);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF hex;
    for (int i = 0; i < 6; ++i) {
        const double a = (60.0 * i - 90.0) * M_PI / 180.0;
        hex << QPointF(32 + 30 * std::cos(a), 32 + 30 * std::sin(a));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x00, 0xa4, 0x73));
    p.drawPolygon(hex);
    return fallback;
}

} // namespace

bool statusNotifierHostAvailable() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(QLatin1String(watcherService)))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(watcherService), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QLatin1String(watcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    // A watcher that does not say is taken at its word of being there.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return true;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

AppShell::AppShell(WorkerController* controller, HUDWebView* hud, SettingsStore* settings,
                   QObject* parent)
    : QObject(parent)
    , m_controller(controller)
    , m_hud(hud)
    , m_engine(std::make_unique<QQmlEngine>())
    , m_settings(settings) {
    // Qt 6.4 does not look for compiled-in modules under qrc:/ by itself.
    m_engine->addImportPath(QStringLiteral("qrc:/"));
    m_panelTab = int(ShellRules::homeTab());
    m_panelRelease.setSingleShot(true);
    m_panelRelease.setInterval(defaultPanelReleaseDelay);
    connect(&m_panelRelease, &QTimer::timeout, this, &AppShell::releasePanel);
    m_detached = new DetachedWindow(m_engine.get(), controller, hud, settings, this);
    connect(m_detached, &DetachedWindow::quitRequested, this, &AppShell::quitRequested);
    connect(m_detached, &DetachedWindow::windowClosed, this, &AppShell::onDetachedWindowClosed);
    m_logo = loadLogo();
    if (controller) {
        // What the tray icon and menu show.
        for (auto signal :
             {&WorkerController::evaluatorsRunningChanged, &WorkerController::isStoppingChanged,
              &WorkerController::manualOverrideChanged,
              &WorkerController::idleRestrictionEnabledChanged,
              &WorkerController::serviceRunningChanged, &WorkerController::pausedOnBatteryChanged,
              &WorkerController::idleThresholdMinutesChanged, &WorkerController::sandboxesChanged})
            connect(controller, signal, this, &AppShell::refreshTray);
    }
}

AppShell::~AppShell() {
    delete m_tray;
    delete m_panel;
    delete m_detached;
    // The web view belongs to the HUD object but was made by this engine.
    if (m_hud)
        m_hud->releaseView();
}

ContentWindow* AppShell::panel() const {
    return m_panel;
}

void AppShell::start(StartMode mode) {
    if (statusNotifierHostAvailable()) {
        createTray();
        // The very first start shows the app once, so the user sees it exists.
        if (mode == StartMode::normal && m_settings && !m_settings->value(kShownOnce)) {
            m_settings->setValue(kShownOnce, true);
            showDetached(NavTab::home);
        }
        return;
    }
    showDetached(NavTab::home);
    // The desktop's tray host often starts after the apps of the session.
    m_trayWatcher =
        new QDBusServiceWatcher(QLatin1String(watcherService), QDBusConnection::sessionBus(),
                                QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_trayWatcher, &QDBusServiceWatcher::serviceRegistered, this,
            &AppShell::checkForTrayHost);
    QDBusConnection::sessionBus().connect(
        QString(), QStringLiteral("/StatusNotifierWatcher"), QLatin1String(watcherService),
        QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(checkForTrayHost()));
}

void AppShell::checkForTrayHost() {
    if (m_tray || !statusNotifierHostAvailable())
        return;
    createTray();
}

void AppShell::createTray() {
    m_menu = std::make_unique<QMenu>();
    m_toggleAction = m_menu->addAction(QString());
    connect(m_toggleAction, &QAction::triggered, this, [this] { toggleCompute(); });
    QAction* open = m_menu->addAction(QStringLiteral("Open in a window"));
    connect(open, &QAction::triggered, this, [this] {
        if (m_panel)
            m_panel->hide();
        showDetached(NavTab::home);
    });
    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit VXR Worker"));
    connect(quit, &QAction::triggered, this, &AppShell::quitRequested);

    m_tray = new QSystemTrayIcon(this);
    m_trayIconRunning.reset();
    m_tray->setToolTip(QStringLiteral("VXR Worker"));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });
    refreshTray();
    m_tray->show();
}

QImage AppShell::trayImage(const QImage& logo, int height, bool running) {
    if (logo.isNull() || height <= 0)
        return {};
    const int width = std::max(1, logo.width() * height / logo.height());
    QImage scaled = logo.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (running)
        return scaled;
    QImage dimmed(scaled.size(), QImage::Format_ARGB32_Premultiplied);
    dimmed.fill(Qt::transparent);
    QPainter p(&dimmed);
    p.setOpacity(0.4);
    p.drawImage(0, 0, scaled);
    return dimmed;
}

void AppShell::refreshTray() {
    if (!m_tray || !m_controller)
        return;
    const bool running = m_controller->evaluatorsRunning();
    if (m_trayIconRunning != running) {
        m_trayIconRunning = running;
        QIcon icon;
        // Trays ask for different heights; each gets the logo scaled to it.
        for (int height : {16, 22, 24, 32, 48, 64})
            icon.addPixmap(QPixmap::fromImage(trayImage(m_logo, height, running)));
        m_tray->setIcon(icon);
    }

    const ComputeState state = computeState();
    m_toggleAction->setText(trayActionLabel(state));
    m_toggleAction->setEnabled(!state.isStopping);
    // Each new tooltip is a signal to the tray host; the sandbox rows change far more
    // often than the text.
    if (const QString toolTip = trayToolTip(); m_tray->toolTip() != toolTip)
        m_tray->setToolTip(toolTip);
}

QIcon AppShell::trayIcon() const {
    return m_tray ? m_tray->icon() : QIcon();
}

ComputeState AppShell::computeState() const {
    if (!m_controller)
        return {};
    const WorkerController& c = *m_controller;
    return {c.isStopping(),           c.manualOverride(),       c.idleRestrictionEnabled(),
            c.evaluatorsRunning(),    c.serviceRunning(),       c.pausedOnBattery(),
            c.idleThresholdMinutes(), int(c.sandboxes().size())};
}

QString AppShell::trayToolTip() const {
    return QStringLiteral("VXR Worker\n") + computeStatusText(computeState());
}

void AppShell::onDetachedWindowClosed() {
    // Without a tray icon there is no way back to a hidden app: closing is quitting.
    if (!m_tray)
        emit quitRequested();
}

void AppShell::createPanel() {
    m_panel = ContentWindow::create(m_engine.get(), QStringLiteral("PanelWindow.qml"), m_controller,
                                    m_hud, m_panelTab);
    if (!m_panel)
        return;
    connect(m_panel, &ContentWindow::quitRequested, this, &AppShell::quitRequested);
    connect(m_panel, &ContentWindow::detachRequested, this, &AppShell::onDetachRequested);
    connect(m_panel, &QWindow::visibleChanged, this, &AppShell::onPanelVisibilityChanged);
}

void AppShell::setPanelReleaseDelay(std::chrono::milliseconds delay) {
    m_panelRelease.setInterval(delay);
}

void AppShell::onPanelVisibilityChanged(bool visible) {
    // From the signal, not from m_panel: the window also says so while it is destroyed.
    if (visible)
        m_panelRelease.stop();
    else
        m_panelRelease.start();
}

void AppShell::releasePanel() {
    if (!m_panel || m_panel->isVisible())
        return;
    m_panelTab = m_panel->tab();
    // Its scene graph, textures and QML objects go with it; the tray needs none of them.
    m_panel->deleteLater();
    m_panel.clear();
}

void AppShell::placePanel() {
    if (!m_panel)
        return;
    QPoint anchor = m_tray ? m_tray->geometry().center() : QPoint();
    // StatusNotifierItem trays do not tell where the icon is: use the pointer.
    if (anchor.isNull())
        anchor = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(), m_panel->size());
    frame.moveCenter(anchor);
    // Below the icon when it is in the top half of the screen, above it otherwise.
    if (anchor.y() < area.center().y())
        frame.moveTop(anchor.y() + 12);
    else
        frame.moveBottom(anchor.y() - 12);
    frame.moveLeft(
        std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width())));
    frame.moveTop(
        std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height())));
    m_panel->setPosition(frame.topLeft());
}

void AppShell::togglePanel() {
    // The window is open, or no panel can be placed here: the window is the answer.
    ContentWindow* window = m_detached->window();
    if ((window && window->isVisible()) || !trayPanelUsable(QGuiApplication::platformName())) {
        if (m_panel)
            m_panel->hide();
        showDetached(window ? NavTab(window->tab()) : NavTab::home);
        return;
    }
    if (m_panel && m_panel->isVisible()) {
        m_panel->hide();
        return;
    }
    if (!m_panel)
        createPanel();
    if (!m_panel)
        return;
    placePanel();
    m_panel->show();
    m_panel->raise();
    m_panel->requestActivate();
}

void AppShell::showDetached(NavTab tab) {
    m_detached->show(int(tab));
}

void AppShell::onDetachRequested(int tab) {
    m_detached->show(tab);
    if (m_panel)
        m_panel->hide();
}

void AppShell::activate() {
    if (m_tray) {
        if (!m_panel || !m_panel->isVisible())
            togglePanel();
        else
            m_panel->raise();
        return;
    }
    showDetached(NavTab::home);
}

void AppShell::toggleCompute() {
    // The controller's own action: it flips the override and acts on it at once.
    if (m_controller)
        m_controller->toggleCompute();
}

void AppShell::runAction(const QString& action) {
    if (action == QLatin1String("toggle"))
        toggleCompute();
    else if (action == QLatin1String("show"))
        showDetached(NavTab::home);
    else if (action == QLatin1String("quit"))
        emit quitRequested();
}

} // namespace vxr
