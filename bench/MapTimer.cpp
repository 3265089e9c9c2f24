// SPDX-License-Identifier: MIT
// orvantis-map-timer TITLE PROGRAM [ARGS...]: starts PROGRAM and prints the milliseconds
// from its start to the mapping of its first top-level window titled TITLE, then ends it
// with SIGTERM. Watches the root window's children, so run it without a window manager.
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string TitleOf(xcb_connection_t* x, xcb_window_t window) {
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(x, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 256);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x, cookie, nullptr), &std::free);
    if (!reply) {
        return {};
    }
    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(text, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

// Milliseconds until a window titled title is mapped; -1 after a minute or at an error.
double WaitForMap(xcb_connection_t* x, const std::string& title, Clock::time_point start) {
    pollfd watch{xcb_get_file_descriptor(x), POLLIN, 0};
    while (Clock::now() - start < std::chrono::minutes(1)) {
        for (xcb_generic_event_t* event; (event = xcb_poll_for_event(x)) != nullptr;) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            std::free(event);
            if (mapped && TitleOf(x, window) == title) {
                return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
        }
        if (xcb_connection_has_error(x) != 0 || poll(&watch, 1, 100) < 0) {
            return -1;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvantis-map-timer TITLE PROGRAM [ARGS...]\n");
        return 2;
    }
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x) != 0) {
        std::fprintf(stderr, "orvantis-map-timer: no display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask));

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    const double ms = WaitForMap(x, argv[1], start);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    xcb_disconnect(x);
    if (ms < 0) {
        std::fprintf(stderr, "orvantis-map-timer: no window titled %s\n", argv[1]);
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}
