#include "platform/idle/x11_idle_source.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <QSet>

#include <mutex>

namespace vxr {

struct X11IdleSource::State {
    Display* display = nullptr;
    XScreenSaverInfo* info = nullptr;
    bool broken = false;
};

namespace {

// Xlib's handlers are process-wide. Ours swallow errors on our own connections and
// hand everything else to whoever was installed before (Qt's xcb plugin, or Xlib's
// default), so other X users keep their behaviour.
std::mutex g_mutex;
QSet<Display*> g_ours;
XErrorHandler g_previousErrorHandler = nullptr;
XIOErrorHandler g_previousIoErrorHandler = nullptr;

int onXError(Display* display, XErrorEvent* event) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_mutex);
        if (g_ours.contains(display))
            return 0;
        previous = g_previousErrorHandler;
    }
    return previous ? previous(display, event) : 0;
}

// Xlib's default prints and exits when a connection breaks; for ours it only returns,
// and Xlib then calls the per-display exit handler below instead of exit().
int onXIoError(Display* display) {
    XIOErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_mutex);
        if (g_ours.contains(display))
            return 0;
        previous = g_previousIoErrorHandler;
    }
    return previous ? previous(display) : 0;
}

// Called instead of exit() when our connection breaks (the server went away).
void onIoErrorExit(Display* /*display*/, void* userData) {
    static_cast<X11IdleSource::State*>(userData)->broken = true;
}

void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        XErrorHandler previous = XSetErrorHandler(onXError);
        XIOErrorHandler previousIo = XSetIOErrorHandler(onXIoError);
        std::lock_guard lock(g_mutex);
        g_previousErrorHandler = previous;
        g_previousIoErrorHandler = previousIo;
    });
}

} // namespace

std::unique_ptr<X11IdleSource> X11IdleSource::open(const QByteArray& displayName) {
    if (displayName.isEmpty())
        return nullptr;
    installErrorHandler();
    Display* display = XOpenDisplay(displayName.constData());
    if (!display)
        return nullptr;
    auto state = std::make_unique<State>();
    state->display = display;
    {
        std::lock_guard lock(g_mutex);
        g_ours.insert(display);
    }
    XSetIOErrorExitHandler(display, onIoErrorExit, state.get());
    int eventBase = 0;
    int errorBase = 0;
    if (XScreenSaverQueryExtension(display, &eventBase, &errorBase))
        state->info = XScreenSaverAllocInfo();
    auto source = std::unique_ptr<X11IdleSource>(new X11IdleSource(std::move(state)));
    if (!source->idleSeconds())
        return nullptr;
    return source;
}

X11IdleSource::X11IdleSource(std::unique_ptr<State> state)
    : m_state(std::move(state)) {}

X11IdleSource::~X11IdleSource() {
    if (m_state->info)
        XFree(m_state->info);
    // Still ours while closing: closing a broken connection reports the error again.
    XCloseDisplay(m_state->display);
    std::lock_guard lock(g_mutex);
    g_ours.remove(m_state->display);
}

std::optional<double> X11IdleSource::idleSeconds() {
    if (m_state->broken || !m_state->info)
        return std::nullopt;
    const Status ok =
        XScreenSaverQueryInfo(m_state->display, DefaultRootWindow(m_state->display), m_state->info);
    if (!ok || m_state->broken)
        return std::nullopt;
    return double(m_state->info->idle) / 1000.0;
}

} // namespace vxr
