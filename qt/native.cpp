// The services on X11 (see services.h). The xcb connection is Qt's own when the
// application runs on X11; before the application exists (the command line is read
// first) a connection of our own is opened, so the window that was active at start
// can still be captured.
#include <xcb/xcb.h>

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QString>
#include <QUrl>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/idle_session.h"
#include "qt/services.h"

namespace quipix::platform {

namespace {

struct OwnConnection {
    xcb_connection_t* connection = nullptr;
    ~OwnConnection() {
        if (connection) xcb_disconnect(connection);
    }
};

xcb_connection_t* Connection() {
    if (QCoreApplication::instance()) {
        auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (!app) return nullptr;
        auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
        return x11 ? x11->connection() : nullptr;
    }
    static OwnConnection own;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const char* display = std::getenv("DISPLAY");
        if (display && *display) {
            xcb_connection_t* c = xcb_connect(nullptr, nullptr);
            if (xcb_connection_has_error(c)) {
                xcb_disconnect(c);
            } else {
                own.connection = c;
            }
        }
    }
    return own.connection;
}

xcb_window_t RootWindow(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem ? it.data->root : 0;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::uint32_t ToColorRef(const QColor& color) {
    return std::uint32_t(color.red()) | std::uint32_t(color.green()) << 8 | std::uint32_t(color.blue()) << 16;
}

WindowId ActiveWindow() {
    xcb_connection_t* c = Connection();
    if (!c) return 0;
    xcb_window_t root = RootWindow(c);
    xcb_atom_t active = Atom(c, "_NET_ACTIVE_WINDOW");
    if (!root || active == XCB_ATOM_NONE) return 0;
    auto cookie = xcb_get_property(c, 0, root, active, XCB_ATOM_WINDOW, 0, 1);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    xcb_window_t window;
    std::memcpy(&window, xcb_get_property_value(reply.get()), sizeof window);
    return window;
}

bool WindowRectangle(WindowId window, WindowRect& rect) {
    xcb_connection_t* c = Connection();
    if (!c || window == 0 || window > 0xFFFFFFFFu) return false;
    auto w = xcb_window_t(window);
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr), &std::free);
    if (!geometry) return false;
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> origin(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, geometry->root, 0, 0), nullptr),
        &std::free);
    if (!origin) return false;
    rect.Left = origin->dst_x;
    rect.Top = origin->dst_y;
    rect.Right = rect.Left + geometry->width;
    rect.Bottom = rect.Top + geometry->height;
    return true;
}

void Activate(WindowId window) {
    xcb_connection_t* c = Connection();
    if (!c || window == 0 || window > 0xFFFFFFFFu) return;
    xcb_window_t root = RootWindow(c);
    xcb_atom_t active = Atom(c, "_NET_ACTIVE_WINDOW");
    if (!root || active == XCB_ATOM_NONE) return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = active;
    event.data.data32[0] = 2;  // a pager asks: window managers honour it without focus-stealing checks
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

ScreenInfo Screen() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QSize size = screen->size();
            return {size.width(), size.height(), screen->depth()};
        }
        return {};
    }
    if (xcb_connection_t* c = Connection()) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        if (it.rem) return {it.data->width_in_pixels, it.data->height_in_pixels, it.data->root_depth};
    }
    return {};
}

std::uint32_t PaletteColor(int index) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return ClassicSysColor(index);
    const QPalette palette = QGuiApplication::palette();
    using R = QPalette::ColorRole;
    auto active = [&](R role) { return ToColorRef(palette.color(QPalette::Active, role)); };
    auto disabled = [&](R role) { return ToColorRef(palette.color(QPalette::Disabled, role)); };
    switch (index) {
    case 0:
        return active(R::Button);  // scroll bar
    case 2:
        return active(R::Highlight);  // active caption
    case 3:
        return active(R::Mid);  // inactive caption
    case 4:
        return active(R::Window);  // menu
    case 5:
        return active(R::Base);  // window
    case 6:
        return active(R::Shadow);  // window frame
    case 7:
        return active(R::WindowText);  // menu text
    case 8:
        return active(R::Text);  // window text
    case 9:
        return active(R::HighlightedText);  // caption text
    case 10:
    case 11:
        return active(R::Button);  // borders
    case 12:
        return active(R::Mid);  // MDI workspace
    case 13:
        return active(R::Highlight);
    case 14:
        return active(R::HighlightedText);
    case 15:
        return active(R::Button);  // button face
    case 16:
        return active(R::Dark);  // button shadow
    case 17:
        return disabled(R::Text);  // grey text
    case 18:
        return active(R::ButtonText);
    case 19:
        return disabled(R::WindowText);  // inactive caption text
    case 20:
        return active(R::Light);  // button highlight
    case 21:
        return active(R::Shadow);  // 3-D dark shadow
    case 22:
        return active(R::Midlight);  // 3-D light
    case 23:
        return active(R::ToolTipText);
    case 24:
        return active(R::ToolTipBase);
    case 26:
        return active(R::Link);  // hot-tracked item
    case 27:
        return active(R::Highlight);  // caption gradients
    case 28:
        return active(R::Mid);
    case 29:
        return active(R::Highlight);  // menu highlight
    case 30:
        return active(R::Window);  // menu bar
    default:
        return ClassicSysColor(index);  // the desktop, unused and unknown indexes
    }
}

void OpenWithDesktop(const std::string& address) {
    // The result is ignored: a desktop without a browser simply shows nothing.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

}  // namespace

Services QtServices() {
    return {.foregroundWindow = ActiveWindow,
            .getWindowRect = WindowRectangle,
            .activateWindow = Activate,
            .primaryScreen = Screen,
            .sysColor = PaletteColor,
            .showHelp = ShowHelpWindow,
            .openAddress = OpenWithDesktop,
            .idleAutostart = ReadIdleAutostart,
            .setIdleAutostart = SetIdleAutostart};
}

}  // namespace quipix::platform
