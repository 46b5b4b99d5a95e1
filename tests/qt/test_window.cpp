// quipix-test-window: a plain X11 top-level window for the preview system test. It
// prints its window id, then reads commands from stdin: "resize W H" and "quit".
// Usage: quipix-test-window [W H]
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    int w = 320, h = 240;
    if (argc == 3) {
        w = std::atoi(argv[1]);
        h = std::atoi(argv[2]);
    }
    if (w < 1 || h < 1 || w > 16384 || h > 16384) {
        std::cerr << "usage: quipix-test-window [W H]\n";
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::cerr << "quipix-test-window: cannot open the display\n";
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;

    const xcb_window_t window = xcb_generate_id(c);
    // A mid-grey background, so a child that draws nothing is told apart from one that does.
    const uint32_t values[] = {0x808080u, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, uint16_t(w), uint16_t(h), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const char title[] = "quipix-test-window";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        sizeof title - 1, title);
    xcb_map_window(c, window);
    xcb_flush(c);
    std::cout << window << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "quit") break;
        if (command == "resize") {
            int nw = 0, nh = 0;
            if (in >> nw >> nh && nw > 0 && nh > 0 && nw <= 16384 && nh <= 16384) {
                const uint32_t size[] = {uint32_t(nw), uint32_t(nh)};
                xcb_configure_window(c, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
                xcb_flush(c);
                std::cout << "resized" << std::endl;
            } else {
                std::cerr << "resize needs W H\n";
            }
        }
        // Drain events so the server never waits on us.
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) free(e);
    }
    xcb_destroy_window(c, window);
    xcb_flush(c);
    xcb_disconnect(c);
    return 0;
}
