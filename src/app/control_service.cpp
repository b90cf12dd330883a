#include "app/control_service.h"

#include "app/application_service.h"
#include "app/settings_screen_logic.h"
#include "controller/worker_controller.h"
#include "platform/cpu_topology.h"

#include <QDBusMessage>
#include <QMetaProperty>

#include <algorithm>
#include <cmath>

namespace vxr {

namespace {

using settings_screen::Stepper;

QString registrationText(const RegistrationStatus& status) {
    switch (status.kind) {
    case RegistrationStatus::Kind::registered:
        return QStringLiteral("registered ") + status.text;
    case RegistrationStatus::Kind::failed:
        return QStringLiteral("failed: ") + status.text;
    case RegistrationStatus::Kind::unknown:
        return QStringLiteral("unknown");
    case RegistrationStatus::Kind::checking:
        return QStringLiteral("checking");
    case RegistrationStatus::Kind::notRegistered:
        return QStringLiteral("not registered");
    case RegistrationStatus::Kind::registering:
        return QStringLiteral("registering");
    }
    return {};
}

// A writable property: the stepper that bounds it on the Settings screen (none for the
// checkboxes) and the controller setter the screen calls.
struct Writable {
    const char* name;
    std::optional<Stepper> (*bounds)();
    void (*apply)(WorkerController*, const QVariant&);
};

std::optional<Stepper> unbounded() {
    return std::nullopt;
}

const Writable kWritables[] = {
    {"ManualOverride", unbounded,
     [](WorkerController* c, const QVariant& v) { c->setManualOverride(v.toBool()); }},
    {"IdleRestrictionEnabled", unbounded,
     [](WorkerController* c, const QVariant& v) { c->setIdleRestrictionEnabled(v.toBool()); }},
    {"IdleThresholdMinutes", [] { return std::optional(settings_screen::idleThresholdStepper); },
     [](WorkerController* c, const QVariant& v) { c->setIdleThresholdMinutes(v.toDouble()); }},
    {"EnableWebGPU", unbounded,
     [](WorkerController* c, const QVariant& v) { c->setEnableWebGPU(v.toBool()); }},
    {"JoinGlobalGroup", unbounded,
     [](WorkerController* c, const QVariant& v) { c->setJoinGlobalGroup(v.toBool()); }},
    {"MemoryCapPercent", [] { return std::optional(settings_screen::memoryCapStepper); },
     [](WorkerController* c, const QVariant& v) { c->setMemoryCapPercent(v.toDouble()); }},
    {"YieldToOtherApps", unbounded,
     [](WorkerController* c, const QVariant& v) { c->setYieldToOtherApps(v.toBool()); }},
    {"MemoryHeadroomGB", [] { return std::optional(settings_screen::headroomStepper); },
     [](WorkerController* c, const QVariant& v) { c->setMemoryHeadroomGB(v.toDouble()); }},
    {"MaxSandboxes",
     [] { return std::optional(settings_screen::sandboxesStepper(activeProcessorCount())); },
     [](WorkerController* c, const QVariant& v) { c->setMaxSandboxes(v.toInt()); }},
};

QDBusError invalidArgs(const QString& message) {
    return QDBusError(QDBusError::InvalidArgs, message);
}

} // namespace

ControlService::ControlService(WorkerController* controller, ApplicationService* busObject,
                               QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
    , m_adaptor(new Control1Adaptor(busObject, this))
    , m_bus(std::move(bus)) {
    new PropertiesAdaptor(busObject, this);
    const QMetaObject* meta = m_adaptor->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        m_properties.append({QString::fromLatin1(meta->property(i).name()), meta->property(i)});
        m_sent.append(meta->property(i).read(m_adaptor));
    }
    using C = WorkerController;
    const std::pair<void (C::*)(), const char*> announced[] = {
        {&C::serviceRunningChanged, "ServiceRunning"},
        {&C::evaluatorsRunningChanged, "EvaluatorRunning"},
        {&C::isStoppingChanged, "Stopping"},
        {&C::idleSecondsChanged, "IdleSeconds"},
        {&C::onBatteryChanged, "OnBattery"},
        {&C::workerURLChanged, "WorkerURL"},
        {&C::totalEarningsChanged, "TotalEarnings"},
        {&C::earningsAccountChanged, "EarningsAccount"},
        {&C::registrationStatusChanged, "RegistrationStatus"},
        {&C::throttleNoticeChanged, "ThrottleNotice"},
        {&C::manualOverrideChanged, "ManualOverride"},
        {&C::idleRestrictionEnabledChanged, "IdleRestrictionEnabled"},
        {&C::idleThresholdMinutesChanged, "IdleThresholdMinutes"},
        {&C::enableWebGPUChanged, "EnableWebGPU"},
        {&C::joinGlobalGroupChanged, "JoinGlobalGroup"},
        {&C::memoryCapPercentChanged, "MemoryCapPercent"},
        {&C::yieldToOtherAppsChanged, "YieldToOtherApps"},
        {&C::memoryHeadroomGBChanged, "MemoryHeadroomGB"},
        {&C::maxSandboxesChanged, "MaxSandboxes"},
    };
    for (const auto& [signal, name] : announced) {
        const auto property =
            std::find_if(m_properties.cbegin(), m_properties.cend(),
                         [name = QLatin1String(name)](const auto& p) { return p.first == name; });
        Q_ASSERT(property != m_properties.cend());
        const qsizetype index = property - m_properties.cbegin();
        connect(controller, signal, this, [this, index] { publishChange(index); });
    }
}

QVariantMap ControlService::properties() const {
    QVariantMap values;
    for (const auto& [name, property] : m_properties)
        values.insert(name, property.read(m_adaptor));
    return values;
}

QVariant ControlService::value(const QString& name) const {
    const QMetaObject* meta = m_adaptor->metaObject();
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    return index < meta->propertyOffset() ? QVariant() : meta->property(index).read(m_adaptor);
}

std::optional<QDBusError> ControlService::write(const QString& name, const QVariant& value) {
    const QMetaObject* meta = m_adaptor->metaObject();
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    if (index < meta->propertyOffset())
        return QDBusError(QDBusError::UnknownProperty, QStringLiteral("No property ") + name);
    const QMetaProperty property = meta->property(index);
    const auto writable = std::find_if(std::begin(kWritables), std::end(kWritables),
                                       [&](const Writable& w) { return name == w.name; });
    if (writable == std::end(kWritables))
        return QDBusError(QDBusError::PropertyReadOnly, name + QStringLiteral(" is read-only"));
    // No conversions: a string or an integer for a number is a caller's mistake.
    if (value.metaType() != property.metaType())
        return invalidArgs(
            QStringLiteral("%1 takes type %2, not %3")
                .arg(name, QLatin1String(property.typeName()), QLatin1String(value.typeName())));
    // Any value between the stepper's bounds is taken, also one off its grid: the
    // steppers step from whatever is stored (a value set elsewhere, such as 0.5 minutes,
    // is kept as it is), so the grid is no rule of the setting itself. A value outside
    // the bounds is one the screen could never reach.
    if (const std::optional<Stepper> bounds = writable->bounds()) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || number < bounds->lower || number > bounds->upper)
            return invalidArgs(QStringLiteral("%1 must be between %2 and %3")
                                   .arg(name)
                                   .arg(bounds->lower)
                                   .arg(bounds->upper));
    }
    writable->apply(m_controller, value);
    return std::nullopt;
}

