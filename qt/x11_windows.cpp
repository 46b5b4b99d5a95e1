// Foreign X11 windows of the saver: Qt's connection, a foreign window's size and
// root, the parent watcher, and the black curtain on a connection of its own.
#include "qt/x11_windows.h"

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace quipix {

xcb_connection_t* X11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

platform::WindowId RootOf(platform::WindowId window) {
    xcb_connection_t* c = X11Connection();
    if (!c) return 0;
    xcb_get_geometry_reply_t* reply =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, xcb_drawable_t(window)), nullptr);
    if (!reply) return 0;
    const platform::WindowId root = reply->root;
    free(reply);
    return root;
}

bool NativeWindowSize(platform::WindowId window, int& width, int& height) {
    xcb_connection_t* c = X11Connection();
    if (!c) {
        platform::WindowRect r;
        if (!platform::GetWindowRect(window, r)) return false;
        width = r.Width();
        height = r.Height();
        return true;
    }
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* reply =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, xcb_drawable_t(window)), &error);
    free(error);
    if (!reply) return false;
    width = reply->width;
    height = reply->height;
    free(reply);
    return true;
}

PreviewParentWatcher::PreviewParentWatcher(platform::WindowId parent, std::function<void(int, int)> resized,
                                           std::function<void()> destroyed)
    : parent_(xcb_window_t(parent)), resized_(std::move(resized)), destroyed_(std::move(destroyed)) {
    if (xcb_connection_t* c = X11Connection()) {
        uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        if (xcb_get_window_attributes_reply_t* a =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, parent_), nullptr)) {
            mask |= a->your_event_mask;
            free(a);
        }
        xcb_change_window_attributes(c, parent_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
        qApp->installNativeEventFilter(this);
        installed_ = true;
    }
}

PreviewParentWatcher::~PreviewParentWatcher() {
    if (installed_ && qApp) qApp->removeNativeEventFilter(this);
}

bool PreviewParentWatcher::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7F) {
    case XCB_CONFIGURE_NOTIFY: {
        auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
        if (e->window == parent_) resized_(e->width, e->height);
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
        if (e->window == parent_) destroyed_();
        break;
    }
    default:
        break;
    }
    return false;
}

namespace {

// The curtain's own connection: closing it destroys the window.
xcb_connection_t* curtain = nullptr;

}  // namespace

void RaiseBlackCurtain() {
    if (curtain || !std::getenv("DISPLAY")) return;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    // Override-redirect, cleared to black by the server itself, selecting no input.
    const std::uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    xcb_flush(c);
    curtain = c;
}

bool CurtainSize(int& width, int& height) {
    if (!curtain) return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(curtain)).data;
    width = screen->width_in_pixels;
    height = screen->height_in_pixels;
    return true;
}

void LowerBlackCurtain() {
    if (!curtain) return;
    xcb_disconnect(curtain);
    curtain = nullptr;
}

}  // namespace quipix
