#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace vxr {

// The app's presence on the session bus: it owns the well-known name and exports
// org.freedesktop.Application, which is how a second launch, the desktop's
// launcher, `gapplication` and the uninstaller reach the running instance.
// Qt gives a call's context to the object the adaptors belong to, so adaptors that
// answer with errors reach the call through this object's QDBusContext.
class ApplicationService : public QObject, public QDBusContext {
    Q_OBJECT

public:
    static constexpr char serviceName[] = "network.quorbel.vxrworker";
    static constexpr char objectPath[] = "/network/quorbel/vxrworker";
    static constexpr char interfaceName[] = "org.freedesktop.Application";

    explicit ApplicationService(QDBusConnection bus, QObject* parent = nullptr);
    ~ApplicationService() override;

    // Exports the object and claims the name. False when another instance owns it
    // (or there is no bus); then nothing stays registered.
    [[nodiscard]] bool claim();

    // Asks the instance owning the name to show itself. False when nobody answered.
    [[nodiscard]] static bool activateRunningInstance(QDBusConnection bus);

signals:
    void activateRequested();
    // "toggle", "show" or "quit"
    void actionRequested(const QString& action);

private:
    friend class FreedesktopApplicationAdaptor;
    QDBusConnection m_bus;
    bool m_registered = false;
};

class FreedesktopApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit FreedesktopApplicationAdaptor(ApplicationService* service);

public slots:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& actionName, const QVariantList& parameter,
                        const QVariantMap& platformData);

private:
    ApplicationService* m_service;
};

} // namespace vxr