void ControlService::publishChange(qsizetype index) {
    QVariant now = m_properties[index].second.read(m_adaptor);
    if (now == m_sent[index])
        return;
    m_sent[index] = now;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(ApplicationService::objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(interfaceName)
           << QVariantMap{{m_properties[index].first, std::move(now)}} << QStringList();
    m_bus.send(signal);
}

// --- Control1Adaptor ---

Control1Adaptor::Control1Adaptor(ApplicationService* busObject, ControlService* service)
    : QDBusAbstractAdaptor(busObject)
    , m_busObject(busObject)
    , m_service(service) {}

WorkerController* Control1Adaptor::controller() const {
    return m_service->controller();
}

bool Control1Adaptor::serviceRunning() const {
    return controller()->serviceRunning();
}
bool Control1Adaptor::evaluatorRunning() const {
    return controller()->evaluatorsRunning();
}
bool Control1Adaptor::stopping() const {
    return controller()->isStopping();
}
double Control1Adaptor::idleSeconds() const {
    return controller()->idleSeconds();
}
QString Control1Adaptor::idleDetection() const {
    return controller()->idleSourceName();
}
bool Control1Adaptor::onBattery() const {
    return controller()->onBattery();
}
QString Control1Adaptor::workerURL() const {
    return controller()->workerURLValue().toString();
}
double Control1Adaptor::totalEarnings() const {
    return controller()->totalEarnings();
}
QString Control1Adaptor::earningsAccount() const {
    return controller()->earningsAccountValue();
}
QString Control1Adaptor::registrationStatus() const {
    return registrationText(controller()->registrationStatus());
}
QString Control1Adaptor::throttleNotice() const {
    return controller()->throttleNoticeValue();
}
bool Control1Adaptor::manualOverride() const {
    return controller()->manualOverride();
}
bool Control1Adaptor::idleRestrictionEnabled() const {
    return controller()->idleRestrictionEnabled();
}
double Control1Adaptor::idleThresholdMinutes() const {
    return controller()->idleThresholdMinutes();
}
bool Control1Adaptor::enableWebGPU() const {
    return controller()->enableWebGPU();
}
bool Control1Adaptor::joinGlobalGroup() const {
    return controller()->joinGlobalGroup();
}
double Control1Adaptor::memoryCapPercent() const {
    return controller()->memoryCapPercent();
}
bool Control1Adaptor::yieldToOtherApps() const {
    return controller()->yieldToOtherApps();
}
double Control1Adaptor::memoryHeadroomGB() const {
    return controller()->memoryHeadroomGB();
}
int Control1Adaptor::maxSandboxes() const {
    return controller()->maxSandboxes();
}

void Control1Adaptor::set(const char* name, const QVariant& value) {
    (void)m_service->write(QString::fromLatin1(name), value);
}
void Control1Adaptor::setManualOverride(bool value) {
    set("ManualOverride", value);
}
void Control1Adaptor::setIdleRestrictionEnabled(bool value) {
    set("IdleRestrictionEnabled", value);
}
void Control1Adaptor::setIdleThresholdMinutes(double value) {
    set("IdleThresholdMinutes", value);
}
void Control1Adaptor::setEnableWebGPU(bool value) {
    set("EnableWebGPU", value);
}
void Control1Adaptor::setJoinGlobalGroup(bool value) {
    set("JoinGlobalGroup", value);
}
void Control1Adaptor::setMemoryCapPercent(double value) {
    set("MemoryCapPercent", value);
}
void Control1Adaptor::setYieldToOtherApps(bool value) {
    set("YieldToOtherApps", value);
}
void Control1Adaptor::setMemoryHeadroomGB(double value) {
    set("MemoryHeadroomGB", value);
}
void Control1Adaptor::setMaxSandboxes(int value) {
    set("MaxSandboxes", value);
}

// The Start/Stop button's path: manualOverride, which starts or stops compute at once.
void Control1Adaptor::Start() {
    controller()->setManualOverride(true);
}
void Control1Adaptor::Stop() {
    controller()->setManualOverride(false);
}
void Control1Adaptor::Toggle() {
    controller()->toggleCompute();
}

void Control1Adaptor::Register(const QString& key) {
    if (key.isEmpty()) {
        m_busObject->sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("The key is empty"));
        return;
    }
    if (!settings_screen::canRegister(key, controller()->registrationStatus())) {
        m_busObject->sendErrorReply(QDBusError::Failed,
                                    QStringLiteral("A registration is under way"));
        return;
    }
    controller()->registerWorker(key);
}

