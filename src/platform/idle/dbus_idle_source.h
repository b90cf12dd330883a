#pragma once

#include "platform/idle_time_source.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QDBusPendingCallWatcher;

namespace vxr {

// An idle source that asks one D-Bus method. Reads never wait: idleSeconds() answers
// from the latest reply and sends the next call in the background (one at a time, with
// a timeout, so a hung service cannot pile calls up). Only probe() waits, bounded,
// when the source is chosen.
class DbusIdleSource : public IdleTimeSource {
public:
    ~DbusIdleSource() override;

    [[nodiscard]] QString name() const override { return m_name; }
    [[nodiscard]] std::optional<double> idleSeconds() override;
    void readIdleSeconds(QObject* context, IdleReadingHandler done) override;

    // Asks once and waits at most timeoutMs; true when the answer was usable.
    [[nodiscard]] virtual bool probe(int timeoutMs);

    static constexpr int kCallTimeoutMs = 2000;
    // A reading a decision waits for: well within one 3-second tick.
    static constexpr int kReadTimeoutMs = 1000;

protected:
    DbusIdleSource(QDBusConnection connection, QString name);

    // The call to send; a null message (no service) means nothing can be asked.
    [[nodiscard]] virtual QDBusMessage request() const = 0;
    // Idle seconds from one reply; nullopt when it carries no usable value.
    [[nodiscard]] virtual std::optional<double> interpret(const QDBusMessage& reply) const = 0;

    QDBusConnection m_connection;

private:
    void refresh();

    QString m_name;
    std::optional<double> m_latest;
    std::unique_ptr<QObject> m_context; // owns the watcher in flight
    QPointer<QDBusPendingCallWatcher> m_inFlight;
};

// GNOME Shell's Mutter IdleMonitor: GetIdletime() in milliseconds (X11 and Wayland).
class MutterIdleSource final : public DbusIdleSource {
public:
    explicit MutterIdleSource(QDBusConnection sessionBus);

protected:
    [[nodiscard]] QDBusMessage request() const override;
    [[nodiscard]] std::optional<double> interpret(const QDBusMessage& reply) const override;
};

// org.freedesktop.ScreenSaver GetSessionIdleTime(), milliseconds despite the name (KDE).
class ScreenSaverIdleSource final : public DbusIdleSource {
public:
    explicit ScreenSaverIdleSource(QDBusConnection sessionBus);

protected:
    [[nodiscard]] QDBusMessage request() const override;
    [[nodiscard]] std::optional<double> interpret(const QDBusMessage& reply) const override;
};

// systemd-logind's session IdleHint / IdleSinceHint: coarse (the desktop decides when
// the session counts as idle), the last resort.
class LogindIdleSource final : public DbusIdleSource {
public:
    // sessionId is $XDG_SESSION_ID, used when this process belongs to no session.
    LogindIdleSource(QDBusConnection systemBus, QString sessionId);

    // Finds the session object first, then asks it.
    [[nodiscard]] bool probe(int timeoutMs) override;
    [[nodiscard]] QString sessionPath() const { return m_sessionPath; }

protected:
    [[nodiscard]] QDBusMessage request() const override;
    [[nodiscard]] std::optional<double> interpret(const QDBusMessage& reply) const override;

private:
    QString m_sessionId;
    QString m_sessionPath;
};

} // namespace vxr
