// A minimal Wayland compositor for tests: one seat and an ext_idle_notifier_v1 whose
// notifications go idle or resume when told on standard input ("idle", "resume").
// It reports each new notification as "notification <timeout>" on standard output.
// Usage: fake_idle_compositor <socket name> [--no-notifier]; XDG_RUNTIME_DIR must be set.

#include "ext-idle-notify-v1-server-protocol.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
extern "C" {
#include "ext-idle-notify-v1-server-code.c"
}
#pragma GCC diagnostic pop

#include <wayland-server.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

wl_display* g_display = nullptr;
std::vector<wl_resource*> g_notifications;
std::string g_input;

void destroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

void forgetNotification(wl_resource* resource) {
    std::erase(g_notifications, resource);
}

const struct ext_idle_notification_v1_interface kNotificationImpl { destroyResource };

void getIdleNotification(wl_client* client, wl_resource* resource, uint32_t id, uint32_t timeout,
                         wl_resource* /*seat*/) {
    wl_resource* notification = wl_resource_create(client, &ext_idle_notification_v1_interface,
                                                   wl_resource_get_version(resource), id);
    wl_resource_set_implementation(notification, &kNotificationImpl, nullptr, forgetNotification);
    g_notifications.push_back(notification);
    std::printf("notification %u\n", timeout);
    std::fflush(stdout);
}

const struct ext_idle_notifier_v1_interface kNotifierImpl { destroyResource, getIdleNotification };

void bindNotifier(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* resource =
        wl_resource_create(client, &ext_idle_notifier_v1_interface, int(version), id);
    wl_resource_set_implementation(resource, &kNotifierImpl, nullptr, nullptr);
}

void bindSeat(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* resource = wl_resource_create(client, &wl_seat_interface, int(version), id);
    wl_resource_set_implementation(resource, nullptr, nullptr, nullptr);
    wl_seat_send_capabilities(resource, WL_SEAT_CAPABILITY_POINTER);
}

int onInput(int fd, uint32_t, void*) {
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        wl_display_terminate(g_display);
        return 0;
    }
    g_input.append(buffer, size_t(n));
    for (size_t end; (end = g_input.find('\n')) != std::string::npos; g_input.erase(0, end + 1)) {
        const std::string line = g_input.substr(0, end);
        for (wl_resource* notification : g_notifications) {
            if (line == "idle")
                ext_idle_notification_v1_send_idled(notification);
            else if (line == "resume")
                ext_idle_notification_v1_send_resumed(notification);
        }
        if (line == "quit")
            wl_display_terminate(g_display);
    }
    wl_display_flush_clients(g_display);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    g_display = wl_display_create();
    if (wl_display_add_socket(g_display, argv[1]) != 0)
        return 3;
    wl_global_create(g_display, &wl_seat_interface, 1, nullptr, bindSeat);
    if (argc < 3 || std::strcmp(argv[2], "--no-notifier") != 0)
        wl_global_create(g_display, &ext_idle_notifier_v1_interface, 1, nullptr, bindNotifier);
    wl_event_loop_add_fd(wl_display_get_event_loop(g_display), STDIN_FILENO, WL_EVENT_READABLE,
                         onInput, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    wl_display_run(g_display);
    wl_display_destroy_clients(g_display);
    wl_display_destroy(g_display);
    return 0;
}
