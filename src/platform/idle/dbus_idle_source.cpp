#include "platform/idle/dbus_idle_source.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QVariantMap>

#include <ctime>
#include <limits>
#include <unistd.h>

namespace vxr {

namespace {

// An integer reply of any D-Bus integer type; other types count as no answer.
std::optional<qint64> nonNegativeInteger(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const quint64 v = value.toULongLong();
        if (v > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(v);
    }
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qint64 v = value.toLongLong();
        return v >= 0 ? std::optional<qint64>(v) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> millisecondsReply(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    if (const auto ms = nonNegativeInteger(reply.arguments().constFirst()))
        return double(*ms) / 1000.0;
    return std::nullopt;
}

qint64 clockMicroseconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

const QString kLogindService = QStringLiteral("org.freedesktop.login1");

} // namespace

DbusIdleSource::DbusIdleSource(QDBusConnection connection, QString name)
    : m_connection(std::move(connection))
    , m_name(std::move(name))
    , m_context(std::make_unique<QObject>()) {}

DbusIdleSource::~DbusIdleSource() = default;

bool DbusIdleSource::probe(int timeoutMs) {
    const QDBusMessage message = request();
    if (!m_connection.isConnected() || message.service().isEmpty())
        return false;
    m_latest = interpret(m_connection.call(message, QDBus::Block, timeoutMs));
    return m_latest.has_value();
}

std::optional<double> DbusIdleSource::idleSeconds() {
    const std::optional<double> answer = m_latest;
    refresh();
    return answer;
}

void DbusIdleSource::readIdleSeconds(QObject* context, IdleReadingHandler done) {
    const QDBusMessage message = request();
    if (!m_connection.isConnected() || message.service().isEmpty()) {
        done(std::nullopt);
        return;
    }
    // A question of its own, not the reply to an older one: a reading taken before
    // the user came back would keep compute running for another tick.
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, kReadTimeoutMs),
                                                m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_context.get(),
                     [this, watcher, guard = QPointer<QObject>(context), done = std::move(done)] {
                         watcher->deleteLater();
                         m_latest = interpret(watcher->reply());
                         if (guard)
                             done(m_latest);
                     });
}

void DbusIdleSource::refresh() {
    if (m_inFlight || !m_connection.isConnected())
        return;
    const QDBusMessage message = request();
    if (message.service().isEmpty())
        return;
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, kCallTimeoutMs),
                                                m_context.get());
    m_inFlight = watcher;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_context.get(), [this, watcher] {
        // A failed call (service gone, timeout) means "cannot tell" until
        // the service answers again.
        m_latest = interpret(watcher->reply());
        watcher->deleteLater();
    });
}

MutterIdleSource::MutterIdleSource(QDBusConnection sessionBus)
    : DbusIdleSource(std::move(sessionBus), QStringLiteral("GNOME Mutter")) {}

QDBusMessage MutterIdleSource::request() const {
    return QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                                          QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                                          QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                                          QStringLiteral("GetIdletime"));
}

std::optional<double> MutterIdleSource::interpret(const QDBusMessage& reply) const {
    return millisecondsReply(reply);
}

ScreenSaverIdleSource::ScreenSaverIdleSource(QDBusConnection sessionBus)
    : DbusIdleSource(std::move(sessionBus), QStringLiteral("ScreenSaver")) {}

QDBusMessage ScreenSaverIdleSource::request() const {
    return QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("GetSessionIdleTime"));
}

std::optional<double> ScreenSaverIdleSource::interpret(const QDBusMessage& reply) const {
    return millisecondsReply(reply);
}

LogindIdleSource::LogindIdleSource(QDBusConnection systemBus, QString sessionId)
    : DbusIdleSource(std::move(systemBus), QStringLiteral("logind"))
    , m_sessionId(std::move(sessionId)) {}

bool LogindIdleSource::probe(int timeoutMs) {
    if (!m_connection.isConnected())
        return false;
    const auto managerCall = [&](const QString& method, const QVariant& argument) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kLogindService, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), method);
        call << argument;
        const QDBusMessage reply = m_connection.call(call, QDBus::Block, timeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QString();
        return qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    };
    // A process started outside the session (a user service, say) belongs to none;
    // the session id from the environment still names the user's session.
    m_sessionPath =
        managerCall(QStringLiteral("GetSessionByPID"), QVariant::fromValue(uint(getpid())));
    if (m_sessionPath.isEmpty() && !m_sessionId.isEmpty())
        m_sessionPath = managerCall(QStringLiteral("GetSession"), QVariant(m_sessionId));
    if (m_sessionPath.isEmpty())
        return false;
    return DbusIdleSource::probe(timeoutMs);
}

QDBusMessage LogindIdleSource::request() const {
    if (m_sessionPath.isEmpty())
        return {};
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogindService, m_sessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    call << QStringLiteral("org.freedesktop.login1.Session");
    return call;
}

std::optional<double> LogindIdleSource::interpret(const QDBusMessage& reply) const {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const QVariant hint = properties.value(QStringLiteral("IdleHint"));
    if (hint.metaType().id() != QMetaType::Bool)
        return std::nullopt;
    if (!hint.toBool())
        return 0.0;
    // The monotonic stamp survives clock changes; older logind only has wall time.
    qint64 elapsedUs = -1;
    if (const auto since = nonNegativeInteger(properties.value("IdleSinceHintMonotonic"));
        since && *since > 0)
        elapsedUs = clockMicroseconds(CLOCK_MONOTONIC) - *since;
    else if (const auto wall = nonNegativeInteger(properties.value("IdleSinceHint"));
             wall && *wall > 0)
        elapsedUs = QDateTime::currentMSecsSinceEpoch() * 1000 - *wall;
    if (elapsedUs < 0)
        return 0.0;
    return double(elapsedUs) / 1e6;
}

} // namespace vxr
