// The saver window: one image control over the whole client area, one precise timer
// driving the engine, and the closing rules (any key or button, or the seventh mouse
// move or release). Full screen it covers one monitor, bypasses the window manager
// and grabs keyboard and pointer; as a preview or an xscreensaver module it lives
// inside a foreign X11 window and takes no input. The scene is in device pixels and
// repaints at most once per display frame, while the engine ticks every 10 ms.
#include "qt/saver_window.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <exception>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <vector>
#include <xcb/xcb.h>

#include "qt/pg_image.h"
#include "qt/qt_text_engine.h"
#include "imaging/text_engine.h"

namespace quipix {

namespace {

xcb_connection_t* X11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The root window of the screen that holds window.
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

// Repaints per second of the screen; Xvfb and some drivers report nothing useful.
int FrameIntervalFor(const QScreen* screen) {
    double hz = screen ? screen->refreshRate() : 0;
    if (!(hz >= 20 && hz <= 500)) hz = 60;
    return std::max(1, int(std::lround(1000.0 / hz)));
}

}  // namespace

// Paints a picture straight into an X window with PutImage, a band of rows at a time,
// when the window's visual takes RGB32 pixels as they are. Qt's backing store would
// keep one more full-screen image of the scene in this process and copy every change
// through it.
class DirectWindowPainter {
public:
    // Null when the window is not on an X server or its pixels are laid out otherwise.
    static std::unique_ptr<DirectWindowPainter> For(QWidget* window) {
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
    ~DirectWindowPainter() {
        if (X11Connection() == c_) xcb_free_gc(c_, gc_);
    }
    DirectWindowPainter(const DirectWindowPainter&) = delete;
    DirectWindowPainter& operator=(const DirectWindowPainter&) = delete;

    void Paint(const TPixelGraphic* picture, const QRegion& region, const QColor& fill) {
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

private:
    DirectWindowPainter(xcb_connection_t* c, xcb_window_t window, int depth)
        : c_(c), window_(window), gc_(xcb_generate_id(c)), depth_(std::uint8_t(depth)) {
        const std::uint32_t noExposures = 0;
        xcb_create_gc(c_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        // The request header and the image's own fields take 24 bytes.
        maxRequestBytes_ = std::int64_t(xcb_get_maximum_request_length(c_)) * 4 - 64;
    }
    // A true-colour visual with red, green and blue in the bytes of 0x00RRGGBB.
    static bool RgbVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
        for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
            for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
                for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                    if (v.data->visual_id == id)
                        return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                               v.data->red_mask == 0xFF0000 && v.data->green_mask == 0xFF00 &&
                               v.data->blue_mask == 0xFF;
        return false;
    }

    xcb_connection_t* c_;
    xcb_window_t window_;
    xcb_gcontext_t gc_;
    std::uint8_t depth_;
    std::int64_t maxRequestBytes_ = 0;
    std::vector<std::uint8_t> band_;  // keeps its memory from paint to paint
};

namespace {

// The image control painted in device pixels: its picture is the scene at full device
// resolution, so one picture pixel is one screen pixel whatever the scaling.
class ScenePicture : public TPGImage {
public:
    using TPGImage::TPGImage;
    // Paints through painter instead of Qt's backing store, asking frameDue for each
    // repaint; null goes back to Qt.
    void PaintDirectly(DirectWindowPainter* painter, std::function<void()> frameDue) {
        direct_ = painter;
        frameDue_ = std::move(frameDue);
        pending_ = QRegion();
    }
    // Paints what changed since the last frame.
    void PaintPending() {
        if (!direct_ || pending_.isEmpty()) return;
        const QRegion area = pending_;
        pending_ = QRegion();
        direct_->Paint(PixelGraphic(), area, Color());
    }
    // The window server lost part of the window's contents.
    void Exposed(const QRect& area) { Invalidate(area); }

protected:
    void Invalidate(const QRect& area) override {
        if (!direct_) {
            TPGImage::Invalidate(area);
            return;
        }
        pending_ += area.isNull() ? rect() : area;
        if (frameDue_) frameDue_();
    }
    void paintEvent(QPaintEvent* event) override {
        if (direct_) {
            // Qt has no surface to paint on here: the next frame paints it.
            pending_ += event->region();
            if (frameDue_) frameDue_();
            return;
        }
        const double ratio = devicePixelRatioF();
        if (ratio == 1.0) {
            TPGImage::paintEvent(event);
            return;
        }
        QPainter painter(this);
        const TPixelGraphic* shown = PixelGraphic();
        const int w = shown && !shown->Empty() ? shown->Width() : 0;
        const int h = w > 0 ? shown->Height() : 0;
        const QRectF covered(0, 0, w / ratio, h / ratio);
        for (const QRect& r : event->region()) {
            const QRectF target = QRectF(r) & covered;
            if (target.isEmpty()) continue;
            const QRect source = QRectF(target.x() * ratio, target.y() * ratio, target.width() * ratio,
                                        target.height() * ratio)
                                     .toAlignedRect() &
                                 QRect(0, 0, w, h);
            // Scaling needs the neighbours of the area too: the whole picture is held
            // converted, refreshed where it is repainted.
            ConvertPixelGraphicArea(*shown, scaled_, source.left(), source.top(), source.right() + 1,
                                    source.bottom() + 1);
            painter.drawImage(target, scaled_, QRectF(source));
        }
        const QRegion rest = event->region() - QRegion(covered.toAlignedRect());
        for (const QRect& r : rest) painter.fillRect(r, Color());
    }

private:
    DirectWindowPainter* direct_ = nullptr;
    std::function<void()> frameDue_;
    QImage scaled_;  // on a scaled screen only: the picture in RGB32
    QRegion pending_;
};

// Expose events of a window that Qt does not paint: the scene repaints what was lost.
class ExposeWatcher : public QAbstractNativeEventFilter {
public:
    ExposeWatcher(xcb_window_t window, ScenePicture* picture) : window_(window), picture_(picture) {
        qApp->installNativeEventFilter(this);
    }
    ~ExposeWatcher() override {
        if (qApp) qApp->removeNativeEventFilter(this);
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_EXPOSE) return false;
        auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
        if (e->window == window_) picture_->Exposed(QRect(e->x, e->y, e->width, e->height));
        return false;
    }

private:
    xcb_window_t window_;
    ScenePicture* picture_;
};

// Qt reads a foreign window's geometry as 0 x 0, so the server is asked.
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

}  // namespace

// Follows the foreign parent window (a preview's or a module's): Qt neither reports a
// foreign window's resize nor quits when it is destroyed, so the structure events are
// selected here, added to whatever this connection already selects there (the root
// window's property changes, say).
class PreviewParentWatcher : public QAbstractNativeEventFilter {
public:
    PreviewParentWatcher(platform::WindowId parent, std::function<void(int, int)> resized,
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
    ~PreviewParentWatcher() override {
        if (installed_ && qApp) qApp->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
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

private:
    xcb_window_t parent_;
    std::function<void(int, int)> resized_;
    std::function<void()> destroyed_;
    bool installed_ = false;
};

TfrmFullScreen::TfrmFullScreen(platform::WindowId parent, EngineServices services)
    : TfrmFullScreen(SaverTarget{parent ? SaverPlacement::Preview : SaverPlacement::Screen, parent, nullptr},
                     std::move(services)) {}

TfrmFullScreen::TfrmFullScreen(const SaverTarget& target, EngineServices services)
    : target_(target), parent_(target.window), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("Full Screen - Screen Saver Window "));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);  // moves without a button count too
    image_ = new ScenePicture(this);
    image_->SetColor(Qt::black);
    connect(image_, &TPGImage::mouseDown, this, [this](QPoint, Qt::MouseButton) {
        if (AcceptsInput()) RequestClose();
    });
    connect(image_, &TPGImage::mouseMove, this, [this](QPoint) { CountMouseEvent(); });
    connect(image_, &TPGImage::mouseUp, this, [this](QPoint, Qt::MouseButton) { CountMouseEvent(); });
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &TfrmFullScreen::Timer1Timer);
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &TfrmFullScreen::FlushFrame);
    ShowError = [this](const std::string& message) {
        QMessageBox::critical(isVisible() ? this : nullptr, QCoreApplication::applicationName(),
                              QString::fromStdString(message));
    };
}

