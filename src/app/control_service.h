#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusVariant>
#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QVariantMap>

#include <optional>
#include <utility>

namespace vxr {

class ApplicationService;
class Control1Adaptor;
class WorkerController;

// Scripts reach the app through network.quorbel.vxrworker.Control1 on the object that
// already carries org.freedesktop.Application. Reads come from the controller's
// properties; writes go through the same setters the Settings screen uses, within the
// bounds of its steppers, so a script cannot put the app into a state the screens could
// not. The interface's XML (network.quorbel.vxrworker.Control1.xml) is what the adaptor
// below exports; a test compares the two.
class ControlService : public QObject {
    Q_OBJECT

public:
    static constexpr char interfaceName[] = "network.quorbel.vxrworker.Control1";

    // The adaptors become children of busObject (the registered object); bus carries
    // PropertiesChanged.
    ControlService(WorkerController* controller, ApplicationService* busObject, QDBusConnection bus,
                   QObject* parent = nullptr);

    [[nodiscard]] WorkerController* controller() const { return m_controller; }

    // Every property of the interface by its bus name, as sent on the bus.
    [[nodiscard]] QVariantMap properties() const;
    // One property; invalid when the interface has no such property.
    [[nodiscard]] QVariant value(const QString& name) const;
    // Writes one property through the controller. The error to answer with when it was
    // refused; nothing changed then.
    [[nodiscard]] std::optional<QDBusError> write(const QString& name, const QVariant& value);

private:
    // Called on each change the controller announces, with the property it concerns:
    // sends its value unless that is the one sent last, so each change goes out once
    // however often the sources repeat. Only that property is read: the idle time
    // changes every few seconds.
    void publishChange(qsizetype index);

    WorkerController* m_controller;
    Control1Adaptor* m_adaptor;
    QDBusConnection m_bus;
    // The interface's properties, named once.
    QList<std::pair<QString, QMetaProperty>> m_properties;
    QList<QVariant> m_sent; // by index into m_properties
};

class Control1Adaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "network.quorbel.vxrworker.Control1")
    Q_PROPERTY(bool ServiceRunning READ serviceRunning)
    Q_PROPERTY(bool EvaluatorRunning READ evaluatorRunning)
    Q_PROPERTY(bool Stopping READ stopping)
    Q_PROPERTY(double IdleSeconds READ idleSeconds)
    Q_PROPERTY(QString IdleDetection READ idleDetection)
    Q_PROPERTY(bool OnBattery READ onBattery)
    Q_PROPERTY(QString WorkerURL READ workerURL)
    Q_PROPERTY(double TotalEarnings READ totalEarnings)
    Q_PROPERTY(QString EarningsAccount READ earningsAccount)
    Q_PROPERTY(QString RegistrationStatus READ registrationStatus)
    Q_PROPERTY(QString ThrottleNotice READ throttleNotice)
    // Written only through ControlService::write (org.freedesktop.DBus.Properties.Set);
    // the setters are there so introspection says "readwrite".
    Q_PROPERTY(bool ManualOverride READ manualOverride WRITE setManualOverride)
    Q_PROPERTY(
        bool IdleRestrictionEnabled READ idleRestrictionEnabled WRITE setIdleRestrictionEnabled)
    Q_PROPERTY(double IdleThresholdMinutes READ idleThresholdMinutes WRITE setIdleThresholdMinutes)
    Q_PROPERTY(bool EnableWebGPU READ enableWebGPU WRITE setEnableWebGPU)
    Q_PROPERTY(bool JoinGlobalGroup READ joinGlobalGroup WRITE setJoinGlobalGroup)
    Q_PROPERTY(double MemoryCapPercent READ memoryCapPercent WRITE setMemoryCapPercent)
    Q_PROPERTY(bool YieldToOtherApps READ yieldToOtherApps WRITE setYieldToOtherApps)
    Q_PROPERTY(double MemoryHeadroomGB READ memoryHeadroomGB WRITE setMemoryHeadroomGB)
    Q_PROPERTY(int MaxSandboxes READ maxSandboxes WRITE setMaxSandboxes)

public:
    Control1Adaptor(ApplicationService* busObject, ControlService* service);

    bool serviceRunning() const;
    bool evaluatorRunning() const;
    bool stopping() const;
    double idleSeconds() const;
    QString idleDetection() const;
    bool onBattery() const;
    QString workerURL() const;
    double totalEarnings() const;
    QString earningsAccount() const;
    QString registrationStatus() const;
    QString throttleNotice() const;
    bool manualOverride() const;
    bool idleRestrictionEnabled() const;
    double idleThresholdMinutes() const;
    bool enableWebGPU() const;
    bool joinGlobalGroup() const;
    double memoryCapPercent() const;
    bool yieldToOtherApps() const;
    double memoryHeadroomGB() const;
    int maxSandboxes() const;

    void setManualOverride(bool value);
    void setIdleRestrictionEnabled(bool value);
    void setIdleThresholdMinutes(double value);
    void setEnableWebGPU(bool value);
    void setJoinGlobalGroup(bool value);
    void setMemoryCapPercent(double value);
    void setYieldToOtherApps(bool value);
    void setMemoryHeadroomGB(double value);
    void setMaxSandboxes(int value);

public slots:
    void Start();
    void Stop();
    void Toggle();
    void Register(const QString& key);
    void ResetWorkerId();

private:
    [[nodiscard]] WorkerController* controller() const;
    void set(const char* name, const QVariant& value);

    ApplicationService* m_busObject;
    ControlService* m_service;
};

// Qt's own Properties implementation cannot refuse a value with InvalidArgs (its
// setters return nothing), so the object answers org.freedesktop.DBus.Properties itself.
// Adaptors are asked before Qt's built-in handlers; introspection still lists the
// standard interface once, which is why this one adds no XML of its own.
class PropertiesAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    Q_CLASSINFO("D-Bus Introspection", "")

public:
    PropertiesAdaptor(ApplicationService* busObject, ControlService* service);

public slots:
    QDBusVariant Get(const QString& interface, const QString& name);
    QVariantMap GetAll(const QString& interface);
    void Set(const QString& interface, const QString& name, const QDBusVariant& value);

private:
    // False after answering with an error: the interface is not ours.
    bool isControlInterface(const QString& interface);

    ApplicationService* m_busObject;
    ControlService* m_service;
};

} // namespace vxr
