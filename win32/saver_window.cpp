// win32/: the Windows front end. This file holds the saver window: one window per
// monitor full screen, or a disabled child of the display settings' preview. The
// process is aware of each monitor's DPI (its manifest), so a monitor's rectangle
// and a window's client area are physical pixels, the scene is drawn at the
// monitor's full resolution and its text at the monitor's DPI. The engine's picture
// is a bottom-up DIB already, so it goes to the screen as it is, and only the area a
// tick changed is repainted.
#include "win32/saver_window.h"

#include <algorithm>
#include <exception>

#include "win32/gdi_text_engine.h"
#include "win32/native.h"

namespace quipix::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuipixSaverWindow";
constexpr UINT_PTR kTimer1 = 1;
// One single-shot wake-up for the ticks the engine says only wait.
constexpr UINT_PTR kIdleTimer = 2;

void RegisterWindowClass(WNDPROC procedure) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSW c{};
    c.lpfnWndProc = procedure;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = kClassName;
    // No class cursor and no background brush: the saver sets the cursor itself and
    // paints every pixel.
    registered = RegisterClassW(&c) != 0;
}

}  // namespace

TfrmFullScreen::TfrmFullScreen(const RECT& monitor, TClosingRules& rules, EngineServices services)
    : monitor_(monitor), rules_(rules), services_(std::move(services)) {}

TfrmFullScreen::TfrmFullScreen(HWND parent, TClosingRules& rules, EngineServices services)
    : parent_(parent), rules_(rules), services_(std::move(services)) {}

TfrmFullScreen::~TfrmFullScreen() {
    OnClosed = nullptr;
    if (window_) DestroyWindow(window_);
}