TfrmFullScreen::~TfrmFullScreen() {
    timer1_.stop();
    frameTimer_.stop();
    watcher_.reset();
    engine_.reset();
    exposeWatcher_.reset();
    static_cast<ScenePicture*>(image_)->PaintDirectly(nullptr, nullptr);
    direct_.reset();
    if (foreign_) {
        // Our native window goes first; the foreign one is only a handle to the parent.
        destroy();
        delete foreign_;
    }
}

void TfrmFullScreen::SetFrameInterval(int milliseconds) {
    frameIntervalMs_ = std::max(0, milliseconds);
    if (frameIntervalMs_ == 0 && frameTimer_.isActive()) {
        frameTimer_.stop();
        FlushFrame();
    }
}

bool TfrmFullScreen::EmbedInForeignWindow() {
    // A frameless native child of the foreign window that input passes through.
    Qt::WindowFlags flags =
        Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus;
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (target_.placement == SaverPlacement::Module && parent_ == 0) {
        // No window given: the root window, whose children a window manager would
        // otherwise frame.
        if (!X11Connection()) {
            setWindowFlags(flags);
            return false;
        }
        flags |= Qt::X11BypassWindowManagerHint;
        setWindowFlags(flags);
        parent_ = RootOf(platform::WindowId(winId()));
        if (parent_ == 0) return false;
    } else {
        setWindowFlags(flags);
    }
    int w = 0, h = 0;
    if (!NativeWindowSize(parent_, w, h)) return false;
    width_ = w;
    height_ = h;
    winId();
    foreign_ = QWindow::fromWinId(WId(parent_));
    if (foreign_) windowHandle()->setParent(foreign_);
    watcher_ = std::make_unique<PreviewParentWatcher>(
        parent_,
        [this](int nw, int nh) {
            QMetaObject::invokeMethod(
                this, [this, nw, nh] { ParentResized(nw, nh); }, Qt::QueuedConnection);
        },
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { StopAndClose(); }, Qt::QueuedConnection);
        });
    return true;
}

