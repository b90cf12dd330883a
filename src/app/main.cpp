#include "app/app_shell.h"
#include "app/application_service.h"
#include "app/control_service.h"
#include "app/hud_web_view.h"
#include "app/notifier.h"
#include "controller/worker_controller.h"
#include "core/diagnostics.h"
#include "platform/autostart_entry.h"
#include "platform/desktop_notifications.h"
#include "platform/instance_lock.h"
#include "platform/quit_signals.h"
#include "platform/settings_store.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QIcon>
#include <QQuickWindow>
#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

#include <malloc.h>

#include <unistd.h>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

int main(int argc, char* argv[]) {
    // A fixed threshold: glibc otherwise raises it to the size of each large block freed,
    // so after a few capped multi-megabyte replies such blocks come from the heap and
    // stay with the process. Fixed, they are mapped and given back when freed.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
    // The web engine's sandbox cannot start as root (CI); it must know before it
    // initialises.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The windows are small and mostly text: drawn in software they need no GL driver,
    // which, once loaded by a first window, stays mapped for the life of the process
    // (about 90 MB with Mesa's software renderer). The web engine then composites in
    // software too, and is loaded only with the log view (HUDWebView).
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VXR Worker"));
    QApplication::setDesktopFileName(QStringLiteral("network.quorbel.vxrworker"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VXR/App/resources/logo.png")));

    // One instance per session: a second launch shows the first one and leaves,
    // before it could start a second worker service.
    QDBusConnection bus = QDBusConnection::sessionBus();
    vxr::ApplicationService service(bus);
    const bool onBus = service.claim();
    if (!onBus) {
        if (bus.isConnected() && bus.interface()->isServiceRegistered(
                                     QLatin1String(vxr::ApplicationService::serviceName))) {
            if (!vxr::ApplicationService::activateRunningInstance(bus))
                vxr::writeDiagnostic(
                    QStringLiteral("VXR Worker is already running but did not answer"));
            return 0;
        }
        vxr::writeDiagnostic(QStringLiteral("No session bus: one instance by the lock file"));
    }

    auto environment = vxr::ControllerEnvironment::standard(QCoreApplication::applicationDirPath());
    // Also with a bus: two launches on different buses (or none) would otherwise share
    // the private directory and relaunch each other's service.
    const vxr::InstanceLock instanceLock(environment.paths.tempDir +
                                         QLatin1String(vxr::instanceLockName));
    if (instanceLock.heldElsewhere()) {
        vxr::writeDiagnostic(QStringLiteral("VXR Worker is already running"));
        return 0;
    }
    environment.executable = QCoreApplication::applicationFilePath();
    // The autostart entry's argument: a start at login stays in the tray.
    environment.startedAtLogin =
        QCoreApplication::arguments().contains(QLatin1String(vxr::autostart::kHiddenArgument));

    // Lives for the whole process and is never destroyed: children are only ever
    // asked to stop, and destruction must not take them down.
    auto* controller = new vxr::WorkerController(environment);

    auto* hud = new vxr::HUDWebView(environment.timing, controller);
    QObject::connect(controller, &vxr::WorkerController::workerURLAssigned, hud,
                     &vxr::HUDWebView::serviceURLChanged);
    hud->serviceURLChanged(controller->workerURLValue());

    std::unique_ptr<vxr::ControlService> control;
    if (onBus)
        control = std::make_unique<vxr::ControlService>(controller, &service, bus);

    vxr::SettingsStore windowSettings(environment.paths.settingsFile);
    vxr::AppShell shell(controller, hud, &windowSettings);

    vxr::DesktopNotifications notifications(bus);
    vxr::Notifier notifier(controller, &notifications);
    QObject::connect(&notifier, &vxr::Notifier::openRequested, &shell,
                     &vxr::AppShell::showDetached);

    const auto quit = [controller] {
        controller->shutdownForQuitThen([] { QCoreApplication::quit(); });
    };
    QObject::connect(&shell, &vxr::AppShell::quitRequested, &app, quit);
    // Queued: the caller gets its reply at once, not after a first window was built.
    QObject::connect(&service, &vxr::ApplicationService::activateRequested, &shell,
                     &vxr::AppShell::activate, Qt::QueuedConnection);
    QObject::connect(&service, &vxr::ApplicationService::actionRequested, &shell,
                     &vxr::AppShell::runAction, Qt::QueuedConnection);

    vxr::QuitSignalWatcher quitSignals;
    QObject::connect(&quitSignals, &vxr::QuitSignalWatcher::quitRequested, &app, quit);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, controller,
                     &vxr::WorkerController::shutdownForQuit);

    shell.start(environment.startedAtLogin ? vxr::AppShell::StartMode::hidden
                                           : vxr::AppShell::StartMode::normal);
    return QApplication::exec();
}
