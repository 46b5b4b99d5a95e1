// The saver window: one image control over the whole client area, one precise timer
// driving the engine, and the closing rules (any key or button, or the seventh mouse
// move or release). Full screen it bypasses the window manager and grabs keyboard
// and pointer; as a preview it lives inside a foreign X11 window and takes no input.
#include "saver/saver_window.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWindow>
#include <exception>
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

// Follows the preview's parent window: Qt neither reports a foreign window's resize
// nor quits when it is destroyed, so the structure events are selected here.
class PreviewParentWatcher : public QAbstractNativeEventFilter {
public:
    PreviewParentWatcher(platform::WindowId parent, std::function<void(int, int)> resized,
                         std::function<void()> destroyed)
        : parent_(xcb_window_t(parent)), resized_(std::move(resized)),
          destroyed_(std::move(destroyed)) {
        if (xcb_connection_t* c = X11Connection()) {
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
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
    : parent_(parent), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("Full Screen - Screen Saver Window "));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);  // moves without a button count too
    image_ = new TPGImage(this);
    image_->SetColor(Qt::black);
    connect(image_, &TPGImage::mouseDown, this, [this](QPoint, Qt::MouseButton) { RequestClose(); });
    connect(image_, &TPGImage::mouseMove, this, [this](QPoint) { CountMouseEvent(); });
    connect(image_, &TPGImage::mouseUp, this, [this](QPoint, Qt::MouseButton) { CountMouseEvent(); });
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &TfrmFullScreen::Timer1Timer);
    ShowError = [this](const std::string& message) {
        QMessageBox::critical(isVisible() ? this : nullptr, QCoreApplication::applicationName(),
                              QString::fromStdString(message));
    };
}

TfrmFullScreen::~TfrmFullScreen() {
    timer1_.stop();
    watcher_.reset();
    engine_.reset();
    if (foreign_) {
        // Our native window goes first; the foreign one is only a handle to the parent.
        destroy();
        delete foreign_;
    }
}

bool TfrmFullScreen::Start() {
    screen_ = platform::PrimaryScreen();
    if (IsPreview()) {
        int w = 0, h = 0;
        if (!NativeWindowSize(parent_, w, h)) return false;
        width_ = w;
        height_ = h;
        // A frameless native child of the foreign window that input passes through.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                       Qt::WindowDoesNotAcceptFocus);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_ShowWithoutActivating);
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
    } else {
        width_ = screen_.Width;
        height_ = screen_.Height;
        // Bypassing the window manager covers panels and docks too; without a window
        // manager it is simply a window on top.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                       Qt::X11BypassWindowManagerHint);
        setCursor(Qt::BlankCursor);
        image_->setCursor(Qt::BlankCursor);
        setFocusPolicy(Qt::StrongFocus);
    }
    setGeometry(0, 0, width_, height_);
    image_->setGeometry(0, 0, width_, height_);
    // The scene is set up before the window shows, so an error box is not hidden
    // behind it.
    FormCreate();
    show();
    if (!IsPreview() && X11Connection()) {
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

void TfrmFullScreen::FormCreate() {
    mouseCountdown_ = 6;
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
    resize(width_, height_);
    image_->setGeometry(0, 0, width_, height_);
    FormCreate();
}

void TfrmFullScreen::StartTimer(int intervalMs) {
    timer1_.setInterval(intervalMs);
    timer1_.start();
}

void TfrmFullScreen::Timer1Timer() {
    if (engine_) engine_->Timer1Timer();
}

void TfrmFullScreen::StopAndClose() {
    timer1_.stop();
    close();
}

void TfrmFullScreen::ShowPicture(const TPixelGraphic* picture) { image_->SetPixelGraphic(picture); }

TPixelGraphic* TfrmFullScreen::ShownPicture() { return image_->PixelGraphic(); }

void TfrmFullScreen::RequestClose() {
    if (closing_) return;
    // Systems without a password scheme answer at once; a refusal starts the count
    // of tolerated mouse events again.
    if (IsPreview() || platform::VerifyScreenSavePassword(platform::WindowId(winId()))) {
        StopAndClose();
        return;
    }
    mouseCountdown_ = 6;
}

void TfrmFullScreen::CountMouseEvent() {
    if (IsPreview()) return;
    if (mouseCountdown_ <= 0)
        RequestClose();
    else
        --mouseCountdown_;
}

void TfrmFullScreen::keyPressEvent(QKeyEvent*) {
    if (!IsPreview()) RequestClose();
}

void TfrmFullScreen::mousePressEvent(QMouseEvent*) {
    if (!IsPreview()) RequestClose();
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
    if (engine_) engine_->FreeScene();
    watcher_.reset();
    if (!IsPreview()) {
        if (QWindow* window = windowHandle()) {
            window->setKeyboardGrabEnabled(false);
            window->setMouseGrabEnabled(false);
        }
        unsetCursor();
        image_->unsetCursor();
    }
}

void RunSaverWindow(platform::WindowId parent) {
    if (!CurrentTextEngine()) InstallQtTextEngine();
    // Every mouse-move message counts toward closing, so none may be merged.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    TfrmFullScreen form(parent);
    QObject::connect(&form, &TfrmFullScreen::closed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!form.Start()) return;
    QCoreApplication::exec();
}

}  // namespace quipix