void TfrmFullScreen::SetLogicalSize() {
    // The scene is width_ x height_ device pixels; the widget is measured in logical ones.
    const int w = std::max(1, int(std::ceil(width_ / pixelRatio_)));
    const int h = std::max(1, int(std::ceil(height_ / pixelRatio_)));
    resize(w, h);
    image_->setGeometry(0, 0, w, h);
}

bool TfrmFullScreen::Start() {
    QScreen* qscreen = target_.screen ? target_.screen : QGuiApplication::primaryScreen();
    pixelRatio_ = qscreen && qscreen->devicePixelRatio() > 0 ? qscreen->devicePixelRatio() : 1;
    screen_ = platform::PrimaryScreen();
    if (qscreen) screen_.ColorDepth = qscreen->depth();
    textEngine_ = MakeQtTextEngine(ScreenTextDpi(qscreen));
    frameIntervalMs_ = FrameIntervalFor(qscreen);

    QPoint origin(0, 0);
    if (target_.placement == SaverPlacement::Screen) {
        if (qscreen) {
            const QRect g = qscreen->geometry();
            origin = g.topLeft();
            width_ = int(std::lround(g.width() * pixelRatio_));
            height_ = int(std::lround(g.height() * pixelRatio_));
        } else {
            width_ = screen_.Width;
            height_ = screen_.Height;
        }
        // Each monitor's scene is its own screen: fonts keep their stored sizes.
        screen_.Width = width_;
        screen_.Height = height_;
        // Bypassing the window manager covers panels and docks too; without a window
        // manager it is simply a window on top.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                       Qt::X11BypassWindowManagerHint);
        setCursor(Qt::BlankCursor);
        image_->setCursor(Qt::BlankCursor);
        setFocusPolicy(Qt::StrongFocus);
        // Before the native window exists, so that it is made on this monitor's X screen.
        if (qscreen) setScreen(qscreen);
    } else if (target_.placement == SaverPlacement::Preview) {
        if (!EmbedInForeignWindow()) return false;
        // The preview's fonts scale by its share of the (device-pixel) screen.
        screen_.Width = int(std::lround(screen_.Width * pixelRatio_));
        screen_.Height = int(std::lround(screen_.Height * pixelRatio_));
    } else {
        if (!EmbedInForeignWindow()) {
            // Without an X server (tests) a module is a plain window of the screen's size.
            if (target_.window != 0 || X11Connection()) return false;
            width_ = int(std::lround(screen_.Width * pixelRatio_));
            height_ = int(std::lround(screen_.Height * pixelRatio_));
        }
    }
    if (target_.placement == SaverPlacement::Screen) {
        const int w = std::max(1, int(std::ceil(width_ / pixelRatio_)));
        const int h = std::max(1, int(std::ceil(height_ / pixelRatio_)));
        setGeometry(origin.x(), origin.y(), w, h);
        image_->setGeometry(0, 0, w, h);
    } else {
        move(0, 0);
        SetLogicalSize();
    }
    if (pixelRatio_ == 1.0) {
        // One picture pixel is one window pixel: the scene can go straight to the window.
        direct_ = DirectWindowPainter::For(this);
        if (direct_) {
            // Qt then keeps no backing store for the window and paints nothing itself.
            setAttribute(Qt::WA_PaintOnScreen);
            auto* scene = static_cast<ScenePicture*>(image_);
            scene->PaintDirectly(direct_.get(), [this] { FrameDue(); });
            exposeWatcher_ = std::make_unique<ExposeWatcher>(xcb_window_t(winId()), scene);
        }
    }
    // The window shows black at once, before the scene's set-up: the server clears it
    // to its background pixel as it maps it.
    if (direct_) {
        const std::uint32_t black = 0;
        xcb_change_window_attributes(X11Connection(), xcb_window_t(winId()), XCB_CW_BACK_PIXEL, &black);
    }
    show();
    if (xcb_connection_t* c = X11Connection()) xcb_flush(c);
    FormCreate();
    if (target_.placement == SaverPlacement::Screen && target_.grabInput && X11Connection()) {
        raise();
        activateWindow();
        setFocus();
        GrabInput();
    }
    return true;
}

