// Just enough of a desktop's StatusNotifierWatcher on the session bus to say a tray
// host is there; runs until terminated.

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QStringList>

#include <cstdio>

class Watcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    explicit WatcherAdaptor(Watcher* parent)
        : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
public slots:
    void RegisterStatusNotifierItem(const QString& item) { m_items.append(item); }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QStringList m_items;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Watcher watcher;
    new WatcherAdaptor(&watcher);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAdaptors) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "cannot register the tray host on the session bus\n");
        return 1;
    }
    return QCoreApplication::exec();
}

#include "stand_in_tray_host.moc"
