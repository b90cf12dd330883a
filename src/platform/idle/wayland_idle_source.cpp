#include "platform/idle/wayland_idle_source.h"

#include "ext-idle-notify-v1-client-protocol.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <cerrno>
#include <cstring>
#include <poll.h>

namespace vxr {

struct WaylandIdleSource::State {
    explicit State(qint64 timeoutMs)
        : tracker(timeoutMs) {
        clock.start();
    }
    ~State();

    void readEvents();
    bool dispatchQueued();
    bool roundtrip(int timeoutMs);
    void fail();

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* notifier = nullptr;
    ext_idle_notification_v1* notification = nullptr;
    uint32_t seatGlobal = 0;
    uint32_t notifierGlobal = 0;
    IdleNotificationTracker tracker;
    QElapsedTimer clock;
    std::unique_ptr<QSocketNotifier> readable;
    bool broken = false;
};

namespace {

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t /*version*/) {
    auto* state = static_cast<WaylandIdleSource::State*>(data);
    if (!state->notifier && std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
        state->notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        state->notifierGlobal = name;
    } else if (!state->seat && std::strcmp(interface, wl_seat_interface.name) == 0) {
        // No listener: the seat's own events are not needed and are dropped.
        state->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        state->seatGlobal = name;
    }
}

void onGlobalRemove(void* data, wl_registry* /*registry*/, uint32_t name) {
    auto* state = static_cast<WaylandIdleSource::State*>(data);
    if (name == state->seatGlobal || name == state->notifierGlobal)
        state->broken = true;
}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

void onIdled(void* data, ext_idle_notification_v1* /*notification*/) {
    auto* state = static_cast<WaylandIdleSource::State*>(data);
    state->tracker.idled(state->clock.elapsed());
}

void onResumed(void* data, ext_idle_notification_v1* /*notification*/) {
    auto* state = static_cast<WaylandIdleSource::State*>(data);
    state->tracker.resumed(state->clock.elapsed());
}

const ext_idle_notification_v1_listener kNotificationListener{onIdled, onResumed};

void onSyncDone(void* data, wl_callback* /*callback*/, uint32_t /*serial*/) {
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kSyncListener{onSyncDone};

} // namespace

WaylandIdleSource::State::~State() {
    readable.reset();
    if (notification)
        ext_idle_notification_v1_destroy(notification);
    if (notifier)
        ext_idle_notifier_v1_destroy(notifier);
    if (seat)
        wl_seat_destroy(seat);
    if (registry)
        wl_registry_destroy(registry);
    if (display)
        wl_display_disconnect(display);
}

void WaylandIdleSource::State::fail() {
    broken = true;
    if (readable)
        readable->setEnabled(false);
}

bool WaylandIdleSource::State::dispatchQueued() {
    if (wl_display_dispatch_pending(display) < 0 || wl_display_get_error(display) != 0)
        return false;
    // EAGAIN only means the socket is full; the rest goes out with the next flush.
    return wl_display_flush(display) >= 0 || errno == EAGAIN;
}

// Called when the socket is readable, so reading does not block.
void WaylandIdleSource::State::readEvents() {
    if (broken)
        return;
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return fail();
    }
    if (wl_display_read_events(display) < 0 || !dispatchQueued())
        fail();
}

// wl_display_roundtrip without the unbounded wait: a stuck compositor costs at most
// timeoutMs once, at set-up.
bool WaylandIdleSource::State::roundtrip(int timeoutMs) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &kSyncListener, &done);
    QElapsedTimer waited;
    waited.start();
    bool ok = true;
    while (!done && ok) {
        if (wl_display_prepare_read(display) != 0) {
            ok = wl_display_dispatch_pending(display) >= 0;
            continue;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            ok = false;
            break;
        }
        const qint64 left = timeoutMs - waited.elapsed();
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        const int ready = left > 0 ? poll(&fd, 1, int(left)) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            ok = ready < 0 && errno == EINTR;
            continue;
        }
        ok = wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
    }
    wl_callback_destroy(callback);
    return done && wl_display_get_error(display) == 0;
}

std::unique_ptr<WaylandIdleSource> WaylandIdleSource::connect(const QByteArray& socketName,
                                                              qint64 timeoutMs) {
    auto state = std::make_unique<State>(timeoutMs);
    state->display = wl_display_connect(socketName.isEmpty() ? nullptr : socketName.constData());
    if (!state->display)
        return nullptr;
    state->registry = wl_display_get_registry(state->display);
    wl_registry_add_listener(state->registry, &kRegistryListener, state.get());
    if (!state->roundtrip(kSetupTimeoutMs) || !state->notifier || !state->seat || state->broken)
        return nullptr;

    // The timer of a new notification starts at its creation, so an idle time that
    // began before this point is counted from here.
    state->notification = ext_idle_notifier_v1_get_idle_notification(
        state->notifier, uint32_t(timeoutMs), state->seat);
    ext_idle_notification_v1_add_listener(state->notification, &kNotificationListener, state.get());
    if (!state->roundtrip(kSetupTimeoutMs))
        return nullptr;

    State* raw = state.get();
    state->readable =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(state->display), QSocketNotifier::Read);
    QObject::connect(state->readable.get(), &QSocketNotifier::activated, state->readable.get(),
                     [raw] { raw->readEvents(); });
    return std::unique_ptr<WaylandIdleSource>(new WaylandIdleSource(std::move(state)));
}

WaylandIdleSource::WaylandIdleSource(std::unique_ptr<State> state)
    : m_state(std::move(state)) {}

WaylandIdleSource::~WaylandIdleSource() = default;

std::optional<double> WaylandIdleSource::idleSeconds() {
    if (!m_state->broken && !m_state->dispatchQueued())
        m_state->fail();
    if (m_state->broken)
        return std::nullopt;
    return m_state->tracker.idleSeconds(m_state->clock.elapsed());
}

} // namespace vxr