bool TfrmFullScreen::Start() {
    RegisterWindowClass(&WindowProc);
    ShowError = ShowError ? ShowError : [this](const std::string& message) {
        MessageBoxW(window_, platform::win32::Widen(message).c_str(),
                    platform::win32::Widen(kSaverName).c_str(),
                    MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
    };
    screen_ = platform::PrimaryScreen();
    DWORD style, exStyle = 0;
    int left = 0, top = 0;
    if (parent_) {
        RECT client;
        if (!IsWindow(parent_) || !GetClientRect(parent_, &client)) {
            closed_ = true;
            return false;
        }
        width_ = client.right - client.left;
        height_ = client.bottom - client.top;
        // Disabled, so that no key or mouse input ever reaches the preview.
        style = WS_CHILD | WS_VISIBLE | WS_DISABLED;
    } else {
        left = monitor_.left;
        top = monitor_.top;
        width_ = monitor_.right - monitor_.left;
        height_ = monitor_.bottom - monitor_.top;
        screen_ = MonitorScreen(width_, height_, screen_.ColorDepth);
        style = WS_POPUP | WS_VISIBLE;
        exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    }
    window_ = CreateWindowExW(exStyle, kClassName, platform::win32::Widen(kSaverWindowTitle).c_str(), style,
                              left, top, width_, height_, parent_, nullptr, GetModuleHandleW(nullptr), this);
    if (!window_) {
        closed_ = true;
        return false;
    }
    if (!parent_) SetForegroundWindow(window_);
    dpi_ = platform::win32::WindowDpi(window_);
    FormCreate();
    return true;
}

void TfrmFullScreen::FormCreate() {
    if (AcceptsInput()) {
        SystemParametersInfoW(SPI_SCREENSAVERRUNNING, TRUE, nullptr, 0);
        ShowCursor(FALSE);
        systemStateChanged_ = true;
    }
    engine_ = std::make_unique<TSaverEngine>(*this, services_);
    const ScopedTextDpi dpi(dpi_);
    engine_->SetUpScene(ShowError);
}

void TfrmFullScreen::FormClose() {
    StopTimers();
    if (engine_) engine_->FreeScene();
    if (systemStateChanged_) {
        SystemParametersInfoW(SPI_SCREENSAVERRUNNING, FALSE, nullptr, 0);
        ShowCursor(TRUE);
        systemStateChanged_ = false;
    }
}

void TfrmFullScreen::StartTimer(int intervalMs) {
    interval_ = std::max(1, intervalMs);
    if (window_) timer1_ = SetTimer(window_, kTimer1, UINT(interval_), nullptr);
}

void TfrmFullScreen::StopTimers() {
    if (timer1_) KillTimer(window_, kTimer1);
    if (idleTimer_) KillTimer(window_, kIdleTimer);
    timer1_ = idleTimer_ = 0;
    idleSleep_.Cancel();
}

void TfrmFullScreen::SleepThroughIdleTicks() {
    const int ms = idleSleep_.Begin(*engine_, interval_);
    if (ms == 0) return;
    if (timer1_) KillTimer(window_, kTimer1);
    timer1_ = 0;
    idleTimer_ = SetTimer(window_, kIdleTimer, UINT(ms), nullptr);
}

void TfrmFullScreen::IdleTicksOver() {
    if (idleTimer_) KillTimer(window_, kIdleTimer);
    idleTimer_ = 0;
    if (!engine_ || closing_) return;
    if (const int ms = idleSleep_.End(*engine_, interval_))
        idleTimer_ = SetTimer(window_, kIdleTimer, UINT(ms), nullptr);
    else
        timer1_ = SetTimer(window_, kTimer1, UINT(interval_), nullptr);
}

void TfrmFullScreen::StopAndClose() {
    // A window that never started has nothing to close: it counts as closed, so that
    // its run can end.
    if (!window_) closed_ = true;
    if (!window_ || closing_) return;
    closing_ = true;
    StopTimers();
    // Closed from the message loop: this may be called from inside a tick, and the
    // close frees what the tick is still using.
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void TfrmFullScreen::ShowPicture(const TPixelGraphic* picture) {
    if (!picture) {
        shown_.reset();
    } else {
        // Refilled in place: a new joke over the same background allocates nothing.
        if (shown_) shown_->OnChange = nullptr;
        AdoptPictureCopy(shown_, *picture);
    }
    WatchShownPicture();
}

void TfrmFullScreen::ShowBlack(int width, int height) {
    // Sized in place: no second full-screen picture to copy from.
    const TPixelGraphic fresh;
    ShowPicture(&fresh);
    shown_->SetSize(width, height, pgpf24Bit);
}

void TfrmFullScreen::WatchShownPicture() {
    if (window_) InvalidateRect(window_, nullptr, FALSE);
    if (!shown_) return;
    shown_->OnChange = [this](TPixelGraphic& sender) {
        const auto& c = sender.LastChange();
        const RECT area{c.Left, c.Top, c.Right, c.Bottom};
        if (window_) InvalidateRect(window_, &area, FALSE);
    };
}

void TfrmFullScreen::Timer1Timer() {
    if (!engine_ || closing_) return;
    // The display settings may go without destroying their preview area first.
    if (parent_ && !IsWindow(parent_)) {
        StopAndClose();
        return;
    }
    {
        const ScopedTextDpi dpi(dpi_);
        engine_->Timer1Timer();
    }
    // What the tick changed goes to the screen now, not when the queue runs dry.
    UpdateWindow(window_);
    if (timer1_ && !closing_ && engine_->IdleTicks() > 0) SleepThroughIdleTicks();
}

void TfrmFullScreen::RequestClose() {
    if (closing_ || !AcceptsInput()) return;
    if (rules_.RequestClose(platform::win32::IdFromHwnd(window_))) StopAndClose();
}

void TfrmFullScreen::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (!dc) return;
    const int w = shown_ && !shown_->Empty() ? shown_->Width() : 0;
    const int h = w > 0 ? shown_->Height() : 0;
    const RECT picture{0, 0, w, h};
    RECT r;
    if (w > 0 && IntersectRect(&r, &ps.rcPaint, &picture)) {
        DescribeDib(dib_, *shown_);
        // The source's y counts from the bottom row of a bottom-up DIB.
        SetDIBitsToDevice(dc, r.left, r.top, DWORD(r.right - r.left), DWORD(r.bottom - r.top), r.left,
                          h - r.bottom, 0, UINT(h), shown_->Buffer(), dib_.Info(), DIB_RGB_COLORS);
        ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
    FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndPaint(window_, &ps);
}

LRESULT CALLBACK TfrmFullScreen::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<const CREATESTRUCTW*>(l);
        auto* form = static_cast<TfrmFullScreen*>(created->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TfrmFullScreen*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) return DefWindowProcW(window, message, w, l);
    return form->Dispatch(message, w, l);
}

LRESULT TfrmFullScreen::Dispatch(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_TIMER:
        if (w == kTimer1) Timer1Timer();
        if (w == kIdleTimer) IdleTicksOver();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        if (!AcceptsInput()) break;
        SetCursor(nullptr);
        return TRUE;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
        RequestClose();
        return 0;
    case WM_MOUSEMOVE: {
        POINT p{short(LOWORD(l)), short(HIWORD(l))};
        ClientToScreen(window_, &p);
        if (AcceptsInput() && rules_.MouseMoved(p.x, p.y)) RequestClose();
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_XBUTTONUP:
        if (AcceptsInput() && rules_.MouseReleased()) RequestClose();
        return 0;
    case WM_DPICHANGED:
        // The monitor's scale changed while the saver runs: the window keeps its
        // rectangle (the monitor's, in physical pixels) and the next text is laid out
        // at the new DPI.
        dpi_ = HIWORD(w);
        return 0;
    case WM_SYSCOMMAND:
        // No second screen saver while this one runs.
        if ((w & 0xFFF0) == SC_SCREENSAVE) return 1;
        break;
    case WM_CLOSE:
        closing_ = true;
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        // Also when a preview's parent goes and takes its children with it.
        closing_ = true;
        FormClose();
        break;
    case WM_NCDESTROY: {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        const LRESULT result = DefWindowProcW(window_, message, w, l);
        window_ = nullptr;
        closed_ = true;
        if (OnClosed) OnClosed();
        return result;
    }
    default:
        break;
    }
    return DefWindowProcW(window_, message, w, l);
}

namespace {

// A named callback: a lambda has no stdcall calling convention in a 32-bit build.
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    auto& list = *reinterpret_cast<std::vector<RECT>*>(data);
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        list.insert(list.begin(), info.rcMonitor);
    else
        list.push_back(info.rcMonitor);
    return TRUE;
}

}  // namespace

