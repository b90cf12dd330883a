#pragma once

#include "app/shell_rules.h"

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include <memory>
#include <optional>

class QAction;
class QDBusServiceWatcher;
class QMenu;
class QQmlEngine;
class QSystemTrayIcon;

namespace vxr {

class ContentWindow;
class DetachedWindow;
class HUDWebView;
class SettingsStore;
class WorkerController;

// The desktop side of the app: the QML engine, the tray icon with its panel and
// menu, and the detached window. Everything shown is a view of the controller.
class AppShell : public QObject {
    Q_OBJECT

public:
    AppShell(WorkerController* controller, HUDWebView* hud, SettingsStore* settings,
             QObject* parent = nullptr);
    ~AppShell() override;

    enum class StartMode {
        // Shown once on the very first start, later only in the tray.
        normal,
        // Started at login: only in the tray.
        hidden,
    };
    // Puts the app on the desktop: the tray icon when a tray host is there, else the
    // detached window (and a watch for a tray host appearing later).
    void start(StartMode mode = StartMode::normal);

    // What a launcher's activation does: the panel when in the tray, else the window.
    void activate();
    // "toggle", "show", "quit"
    void runAction(const QString& action);

    void togglePanel();
    void showDetached(NavTab tab);

    [[nodiscard]] QQmlEngine* engine() const { return m_engine.get(); }
    [[nodiscard]] bool hasTrayIcon() const { return m_tray != nullptr; }
    [[nodiscard]] ContentWindow* panel() const;
    [[nodiscard]] DetachedWindow* detachedWindow() const { return m_detached; }
    [[nodiscard]] QMenu* trayMenu() const { return m_menu.get(); }
    [[nodiscard]] QString trayToolTip() const;
    // What the tray shows now (a null icon without a tray).
    [[nodiscard]] QIcon trayIcon() const;

    // The logo at the given height keeping its aspect ratio; drawn at 0.4 opacity
    // while no evaluator runs.
    [[nodiscard]] static QImage trayImage(const QImage& logo, int height, bool running);

    // A panel hidden this long is released with its scene graph; the next press builds
    // a new one on the same tab.
    static constexpr std::chrono::milliseconds defaultPanelReleaseDelay{60000};
    void setPanelReleaseDelay(std::chrono::milliseconds delay);

signals:
    // Quit was chosen (button, menu, D-Bus); the owner runs the quit path.
    void quitRequested();

private slots:
    // Slot by name: the tray host's D-Bus signal connects to it.
    void checkForTrayHost();

private:
    void refreshTray();
    void onDetachRequested(int tab);
    void createTray();
    void createPanel();
    void toggleCompute();
    void placePanel();
    void onDetachedWindowClosed();
    void onPanelVisibilityChanged(bool visible);
    void releasePanel();
    [[nodiscard]] ComputeState computeState() const;

    QPointer<WorkerController> m_controller;
    QPointer<HUDWebView> m_hud;
    std::unique_ptr<QQmlEngine> m_engine;
    DetachedWindow* m_detached = nullptr;
    QPointer<ContentWindow> m_panel;
    QTimer m_panelRelease;
    int m_panelTab = 0; // a NavTab's number: the tab a rebuilt panel opens on
    QSystemTrayIcon* m_tray = nullptr;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_toggleAction = nullptr;
    QDBusServiceWatcher* m_trayWatcher = nullptr;
    QImage m_logo;
    // The state the tray icon was last drawn for: it is redrawn, and sent to the tray
    // host again, only when that changes, not on every change of the sandboxes.
    std::optional<bool> m_trayIconRunning;
    SettingsStore* m_settings = nullptr;
};

// A tray host is there to show a StatusNotifierItem. Asked on the bus directly:
// Qt's own answer is fixed for the life of the process once asked.
[[nodiscard]] bool statusNotifierHostAvailable();

} // namespace vxr
