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

}  // namespace

// Shows the host's frame over the whole client area, in device pixels: one frame pixel
// is one screen pixel whatever the scaling. It keeps no picture of its own; what a
// repaint needs is converted from the engine's picture while painting.
class SceneView : public QWidget {
public:
    SceneView(QWidget* parent, const SceneHost& host) : QWidget(parent), host_(host) {
        setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel itself
        setMouseTracking(true);                 // moves without a button count too
    }
    // Paints through painter instead of Qt's backing store, asking frameDue for each
    // repaint; null goes back to Qt.
    void PaintDirectly(DirectWindowPainter* painter, std::function<void()> frameDue) {
        direct_ = painter;
        frameDue_ = std::move(frameDue);
        pending_ = QRegion();
    }
    // Area (device pixels) of the frame is new.
    void Changed(const QRect& area) {
        if (direct_) {
            pending_ += area;
            if (frameDue_) frameDue_();
            return;
        }
        const double ratio = devicePixelRatioF();
        if (ratio == 1.0) {
            update(area);
            return;
        }
        update(QRectF(area.x() / ratio, area.y() / ratio, area.width() / ratio, area.height() / ratio)
                   .toAlignedRect());
    }
    // Paints what changed since the last frame.
    void PaintPending() {
        if (!direct_ || pending_.isEmpty()) return;
        const QRegion area = pending_;
        pending_ = QRegion();
        direct_->Paint(host_.Frame(), area);
    }
    // The window server lost part of the window's contents.
    void Exposed(const QRect& area) { Changed(area); }
    QImage DisplayImage() const {
        const int w = int(std::lround(width() * devicePixelRatioF()));
        const int h = int(std::lround(height() * devicePixelRatioF()));
        QImage image(w, h, QImage::Format_RGB32);
        ConvertFrameRows(host_.Frame(), {0, 0, w, h}, image.bits(), std::size_t(image.bytesPerLine()));
        return image;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (direct_) {
            // Qt has no surface to paint on here: the next frame paints it.
            pending_ += event->region();
            if (frameDue_) frameDue_();
            return;
        }
        QPainter painter(this);
        const double ratio = devicePixelRatioF();
        if (ratio == 1.0) {
            for (const QRect& r : event->region()) PaintFrameArea(painter, host_.Frame(), r, band_);
            return;
        }
        const int w = int(std::lround(width() * ratio)), h = int(std::lround(height() * ratio));
        if (scaled_.size() != QSize(w, h)) scaled_ = QImage(w, h, QImage::Format_RGB32);
        for (const QRect& r : event->region()) {
            // Scaling needs the neighbours of the area too: the whole frame is held
            // converted, refreshed where it is repainted.
            const QRectF target(r);
            const QRect source = QRectF(target.x() * ratio, target.y() * ratio, target.width() * ratio,
                                        target.height() * ratio)
                                     .toAlignedRect() &
                                 QRect(0, 0, w, h);
            ConvertFrameRows(host_.Frame(),
                             {source.left(), source.top(), source.right() + 1, source.bottom() + 1},
                             scaled_.scanLine(source.top()) + std::size_t(source.left()) * 4,
                             std::size_t(scaled_.bytesPerLine()));
            painter.drawImage(target, scaled_, QRectF(source));
        }
    }

private:
    const SceneHost& host_;
    DirectWindowPainter* direct_ = nullptr;
    std::function<void()> frameDue_;
    QImage band_;    // a few rows of the frame in RGB32
    QImage scaled_;  // on a scaled screen only: the frame in RGB32
    QRegion pending_;
};

TfrmFullScreen::TfrmFullScreen(platform::WindowId parent, EngineServices services)
    : TfrmFullScreen(SaverTarget{parent ? SaverPlacement::Preview : SaverPlacement::Screen, parent, nullptr},
                     std::move(services)) {}

TfrmFullScreen::TfrmFullScreen(const SaverTarget& target, EngineServices services)
    : TfrmFullScreen(target, ownRules_, std::move(services)) {}

TfrmFullScreen::TfrmFullScreen(const SaverTarget& target, TClosingRules& rules, EngineServices services)
    : target_(target), parent_(target.window), rules_(rules), services_(std::move(services)) {
    setWindowTitle(QString::fromLatin1(kSaverWindowTitle));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);  // moves without a button count too
    image_ = new SceneView(this, *this);
    image_->installEventFilter(this);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &TfrmFullScreen::Timer1Timer);
    idleTimer_.setSingleShot(true);
    idleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer_, &QTimer::timeout, this, &TfrmFullScreen::IdleTicksOver);
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
    idleTimer_.stop();
    frameTimer_.stop();
    watcher_.reset();
    engine_.reset();
    exposeWatcher_.reset();
    image_->PaintDirectly(nullptr, nullptr);
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
    SceneView* scene = image_;
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
    idleTimer_.stop();
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
    inTick_ = true;
    engine_->Timer1Timer();
    inTick_ = false;
    const bool idle = engine_->IdleTicks() > 0;
    if (idle && timer1_.isActive()) SleepThroughIdleTicks();
    // Painted straight to the screen, the scene goes out with the tick that changed it,
    // at most once per display frame: the ticks in between add their changes to the
    // next one. Before a pause nothing follows, so it goes at once.
    if (framePending_ && (idle || !sinceFlush_.isValid() || sinceFlush_.elapsed() >= frameIntervalMs_ - 1))
        FlushFrame();
}

void TfrmFullScreen::SleepThroughIdleTicks() {
    if (const int ms = idleSleep_.Begin(*engine_, timer1_.interval())) {
        timer1_.stop();
        idleTimer_.start(ms);
    }
}

void TfrmFullScreen::IdleTicksOver() {
    if (!engine_ || closing_) return;
    if (const int ms = idleSleep_.End(*engine_, timer1_.interval()))
        idleTimer_.start(ms);
    else
        timer1_.start();
}

void TfrmFullScreen::StopAndClose() {
    timer1_.stop();
    idleTimer_.stop();
    close();
}

void TfrmFullScreen::FrameChanged(const TRect& area) {
    if (!EmptyRect(area)) image_->Changed(QRect(area.Left, area.Top, area.Width(), area.Height()));
}

QWidget* TfrmFullScreen::Image() const { return image_; }

QImage TfrmFullScreen::DisplayImage() const { return image_->DisplayImage(); }

bool TfrmFullScreen::SharesMemory() const { return direct_ && direct_->SharesMemory(); }

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
    // A tick's changes go out at its end; others (the server lost part of the window)
    // from the event loop.
    if (inTick_) {
        framePending_ = true;
        return;
    }
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
        framePending_ = false;
        image_->PaintPending();
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
        // Handled here, the event goes no further: passed on to the window as well it
        // would be counted twice.
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            RequestClose();
            return true;
        case QEvent::MouseMove:
            PointerMoved(static_cast<QMouseEvent*>(event)->globalPosition());
            return true;
        case QEvent::MouseButtonRelease:
            PointerReleased();
            return true;
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
        if (OnClosed) OnClosed();
    }
    event->accept();
}

void TfrmFullScreen::FormClose() {
    timer1_.stop();
    idleTimer_.stop();
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
