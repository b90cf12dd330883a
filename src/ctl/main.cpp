#include "ctl/ctl_client.h"
#include "ctl/ctl_command.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
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