void Control1Adaptor::ResetWorkerId() {
    controller()->resetWorkerId();
}

// --- PropertiesAdaptor ---

PropertiesAdaptor::PropertiesAdaptor(ApplicationService* busObject, ControlService* service)
    : QDBusAbstractAdaptor(busObject)
    , m_busObject(busObject)
    , m_service(service) {}

bool PropertiesAdaptor::isControlInterface(const QString& interface) {
    if (interface.isEmpty() || interface == QLatin1String(ControlService::interfaceName))
        return true;
    if (interface == QLatin1String(ApplicationService::interfaceName))
        m_busObject->sendErrorReply(QDBusError::UnknownProperty,
                                    interface + QStringLiteral(" has no properties"));
    else
        m_busObject->sendErrorReply(QDBusError::UnknownInterface,
                                    QStringLiteral("No interface ") + interface);
    return false;
}

QDBusVariant PropertiesAdaptor::Get(const QString& interface, const QString& name) {
    if (!isControlInterface(interface))
        return {};
    const QVariant value = m_service->value(name);
    if (!value.isValid())
        m_busObject->sendErrorReply(QDBusError::UnknownProperty,
                                    QStringLiteral("No property ") + name);
    return QDBusVariant(value);
}

QVariantMap PropertiesAdaptor::GetAll(const QString& interface) {
    // org.freedesktop.Application has none: an empty answer, as the built-in one gives.
    if (interface == QLatin1String(ApplicationService::interfaceName))
        return {};
    return isControlInterface(interface) ? m_service->properties() : QVariantMap();
}

void PropertiesAdaptor::Set(const QString& interface, const QString& name,
                            const QDBusVariant& value) {
    if (!isControlInterface(interface))
        return;
    if (const std::optional<QDBusError> refusal = m_service->write(name, value.variant()))
        m_busObject->sendErrorReply(refusal->type(), refusal->message());
}

} // namespace vxr
