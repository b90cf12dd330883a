#include "controller/worker_controller.h"
#include "platform/quit_signals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VXR Worker"));
    QApplication::setDesktopFileName(QStringLiteral("network.quorbel.vxrworker"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Lives for the whole process and is never destroyed: children are only ever
    // asked to stop, and destruction must not take them down.
    auto* controller = new vxr::WorkerController(
        vxr::ControllerEnvironment::standard(QCoreApplication::applicationDirPath()));

    vxr::QuitSignalWatcher quitSignals;
    QObject::connect(&quitSignals, &vxr::QuitSignalWatcher::quitRequested, &app,
                     [] { QCoreApplication::quit(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, controller,
                     &vxr::WorkerController::shutdownForQuit);

    return QApplication::exec();
}