void TfrmFullScreen::GrabInput() {
    // Only a real X server can grab; other platforms deliver input to the window anyway.
    if (closing_ || !X11Connection()) return;
    QWindow* window = windowHandle();
    const bool keyboard = window && window->setKeyboardGrabEnabled(true);
    const bool mouse = window && window->setMouseGrabEnabled(true);
    // The server refuses grabs until the window is viewable; try again shortly.
    if ((!keyboard || !mouse) && ++grabTries_ < 100) QTimer::singleShot(20, this, &TfrmFullScreen::GrabInput);
}

void TfrmFullScreen::UseOwnTextEngine() {
    // Windows on screens of different DPI share the process-wide engine slot.
    if (textEngine_ && CurrentTextEngine() != textEngine_.get()) SetTextEngine(textEngine_);
}

void TfrmFullScreen::FormCreate() {
    mouseCountdown_ = 6;
    UseOwnTextEngine();
    engine_ = std::make_unique<TSaverEngine>(*this, services_);
    engine_->SetUpScene(ShowError);
}

void TfrmFullScreen::ParentResized(int width, int height) {
    if (closing_ || (width == width_ && height == height_) || width <= 0 || height <= 0) return;
    timer1_.stop();
    engine_.reset();
    width_ = width;
    height_ = height;
    if (target_.placement == SaverPlacement::Module) {
        // A module's fonts scale against its own window.
        screen_.Width = width_;
        screen_.Height = height_;
    }
    SetLogicalSize();
    FormCreate();
}