std::vector<RECT> MonitorRects() {
    std::vector<RECT> rects;
    EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&rects));
    if (rects.empty())
        rects.push_back(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    return rects;
}

std::unique_ptr<TSaverRun> MakeScreenRun(const std::vector<RECT>& monitors, const EngineServices& services,
                                         std::function<void()> ended) {
    POINT p;
    auto run = std::make_unique<TSaverRun>(
        std::move(ended), GetCursorPos(&p) ? std::optional(ScreenPoint{p.x, p.y}) : std::nullopt);
    for (const RECT& monitor : monitors)
        run->Add(std::make_unique<TfrmFullScreen>(monitor, run->Rules(), services));
    return run;
}

std::unique_ptr<TSaverRun> MakePreviewRun(HWND parent, const EngineServices& services,
                                          std::function<void()> ended) {
    auto run = std::make_unique<TSaverRun>(std::move(ended));
    run->Add(std::make_unique<TfrmFullScreen>(parent, run->Rules(), services));
    return run;
}

void RunSaverWindows(platform::WindowId parent) {
    const auto quit = [] { PostQuitMessage(0); };
    auto run = parent != 0
                   ? MakePreviewRun(platform::win32::HwndFromId(parent), DefaultEngineServices(), quit)
                   : MakeScreenRun(MonitorRects(), DefaultEngineServices(), quit);
    if (!run->Start()) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace quipix::win32
