// The saver window: one image control over the whole client area, one precise timer
// driving the engine, and the closing rules (any key or button, or the seventh mouse
// move or release). Full screen it covers one monitor, bypasses the window manager
// and grabs keyboard and pointer; as a preview or an xscreensaver module it lives
// inside a foreign X11 window and takes no input. The scene is in device pixels and
// repaints at most once per display frame, while the engine ticks every 10 ms.
#include "saver/saver_window.h"

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
#include <exception>
#include <vector>
#include <xcb/xcb.h>

#include "imaging/qt/pg_image.h"
#include "imaging/qt/qt_text_engine.h"
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

// The image control painted in device pixels: its picture is the scene at full device
// resolution, so one picture pixel is one screen pixel whatever the scaling.
class ScenePicture : public TPGImage {
public:
    using TPGImage::TPGImage;

protected:
    void paintEvent(QPaintEvent* event) override {
        const double ratio = devicePixelRatioF();
        if (ratio == 1.0) {
            TPGImage::paintEvent(event);
            return;
        }
        QPainter painter(this);
        const QImage& shown = DisplayImage();
        const QRectF covered(0, 0, shown.width() / ratio, shown.height() / ratio);
        for (const QRect& r : event->region()) {
            const QRectF target = QRectF(r) & covered;
            if (target.isEmpty()) continue;
            const QRectF source(target.x() * ratio, target.y() * ratio, target.width() * ratio,
                                target.height() * ratio);
            painter.drawImage(target, shown, source);
        }
        const QRegion rest = event->region() - QRegion(covered.toAlignedRect());
        for (const QRect& r : rest) painter.fillRect(r, Color());
    }
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
        : parent_(xcb_window_t(parent)), resized_(std::move(resized)),
          destroyed_(std::move(destroyed)) {
        if (xcb_connection_t* c = X11Connection()) {
            uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            if (xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(
                    c, xcb_get_window_attributes(c, parent_), nullptr)) {
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
    : TfrmFullScreen(SaverTarget{parent ? SaverPlacement::Preview : SaverPlacement::Screen, parent,
                                 nullptr},
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
    Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                            Qt::WindowDoesNotAcceptFocus;
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
            QMetaObject::invokeMethod(this, [this, nw, nh] { ParentResized(nw, nh); },
                                      Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, [this] { StopAndClose(); }, Qt::QueuedConnection); });
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
    // The scene is set up before the window shows, so an error box is not hidden
    // behind it.
    FormCreate();
    show();
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
    if ((!keyboard || !mouse) && ++grabTries_ < 100)
        QTimer::singleShot(20, this, &TfrmFullScreen::GrabInput);
}

void TfrmFullScreen::UseOwnTextEngine() {
    // Windows on screens of different DPI share the process-wide engine slot.
    if (textEngine_ && CurrentTextEngine() != textEngine_.get()) SetTextEngine(textEngine_);
}

void TfrmFullScreen::FormCreate() {
    mouseCountdown_ = 6;
    UseOwnTextEngine();
    engine_ = std::make_unique<TSaverEngine>(*this, services_);
    try {
        engine_->SetUpScene();
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError("Unknown error");
    }
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

void TfrmFullScreen::WatchShownPicture() {
    TPixelGraphic* shown = image_->PixelGraphic();
    if (!shown || pixelRatio_ == 1.0) return;
    // The control asks for a repaint of the changed area in picture pixels; on a
    // scaled screen the same area in logical pixels is asked for as well.
    auto inner = std::move(shown->OnChange);
    shown->OnChange = [this, inner = std::move(inner)](TPixelGraphic& sender) {
        if (inner) inner(sender);
        const auto& c = sender.LastChange();
        const QRectF area(c.Left / pixelRatio_, c.Top / pixelRatio_,
                          (c.Right - c.Left) / pixelRatio_, (c.Bottom - c.Top) / pixelRatio_);
        if (!area.isEmpty()) image_->update(area.toAlignedRect());
    };
}

bool TfrmFullScreen::event(QEvent* event) {
    // Every repaint of the window comes through one posted update request; one that
    // arrives within a display frame of the last repaint waits for the frame timer,
    // and the changes of the ticks in between are painted together.
    if (event->type() == QEvent::UpdateRequest && frameIntervalMs_ > 0) {
        if (sinceFlush_.isValid() && sinceFlush_.elapsed() < frameIntervalMs_) {
            if (!frameTimer_.isActive())
                frameTimer_.start(int(frameIntervalMs_ - sinceFlush_.elapsed()));
            return true;
        }
        sinceFlush_.start();
    }
    return QWidget::event(event);
}

void TfrmFullScreen::FlushFrame() {
    sinceFlush_.start();
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
            forms.push_back(std::make_unique<TfrmFullScreen>(
                SaverTarget{SaverPlacement::Screen, 0, s, false}, services));
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

void PrepareRun() {
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
