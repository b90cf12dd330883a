#include "app/application_service.h"

#include "core/diagnostics.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace vxr {

ApplicationService::ApplicationService(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {
    new FreedesktopApplicationAdaptor(this);
}

ApplicationService::~ApplicationService() {
    if (m_registered) {
        m_bus.unregisterService(QString::fromLatin1(serviceName));
        m_bus.unregisterObject(QString::fromLatin1(objectPath));
    }
}

bool ApplicationService::claim() {
    if (!m_bus.isConnected())
        return false;
    // The object first, so a caller that sees the name also finds the interface.
    if (!m_bus.registerObject(QString::fromLatin1(objectPath), this,
                              QDBusConnection::ExportAdaptors))
        return false;
    // Without queueing: if the name is taken we are the second instance.
    const auto reply = m_bus.interface()->registerService(
        QString::fromLatin1(serviceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(QString::fromLatin1(objectPath));
        return false;
    }
    m_registered = true;
    return true;
}

bool ApplicationService::activateRunningInstance(QDBusConnection bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
        QString::fromLatin1(interfaceName), QStringLiteral("Activate"));
    call << QVariantMap{};
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

FreedesktopApplicationAdaptor::FreedesktopApplicationAdaptor(ApplicationService* service)
    : QDBusAbstractAdaptor(service)
    , m_service(service) {}

void FreedesktopApplicationAdaptor::Activate(const QVariantMap&) {
    emit m_service->activateRequested();
}

void FreedesktopApplicationAdaptor::Open(const QStringList&, const QVariantMap&) {
    // The app opens no documents; opening means showing it.
    emit m_service->activateRequested();
}

void FreedesktopApplicationAdaptor::ActivateAction(const QString& actionName, const QVariantList&,
                                                   const QVariantMap&) {
    if (actionName == QLatin1String("toggle") || actionName == QLatin1String("show") ||
        actionName == QLatin1String("quit")) {
        emit m_service->actionRequested(actionName);
        return;
    }
    writeDiagnostic(QStringLiteral("Unknown application action: ") + actionName);
}

} // namespace vxr
