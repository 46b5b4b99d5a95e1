// The direct X11 painter of the saver's scene and the expose watcher beside it.
#include "qt/x11_painter.h"

#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include "qt/x11_windows.h"

namespace quipix {

namespace {

// A true-colour visual with red, green and blue in the bytes of 0x00RRGGBB.
bool RgbVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == id)
                    return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000 &&
                           v.data->green_mask == 0xFF00 && v.data->blue_mask == 0xFF;
    return false;
}

// Memory is shared only with a server on this machine: one reached through a local
// socket (a remote server would attach a segment of its own machine's).
bool LocalServer(xcb_connection_t* c) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    return getsockname(xcb_get_file_descriptor(c), reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
           address.ss_family == AF_UNIX;
}

// Bands of rows small enough for the cache between their conversion and the copy.
constexpr std::int64_t kPutImageBand = 256 * 1024;

}  // namespace

std::unique_ptr<DirectWindowPainter> DirectWindowPainter::For(QWidget* window) {
    if (!X11Connection()) return nullptr;
    const auto id = xcb_window_t(window->winId());
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    // Without the window on this connection's server (another display than Qt's) there
    // is nothing to paint.
    const xcb_visualid_t visual = a ? a->visual : 0;
    const int depth = g ? g->depth : 0;
    const int width = g ? g->width : 0, height = g ? g->height : 0;
    free(a);
    free(g);
    bool thirtyTwoBits = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            thirtyTwoBits = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || (depth != 24 && depth != 32) ||
        !thirtyTwoBits || !RgbVisual(setup, visual)) {
        xcb_disconnect(c);
        return nullptr;
    }
    std::unique_ptr<DirectWindowPainter> painter(new DirectWindowPainter(c, id, depth));
    if (!std::getenv("QUIPIX_NO_MIT_SHM")) painter->ShareMemory(width, height);
    return painter;
}

DirectWindowPainter::DirectWindowPainter(xcb_connection_t* c, xcb_window_t window, int depth)
    : c_(c), window_(window), gc_(xcb_generate_id(c)), depth_(std::uint8_t(depth)) {
    const std::uint32_t noExposures = 0;
    xcb_create_gc(c_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    // The request header and the image's own fields take 24 bytes.
    maxRequestBytes_ = std::int64_t(xcb_get_maximum_request_length(c_)) * 4 - 64;
}

DirectWindowPainter::~DirectWindowPainter() {
    // The server keeps its own mapping for as long as it reads; closing the connection
    // frees the graphics context and lets the server detach the segment.
    if (shared_) shmdt(shared_);
    xcb_disconnect(c_);
}

bool DirectWindowPainter::ShareMemory(int width, int height) {
    if (!LocalServer(c_)) return false;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c_, &xcb_shm_id);
    if (!ext || !ext->present) return false;
    // An eighth of a full-screen repaint per half: a strip or a few frames' worth of
    // them fits, and a whole screen passes in eight turns.
    const std::size_t frameBytes = std::size_t(std::max(width, 1)) * std::size_t(std::max(height, 1)) * 4;
    halfBytes_ = std::clamp<std::size_t>(frameBytes / 8, 512 * 1024, 4 * 1024 * 1024);
    const int id = shmget(IPC_PRIVATE, 2 * halfBytes_, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* memory = shmat(id, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    segment_ = xcb_generate_id(c_);
    xcb_generic_error_t* error =
        xcb_request_check(c_, xcb_shm_attach_checked(c_, segment_, std::uint32_t(id), 1));
    // Attached (or refused), the segment goes once both sides let go of it.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        free(error);
        shmdt(memory);
        return false;
    }
    shared_ = static_cast<std::uint8_t*>(memory);
    return true;
}

std::uint8_t* DirectWindowPainter::SharedRoom(std::size_t bytes, std::uint32_t& offset) {
    if (used_ + bytes > halfBytes_) {
        // Moving on: a round trip tells when the server has read this half.
        fence_[half_] = xcb_get_input_focus(c_);
        fencePending_[half_] = true;
        half_ ^= 1;
        used_ = 0;
        if (fencePending_[half_]) {
            free(xcb_get_input_focus_reply(c_, fence_[half_], nullptr));
            fencePending_[half_] = false;
        }
    }
    offset = std::uint32_t(std::size_t(half_) * halfBytes_ + used_);
    used_ += bytes;
    return shared_ + offset;
}

void DirectWindowPainter::Paint(const TSceneFrame& frame, const QRegion& region) {
    for (const QRect& r : region) {
        if (r.isEmpty()) continue;
        const std::int64_t rowBytes = std::int64_t(r.width()) * 4;
        const std::int64_t limit =
            shared_ ? std::int64_t(halfBytes_) : std::min(kPutImageBand, maxRequestBytes_);
        const int rows = int(std::clamp<std::int64_t>(limit / rowBytes, 1, r.height()));
        if (!shared_) band_.resize(std::size_t(rowBytes) * std::size_t(rows));
        for (int y = r.top(); y <= r.bottom(); y += rows) {
            const int n = std::min(rows, r.bottom() + 1 - y);
            const TRect area{r.left(), y, r.right() + 1, y + n};
            const std::size_t bytes = std::size_t(rowBytes) * std::size_t(n);
            if (shared_ && bytes <= halfBytes_) {
                std::uint32_t offset = 0;
                std::uint8_t* room = SharedRoom(bytes, offset);
                ConvertFrameRows(frame, area, room, std::size_t(rowBytes));
                xcb_shm_put_image(c_, window_, gc_, std::uint16_t(r.width()), std::uint16_t(n), 0, 0,
                                  std::uint16_t(r.width()), std::uint16_t(n), std::int16_t(r.left()),
                                  std::int16_t(y), depth_, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment_, offset);
            } else {
                band_.resize(std::max(band_.size(), bytes));
                ConvertFrameRows(frame, area, band_.data(), std::size_t(rowBytes));
                xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, std::uint16_t(r.width()),
                              std::uint16_t(n), std::int16_t(r.left()), std::int16_t(y), 0, depth_,
                              std::uint32_t(bytes), band_.data());
            }
        }
    }
    xcb_flush(c_);
    // Nothing here asks for events; errors (a window already gone) are dropped.
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) free(e);
}

ExposeWatcher::ExposeWatcher(xcb_window_t window, std::function<void(const QRect&)> exposed)
    : window_(window), exposed_(std::move(exposed)) {
    qApp->installNativeEventFilter(this);
}

ExposeWatcher::~ExposeWatcher() {
    if (qApp) qApp->removeNativeEventFilter(this);
}

bool ExposeWatcher::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_EXPOSE) return false;
    auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
    if (e->window == window_) exposed_(QRect(e->x, e->y, e->width, e->height));
    return false;
}

}  // namespace quipix
