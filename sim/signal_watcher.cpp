#include "signal_watcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vxr::sim {

namespace {

int g_fds[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const auto n = ::write(g_fds[0], &byte, 1);
}

} // namespace

SignalWatcher::SignalWatcher(bool ignoreTerm, QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0)
        return;
    ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_fds[1], &byte, 1) == 1) {
            m_received = int(byte);
            emit terminateRequested(m_received);
        }
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    if (ignoreTerm) {
        ::signal(SIGTERM, SIG_IGN);
    } else {
        ::sigaction(SIGTERM, &action, nullptr);
    }
}

int SignalWatcher::endAsAsked(int status) const {
    if (m_received == 0)
        return status;
    std::fflush(nullptr);
    ::signal(m_received, SIG_DFL);
    ::raise(m_received);
    return 128 + m_received; // only if the signal is blocked
}

} // namespace vxr::sim
