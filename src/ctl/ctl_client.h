#pragma once

#include "ctl/ctl_command.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>

namespace vxr::ctl {

// Runs one command against the app on the session bus. Blocking calls are fine here:
// the client does one thing and leaves.
class Client : public QObject {
    Q_OBJECT

public:
    explicit Client(QDBusConnection bus, QObject* parent = nullptr);

    // The exit status; messages go to stdout and stderr. For watch, -1 means the event
    // loop must run: finished() carries the status later.
    [[nodiscard]] int run(const Command& command);

signals:
    void finished(int status);

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);
    void ownerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    [[nodiscard]] QDBusMessage call(const QString& interface, const QString& method,
                                    const QVariantList& arguments = {});
    [[nodiscard]] int fail(const QDBusMessage& reply);
    [[nodiscard]] int watch();

    QDBusConnection m_bus;
    bool m_json = false;
};

} // namespace vxr::ctl
