// The saver window: one image control over the whole client area, one precise timer
// driving the engine, and the input of a full-screen window handed to the closing
// rules of its run (any key or button, or the seventh pointer move or release). Full
// screen it covers one monitor, bypasses the window manager and grabs keyboard and
// pointer; as a preview or an xscreensaver module it lives inside a foreign X11
// window and takes no input. The scene is in device pixels and repaints at most once
// per display frame, while the engine ticks every 10 ms.
#include "qt/saver_window.h"

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

#include "imaging/text_engine.h"
#include "qt/pg_image.h"
#include "qt/qt_text_engine.h"
#include "qt/x11_painter.h"
#include "qt/x11_windows.h"

namespace quipix {

namespace {

// Repaints per second of the screen; Xvfb and some drivers report nothing useful.
int FrameIntervalFor(const QScreen* screen) {
    double hz = screen ? screen->refreshRate() : 0;
    if (!(hz >= 20 && hz <= 500)) hz = 60;
    return std::max(1, int(std::lround(1000.0 / hz)));
}

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

}  // namespace

TfrmFullScreen::TfrmFullScreen(platform::WindowId parent, EngineServices services)
    : TfrmFullScreen(SaverTarget{parent ? SaverPlacement::Preview : SaverPlacement::Screen, parent, nullptr},
                     std::move(services)) {}

TfrmFullScreen::TfrmFullScreen(const SaverTarget& target, EngineServices services)
    : TfrmFullScreen(target, ownRules_, std::move(services)) {}

TfrmFullScreen::TfrmFullScreen(const SaverTarget& target, TClosingRules& rules, EngineServices services)
    : target_(target), parent_(target.window), rules_(rules), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("Full Screen - Screen Saver Window "));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);  // moves without a button count too
    image_ = new ScenePicture(this);
    image_->SetColor(Qt::black);
    image_->installEventFilter(this);
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
    image_->removeEventFilter(this);
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
    if (target_.placement == SaverPlacement::Screen)
        PlaceOnScreen(qscreen);
    else if (!PlaceInForeignWindow())
        return false;
    PaintDirectlyWhereItCan();
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

void TfrmFullScreen::PlaceOnScreen(QScreen* qscreen) {
    QPoint origin(0, 0);
    if (qscreen) {
        const QRect g = qscreen->geometry();
        origin = g.topLeft();
        width_ = int(std::lround(g.width() * pixelRatio_));
        height_ = int(std::lround(g.height() * pixelRatio_));
    } else {
        width_ = screen_.Width;
        height_ = screen_.Height;
    }
    screen_ = MonitorScreen(width_, height_, screen_.ColorDepth);
    // Bypassing the window manager covers panels and docks too; without a window
    // manager it is simply a window on top.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::X11BypassWindowManagerHint);
    setCursor(Qt::BlankCursor);
    image_->setCursor(Qt::BlankCursor);
    setFocusPolicy(Qt::StrongFocus);
    // Before the native window exists, so that it is made on this monitor's X screen.
    if (qscreen) setScreen(qscreen);
    const int w = std::max(1, int(std::ceil(width_ / pixelRatio_)));
    const int h = std::max(1, int(std::ceil(height_ / pixelRatio_)));
    setGeometry(origin.x(), origin.y(), w, h);
    image_->setGeometry(0, 0, w, h);
}

bool TfrmFullScreen::PlaceInForeignWindow() {
    if (target_.placement == SaverPlacement::Preview) {
        if (!EmbedInForeignWindow()) return false;
        // The preview's fonts scale by its share of the (device-pixel) screen.
        screen_.Width = int(std::lround(screen_.Width * pixelRatio_));
        screen_.Height = int(std::lround(screen_.Height * pixelRatio_));
    } else if (!EmbedInForeignWindow()) {
        // Without an X server (tests) a module is a plain window of the screen's size.
        if (target_.window != 0 || X11Connection()) return false;
        width_ = int(std::lround(screen_.Width * pixelRatio_));
        height_ = int(std::lround(screen_.Height * pixelRatio_));
    }
    move(0, 0);
    SetLogicalSize();
    return true;
}

void TfrmFullScreen::PaintDirectlyWhereItCan() {
    if (pixelRatio_ != 1.0) return;
    direct_ = DirectWindowPainter::For(this);
    if (!direct_) return;
    // Qt then keeps no backing store for the window and paints nothing itself.
    setAttribute(Qt::WA_PaintOnScreen);
    auto* scene = static_cast<ScenePicture*>(image_);
    scene->PaintDirectly(direct_.get(), [this] { FrameDue(); });
    exposeWatcher_ = std::make_unique<ExposeWatcher>(xcb_window_t(winId()),
                                                     [scene](const QRect& area) { scene->Exposed(area); });
    // The window shows black at once, before the scene's set-up: the server clears it
    // to its background pixel as it maps it.
    const std::uint32_t black = 0;
    xcb_change_window_attributes(X11Connection(), xcb_window_t(winId()), XCB_CW_BACK_PIXEL, &black);
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
    if (closing_ || !AcceptsInput()) return;
    if (rules_.RequestClose(platform::WindowId(winId()))) StopAndClose();
}

void TfrmFullScreen::PointerMoved(const QPointF& global) {
    if (closing_ || !AcceptsInput()) return;
    // In device pixels, as the server reports the pointer: on a scaled screen the
    // smallest move is less than one logical pixel, and it counts too.
    if (rules_.MouseMoved(int(std::lround(global.x() * pixelRatio_)),
                          int(std::lround(global.y() * pixelRatio_))))
        RequestClose();
}

void TfrmFullScreen::PointerReleased() {
    if (closing_ || !AcceptsInput()) return;
    if (rules_.MouseReleased()) RequestClose();
}

void TfrmFullScreen::keyPressEvent(QKeyEvent*) { RequestClose(); }

void TfrmFullScreen::mousePressEvent(QMouseEvent*) { RequestClose(); }

void TfrmFullScreen::mouseMoveEvent(QMouseEvent* event) { PointerMoved(event->globalPosition()); }

void TfrmFullScreen::mouseReleaseEvent(QMouseEvent*) { PointerReleased(); }

bool TfrmFullScreen::eventFilter(QObject* watched, QEvent* event) {
    if (watched == image_) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            RequestClose();
            break;
        case QEvent::MouseMove:
            PointerMoved(static_cast<QMouseEvent*>(event)->globalPosition());
            break;
        case QEvent::MouseButtonRelease:
            PointerReleased();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

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

}  // namespace quipix
