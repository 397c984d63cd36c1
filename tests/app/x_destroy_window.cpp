// Destroys an X window as another client may: the X server takes the window
// away without asking its owner or a window manager.
//   x_destroy_window WINDOW_ID
// Exit status 0 once destroyed, 1 when the server refused, 64 for a wrong command.
#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: x_destroy_window WINDOW_ID\n");
        return 64;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "x_destroy_window: no X server\n");
        return 1;
    }
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    xcb_generic_error_t* error =
        xcb_request_check(connection, xcb_destroy_window_checked(connection, window));
    const int status = error ? 1 : 0;
    if (error)
        std::fprintf(stderr, "x_destroy_window: X error %d\n", error->error_code);
    std::free(error);
    xcb_disconnect(connection);
    return status;
}
