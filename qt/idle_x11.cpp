#include "qt/idle_x11.h"

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstring>

#include "common/translate.h"

namespace quipix {

namespace {

// The root window has a child with xscreensaver's mark.
bool Marked(xcb_connection_t* c) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char name[] = "_SCREENSAVER_VERSION";
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::strlen(name), name), nullptr);
    if (!atom) return false;
    const xcb_atom_t version = atom->atom;
    free(atom);
    if (version == XCB_ATOM_NONE) return false;
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree) return false;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    bool found = false;
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        auto* property = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], version, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
        found = property && property->type != XCB_ATOM_NONE;
        free(property);
    }
    free(tree);
    return found;
}

}  // namespace

// xscreensaver's daemon marks a window of its own, a child of the root, with this
// property; its own xscreensaver-command finds it the same way.
bool X11IdleSource::XScreensaverRuns() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool runs = !xcb_connection_has_error(c) && Marked(c);
    xcb_disconnect(c);
    return runs;
}

std::unique_ptr<X11IdleSource> X11IdleSource::Connect(std::string& why) {
    std::unique_ptr<X11IdleSource> source(new X11IdleSource);
    xcb_connection_t* c = source->connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return nullptr;
    source->root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (!extension || !extension->present) {
        why = Tr("the X server has no MIT-SCREEN-SAVER extension");
        return nullptr;
    }
    source->timer_.setSingleShot(true);
    QObject::connect(&source->timer_, &QTimer::timeout, [s = source.get()] { s->Poll(); });
    return source;
}

X11IdleSource::~X11IdleSource() {
    if (connection_) xcb_disconnect(connection_);
}

void X11IdleSource::Watch(int ms, IdleListener& listener) {
    ms_ = ms;
    listener_ = &listener;
    Poll();
}

void X11IdleSource::Poll() {
    auto* info = xcb_screensaver_query_info_reply(connection_, xcb_screensaver_query_info(connection_, root_), nullptr);
    if (!info) {
        if (Gone) Gone();
        return;
    }
    const std::uint32_t idleMs = info->ms_since_user_input;
    free(info);
    // Once idle, the time only grows until input: a smaller one means input came.
    if (idle_ && idleMs < lastIdleMs_) {
        idle_ = false;
        listener_->Active();
    }
    lastIdleMs_ = idleMs;
    if (!idle_ && idleMs >= std::uint32_t(ms_)) {
        idle_ = true;
        listener_->Idle();
    }
    timer_.start(idle_ ? 1000 : int(std::uint32_t(ms_) - idleMs));
}

}  // namespace quipix