void TfrmFullScreen::StartTimer(int intervalMs) {
    timer1_.setInterval(intervalMs);
    timer1_.start();
}

void TfrmFullScreen::Timer1Timer() {
    if (!engine_) return;
    UseOwnTextEngine();
    engine_->Timer1Timer();
}

void TfrmFullScreen::StopAndClose() {
    timer1_.stop();
    close();
}

void TfrmFullScreen::ShowPicture(const TPixelGraphic* picture) {
    image_->SetPixelGraphic(picture);
    WatchShownPicture();
}

TPixelGraphic* TfrmFullScreen::ShownPicture() { return image_->PixelGraphic(); }

void TfrmFullScreen::ShowBlack(int width, int height) {
    // The control's copy of a fresh picture, sized in place: no second full screen.
    const TPixelGraphic fresh;
    image_->SetPixelGraphic(&fresh);
    image_->PixelGraphic()->SetSize(width, height, pgpf24Bit);
    WatchShownPicture();
}

void TfrmFullScreen::WatchShownPicture() {
    TPixelGraphic* shown = image_->PixelGraphic();
    if (!shown || pixelRatio_ == 1.0) return;
    // The control asks for a repaint of the changed area in picture pixels; on a
    // scaled screen the same area in logical pixels is asked for as well.
    auto inner = std::move(shown->OnChange);
    shown->OnChange = [this, inner = std::move(inner)](TPixelGraphic& sender) {
        if (inner) inner(sender);
        const auto& c = sender.LastChange();
        const QRectF area(c.Left / pixelRatio_, c.Top / pixelRatio_, (c.Right - c.Left) / pixelRatio_,
                          (c.Bottom - c.Top) / pixelRatio_);
        if (!area.isEmpty()) image_->update(area.toAlignedRect());
    };
}

// Every repaint of the window comes through one posted update request (to the window,
// or to the image control when it paints straight to the screen); one that arrives
// within a display frame of the last repaint waits for the frame timer, and the
// changes of the ticks in between are painted together.
bool TfrmFullScreen::HoldForFrame() {
    if (frameIntervalMs_ <= 0) return false;
    if (sinceFlush_.isValid() && sinceFlush_.elapsed() < frameIntervalMs_) {
        if (!frameTimer_.isActive()) frameTimer_.start(int(frameIntervalMs_ - sinceFlush_.elapsed()));
        return true;
    }
    sinceFlush_.start();
    return false;
}

bool TfrmFullScreen::event(QEvent* event) {
    if (event->type() == QEvent::UpdateRequest && HoldForFrame()) return true;
    return QWidget::event(event);
}

void TfrmFullScreen::FrameDue() {
    // Painted from the event loop, once the tick that changed the scene is over.
    if (frameTimer_.isActive()) return;
    if (!HoldForFrame()) frameTimer_.start(0);
}

QPaintEngine* TfrmFullScreen::paintEngine() const {
    // Painted on screen, the window draws nothing itself; its image control does.
    return direct_ ? nullptr : QWidget::paintEngine();
}

void TfrmFullScreen::FlushFrame() {
    sinceFlush_.start();
    if (direct_) {
        static_cast<ScenePicture*>(image_)->PaintPending();
        return;
    }
    QEvent request(QEvent::UpdateRequest);
    QWidget::event(&request);
}

void TfrmFullScreen::RequestClose() {
    if (closing_) return;
    // Systems without a password scheme answer at once; a refusal starts the count
    // of tolerated mouse events again.
    if (!AcceptsInput() || platform::VerifyScreenSavePassword(platform::WindowId(winId()))) {
        StopAndClose();
        return;
    }
    mouseCountdown_ = 6;
}

