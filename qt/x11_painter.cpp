// The direct X11 painter of the saver's scene and the expose watcher beside it.
#include "qt/x11_painter.h"

#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

#include "qt/pg_image.h"
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

}  // namespace

std::unique_ptr<DirectWindowPainter> DirectWindowPainter::For(QWidget* window) {
    xcb_connection_t* c = X11Connection();
    if (!c) return nullptr;
    const auto id = xcb_window_t(window->winId());
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return nullptr;
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    const xcb_visualid_t visual = a ? a->visual : 0;
    const int depth = g ? g->depth : 0;
    free(a);
    free(g);
    if (depth != 24 && depth != 32) return nullptr;
    bool thirtyTwoBits = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            thirtyTwoBits = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    if (!thirtyTwoBits || !RgbVisual(setup, visual)) return nullptr;
    return std::unique_ptr<DirectWindowPainter>(new DirectWindowPainter(c, id, depth));
}

DirectWindowPainter::DirectWindowPainter(xcb_connection_t* c, xcb_window_t window, int depth)
    : c_(c), window_(window), gc_(xcb_generate_id(c)), depth_(std::uint8_t(depth)) {
    const std::uint32_t noExposures = 0;
    xcb_create_gc(c_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    // The request header and the image's own fields take 24 bytes.
    maxRequestBytes_ = std::int64_t(xcb_get_maximum_request_length(c_)) * 4 - 64;
}

DirectWindowPainter::~DirectWindowPainter() {
    if (X11Connection() == c_) xcb_free_gc(c_, gc_);
}

void DirectWindowPainter::Paint(const TPixelGraphic* picture, const QRegion& region, const QColor& fill) {
    const QRect covered =
        picture && !picture->Empty() ? QRect(0, 0, picture->Width(), picture->Height()) : QRect();
    PaletteTable lut{};
    if (picture && picture->PixelFormat() != pgpf24Bit) MakePaletteTable(*picture, lut);
    for (const QRect& area : region) {
        const QRect r = area & covered;
        if (r.isEmpty()) continue;
        // Bands small enough for one request and for the cache.
        const std::int64_t rowBytes = std::int64_t(r.width()) * 4;
        const int rows = int(std::clamp<std::int64_t>(
            std::min<std::int64_t>(256 * 1024, maxRequestBytes_) / rowBytes, 1, r.height()));
        band_.resize(std::size_t(rowBytes) * std::size_t(rows));
        for (int y = r.top(); y <= r.bottom(); y += rows) {
            const int n = std::min(rows, r.bottom() + 1 - y);
            ConvertPixelGraphicRows(*picture, lut, r.left(), r.right() + 1, y, y + n, band_.data(),
                                    std::size_t(rowBytes));
            xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, std::uint16_t(r.width()),
                          std::uint16_t(n), std::int16_t(r.left()), std::int16_t(y), 0, depth_,
                          std::uint32_t(rowBytes * n), band_.data());
        }
    }
    const QRegion rest = region - QRegion(covered);
    if (!rest.isEmpty()) {
        const std::uint32_t pixel = 0xFF000000u | (std::uint32_t(fill.red()) << 16) |
                                    (std::uint32_t(fill.green()) << 8) | std::uint32_t(fill.blue());
        xcb_change_gc(c_, gc_, XCB_GC_FOREGROUND, &pixel);
        std::vector<xcb_rectangle_t> boxes;
        for (const QRect& r : rest)
            boxes.push_back({std::int16_t(r.x()), std::int16_t(r.y()), std::uint16_t(r.width()),
                             std::uint16_t(r.height())});
        xcb_poly_fill_rectangle(c_, window_, gc_, std::uint32_t(boxes.size()), boxes.data());
    }
    xcb_flush(c_);
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
