// Painting the saver's scene straight into its X window, past Qt's backing store,
// and hearing when the server lost part of that window's contents.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QRect>
#include <QRegion>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/shm.h>

#include "saver/scene_frame.h"

class QWidget;

namespace quipix {

// Paints a scene frame straight into an X window when the window's visual takes 32-bit
// pixels as they are, converting only the area asked for. Where the server shares
// memory with us (MIT-SHM, a local server) the rows are converted into a shared segment
// and the server copies them from there; otherwise they go through the socket with
// PutImage, a band at a time. The painter has an X connection of its own, read by
// nobody else, so that the server's answers it waits for wake no other thread.
//
// The environment variable QUIPIX_NO_MIT_SHM (any value) forces the PutImage path, so
// that both can be tried on a server that has the extension.
class DirectWindowPainter {
public:
    // Null when the window is not on an X server or its pixels are laid out otherwise.
    static std::unique_ptr<DirectWindowPainter> For(QWidget* window);
    ~DirectWindowPainter();
    DirectWindowPainter(const DirectWindowPainter&) = delete;
    DirectWindowPainter& operator=(const DirectWindowPainter&) = delete;

    // Paints region of the window (window pixels) from frame.
    void Paint(const TSceneFrame& frame, const QRegion& region);
    // True when rows go through shared memory.
    bool SharesMemory() const { return shared_ != nullptr; }

private:
    DirectWindowPainter(xcb_connection_t* c, xcb_window_t window, int depth);
    // Sets the shared segment up for a window of width x height; false leaves PutImage.
    bool ShareMemory(int width, int height);
    // Room for bytes in the shared segment, once the server has read what was there.
    std::uint8_t* SharedRoom(std::size_t bytes, std::uint32_t& offset);

    xcb_connection_t* c_;
    xcb_window_t window_;
    xcb_gcontext_t gc_;
    std::uint8_t depth_;
    std::int64_t maxRequestBytes_ = 0;
    std::vector<std::uint8_t> band_;  // PutImage's rows; keeps its memory from paint to paint

    // The shared segment is used as two halves in turn. Before a half is written again
    // the server must have read it: a round trip sent when the painter moved on from it
    // answers that, and by then its answer has usually long arrived.
    xcb_shm_seg_t segment_ = 0;
    std::uint8_t* shared_ = nullptr;
    std::size_t halfBytes_ = 0;
    int half_ = 0;          // the half being filled
    std::size_t used_ = 0;  // bytes of it already handed to the server
    xcb_get_input_focus_cookie_t fence_[2]{};
    bool fencePending_[2] = {false, false};
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
