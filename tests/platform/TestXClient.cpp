// A small X client for the workspace tests: one window with its process id, class, name
// and a 16x16 icon of one colour, mapped until its standard input closes. Prints the window's
// id once the window is mapped.
//   talvor_test_xclient INSTANCE CLASS TITLE RRGGBB [skip-taskbar]
#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s INSTANCE CLASS TITLE RRGGBB [skip-taskbar]\n", argv[0]);
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c) != 0) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screens.data->root, 10, 10, 120, 80, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screens.data->root_visual, 0, nullptr);

    std::string wmClass = std::string(argv[1]) + '\0' + argv[2] + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(wmClass.size()), wmClass.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_NAME"),
                        atom(c, "UTF8_STRING"), 8, static_cast<uint32_t>(std::strlen(argv[3])),
                        argv[3]);
    const uint32_t pid = static_cast<uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    std::vector<uint32_t> icon{16, 16};
    icon.resize(2 + 16 * 16,
                0xFF000000u | static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 16)));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_ICON"),
                        XCB_ATOM_CARDINAL, 32, static_cast<uint32_t>(icon.size()), icon.data());
    if (argc > 5 && std::strcmp(argv[5], "skip-taskbar") == 0) {
        const xcb_atom_t skip = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_STATE"),
                            XCB_ATOM_ATOM, 32, 1, &skip);
    }
    xcb_map_window(c, window);
    // A round trip: the window is mapped once the server answered.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::printf("%u\n", window);
    std::fflush(stdout);

    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    xcb_disconnect(c);
    return 0;
}