void TfrmFullScreen::CountMouseEvent() {
    if (!AcceptsInput()) return;
    if (mouseCountdown_ <= 0)
        RequestClose();
    else
        --mouseCountdown_;
}

void TfrmFullScreen::keyPressEvent(QKeyEvent*) {
    if (AcceptsInput()) RequestClose();
}

void TfrmFullScreen::mousePressEvent(QMouseEvent*) {
    if (AcceptsInput()) RequestClose();
}

void TfrmFullScreen::mouseMoveEvent(QMouseEvent*) { CountMouseEvent(); }

void TfrmFullScreen::mouseReleaseEvent(QMouseEvent*) { CountMouseEvent(); }

void TfrmFullScreen::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        FormClose();
        emit closed();
    }
    event->accept();
}

void TfrmFullScreen::FormClose() {
    timer1_.stop();
    frameTimer_.stop();
    if (engine_) engine_->FreeScene();
    watcher_.reset();
    if (AcceptsInput()) {
        if (QWindow* window = windowHandle()) {
            window->setKeyboardGrabEnabled(false);
            window->setMouseGrabEnabled(false);
        }
        unsetCursor();
        image_->unsetCursor();
    }
}

std::vector<std::unique_ptr<TfrmFullScreen>> MakeSaverWindows(platform::WindowId parent,
                                                              const EngineServices& services) {
    std::vector<std::unique_ptr<TfrmFullScreen>> forms;
    if (parent != 0) {
        forms.push_back(std::make_unique<TfrmFullScreen>(parent, services));
        return forms;
    }
    // The primary monitor first: its window takes the keyboard and pointer grabs, and
    // the input of the others reaches it through them.
    QScreen* primary = QGuiApplication::primaryScreen();
    forms.push_back(
        std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Screen, 0, primary}, services));
    for (QScreen* s : QGuiApplication::screens())
        if (s != primary)
            forms.push_back(
                std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Screen, 0, s, false}, services));
    return forms;
}

void CloseTogether(const std::vector<std::unique_ptr<TfrmFullScreen>>& forms) {
    std::vector<TfrmFullScreen*> all;
    for (const auto& f : forms) all.push_back(f.get());
    for (TfrmFullScreen* f : all)
        QObject::connect(f, &TfrmFullScreen::closed, f, [all] {
            for (TfrmFullScreen* other : all) other->StopAndClose();
        });
}

namespace {

// The curtain's own connection: closing it destroys the window.
xcb_connection_t* curtain = nullptr;

void LowerBlackCurtain() {
    if (!curtain) return;
    xcb_disconnect(curtain);
    curtain = nullptr;
}

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

namespace {

void PrepareRun() {
#if defined(__GLIBC__)
    // Full-screen pictures come and go with the fade states. By default the allocator
    // serves a size it has once freed from its heap afterwards, which keeps the memory
    // when it is freed again; with a fixed threshold every picture is mapped on its
    // own and goes back to the system when it is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    if (!CurrentTextEngine()) InstallQtTextEngine();
    // Every mouse-move message counts toward closing, so none may be merged.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
}

// Runs the forms until one closes; then all close and the loop ends.
void RunForms(std::vector<std::unique_ptr<TfrmFullScreen>>& forms) {
    CloseTogether(forms);
    for (auto& f : forms)
        QObject::connect(f.get(), &TfrmFullScreen::closed, qApp, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    bool started = false;
    for (auto& f : forms) started = f->Start() || started;
    LowerBlackCurtain();
    if (started) QCoreApplication::exec();
}

}  // namespace

void RunSaverWindow(platform::WindowId parent) {
    PrepareRun();
    auto forms = MakeSaverWindows(parent);
    RunForms(forms);
}

void RunModuleWindow(platform::WindowId window) {
    PrepareRun();
    std::vector<std::unique_ptr<TfrmFullScreen>> forms;
    forms.push_back(std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Module, window, nullptr}));
    RunForms(forms);
}

}  // namespace quipix
