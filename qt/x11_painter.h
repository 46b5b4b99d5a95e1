// Painting the saver's scene straight into its X window, past Qt's backing store,
// and hearing when the server lost part of that window's contents.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QRect>
#include <QRegion>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

#include "imaging/pixel_graphic.h"

class QWidget;

namespace quipix {

// Paints a picture straight into an X window with PutImage, a band of rows at a time,
// when the window's visual takes RGB32 pixels as they are. Qt's backing store would
// keep one more full-screen image of the scene in this process and copy every change
// through it.
class DirectWindowPainter {
public:
    // Null when the window is not on an X server or its pixels are laid out otherwise.
    static std::unique_ptr<DirectWindowPainter> For(QWidget* window);
    ~DirectWindowPainter();
    DirectWindowPainter(const DirectWindowPainter&) = delete;
    DirectWindowPainter& operator=(const DirectWindowPainter&) = delete;

    // Paints region of the window: the picture where it covers the region (it is
    // shown 1:1 at the top-left corner; null or empty covers nothing), fill elsewhere.
    void Paint(const TPixelGraphic* picture, const QRegion& region, const QColor& fill);

private:
    DirectWindowPainter(xcb_connection_t* c, xcb_window_t window, int depth);

    xcb_connection_t* c_;
    xcb_window_t window_;
    xcb_gcontext_t gc_;
    std::uint8_t depth_;
    std::int64_t maxRequestBytes_ = 0;
    std::vector<std::uint8_t> band_;  // keeps its memory from paint to paint
};

// Expose events of a window that Qt does not paint, so that the scene repaints what
// was lost; exposed gets each lost area.
class ExposeWatcher : public QAbstractNativeEventFilter {
public:
    ExposeWatcher(xcb_window_t window, std::function<void(const QRect&)> exposed);
    ~ExposeWatcher() override;
    ExposeWatcher(const ExposeWatcher&) = delete;
    ExposeWatcher& operator=(const ExposeWatcher&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override;

private:
    xcb_window_t window_;
    std::function<void(const QRect&)> exposed_;
};

}  // namespace quipix
