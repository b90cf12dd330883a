// Just enough of a desktop's StatusNotifierWatcher on the session bus to say a tray
// host is there; runs until terminated. With --print-registrations it prints
// "registered <ms since boot>" for each item that registers: the moment the icon could
// appear, on the clock of /proc's process start times.

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QStringList>

#include <cstdio>
#include <ctime>

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
    WatcherAdaptor(Watcher* parent, bool printRegistrations)
        : QDBusAbstractAdaptor(parent)
        , m_printRegistrations(printRegistrations) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
public slots:
    void RegisterStatusNotifierItem(const QString& item) {
        m_items.append(item);
        if (!m_printRegistrations)
            return;
        timespec now{};
        ::clock_gettime(CLOCK_BOOTTIME, &now);
        std::printf("registered %lld\n", now.tv_sec * 1000LL + now.tv_nsec / 1000000);
        std::fflush(stdout);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    bool m_printRegistrations;
    QStringList m_items;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Watcher watcher;
    new WatcherAdaptor(&watcher,
                       QCoreApplication::arguments().contains(u"--print-registrations"_qs));
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
