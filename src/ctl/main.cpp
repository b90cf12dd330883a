#include "ctl/ctl_client.h"
#include "ctl/ctl_command.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt 6.4's bus thread sometimes unpacks an incoming message before its own types are
// registered and says so on standard error (3 runs in 200 against a quiet bus), after
// this program's own answer. Nothing is lost by it; the line only garbles the output
// that scripts read, so exactly that message is dropped.
void dropBusTypeRace(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("Trying to construct an instance of an invalid type")))
        return;
    if (qtHandler)
        qtHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[]) {
    qtHandler = qInstallMessageHandler(dropBusTypeRace);
    QCoreApplication app(argc, argv);
    const std::optional<vxr::ctl::Command> command =
        vxr::ctl::parseArguments(QCoreApplication::arguments().mid(1));
    if (!command) {
        std::fputs(vxr::ctl::usageText().toLocal8Bit().constData(), stderr);
        return 2;
    }
    vxr::ctl::Client client(QDBusConnection::sessionBus());
    QObject::connect(&client, &vxr::ctl::Client::finished, &app, &QCoreApplication::exit);
    const int status = client.run(*command);
    return status >= 0 ? status : QCoreApplication::exec();
}
