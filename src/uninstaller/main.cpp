#include "uninstaller/uninstaller_dialogue.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// Two modal alerts, no window of its own: confirm, remove, report, end.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("UninstallVXRWorker"));
    QApplication::setQuitOnLastWindowClosed(false);

    vxr::Uninstaller uninstaller(vxr::UninstallerEnvironment::fromSystem());
    QTimer::singleShot(0, &uninstaller, [&uninstaller] {
        vxr::confirmAndRun(
            uninstaller,
            [] {
                const auto box = vxr::makeConfirmationBox();
                box->exec();
                return box->clickedButton() == box->defaultButton();
            },
            [](const vxr::AlertText& text) {
                const auto box = vxr::makeResultBox(text);
                box->exec();
            },
            [] { QCoreApplication::quit(); });
    });
    return app.exec();
}
