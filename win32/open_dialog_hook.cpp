// The picture open dialog's hook and its preview strip.
#include "win32/open_dialog_hook.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "imaging/file_format_reader.h"
#include "imaging/picture_preview.h"
#include "win32/dib.h"
#include "win32/native.h"
#include "win32/owner_draw.h"

namespace quipix::win32 {

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

// The strip beside the standard controls, in pixels at 96 dpi: the picture area
// with its sunken edge, then the information lines below it, as wide as the strip
// less its margins (a line such as "640x480x16 bit per channel 64 bit" is wider than
// the picture).
constexpr int kStripWidth = 210;
constexpr int kPictureLeft = 8, kPictureTop = 12, kPictureWidth = 160, kPictureHeight = 120;
constexpr int kEdge = 2;  // the sunken edge round the picture area, each side
constexpr int kFirstLineTop = 144, kLinePitch = 18, kLineHeight = 14, kLineCount = 4;
constexpr int kLineWidth = kStripWidth - 2 * kPictureLeft;
constexpr FontLook kLineFont{"MS Sans Serif", "Arial", 11, false};
// The strip's controls.
constexpr int kPictureId = 501, kFirstLineId = 502;
// Scrolling through a folder does not decode every picture on the way: the preview
// follows once the selection has rested this long.
constexpr UINT_PTR kSelectionTimer = 1;
constexpr UINT kSelectionRestMs = 150;

// Sent to the hook once the system has finished making the dialog, when a change of
// its size moves the standard controls.
constexpr UINT kFitWorkArea = WM_APP + 1;
constexpr UINT_PTR kSubclassId = 1;

struct Strip {
    KeptDib shown;
    HFONT font = nullptr;
    int dpi = kLayoutDpi;
    ~Strip() {
        if (font) DeleteObject(font);
    }
};

// The work area of the monitor the window is on.
RECT WorkArea(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return monitor.rcWork;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// The strip fills the right edge of the dialog, whatever its size.
void PlaceStrip(HWND dialog, HWND hook, const Strip& strip) {
    RECT client{};
    GetClientRect(dialog, &client);
    const int width = Scaled(kStripWidth, strip.dpi);
    SetWindowPos(hook, nullptr, client.right - width, 0, width, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The dialog made smaller and moved where it would reach past its monitor's work
// area. The system's own resizing makes room: the file list gives up the width.
void FitWorkArea(HWND dialog) {
    const RECT work = WorkArea(dialog);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const int width = int(std::min(frame.right - frame.left, work.right - work.left));
    const int height = int(std::min(frame.bottom - frame.top, work.bottom - work.top));
    const int left = std::clamp(int(frame.left), int(work.left), int(work.right) - width);
    const int top = std::clamp(int(frame.top), int(work.top), int(work.bottom) - height);
    SetWindowPos(dialog, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The dialog's own window procedure, run first: the strip follows every change of
// the dialog's size; the dialog may be as wide as the system allows and the strip
// besides, which the fit then takes back, and as small as the work area.
LRESULT CALLBACK DialogSubclass(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR hookData) {
    const HWND hook = HWND(hookData);
    const auto* strip = reinterpret_cast<const Strip*>(GetWindowLongPtrW(hook, GWLP_USERDATA));
    const LRESULT result = DefSubclassProc(dialog, message, wParam, lParam);
    if (message == WM_SIZE && strip) {
        PlaceStrip(dialog, hook, *strip);
    } else if (message == WM_GETMINMAXINFO && strip) {
        const RECT work = WorkArea(dialog);
        auto& info = *reinterpret_cast<MINMAXINFO*>(lParam);
        info.ptMaxTrackSize.x += Scaled(kStripWidth, strip->dpi);
        info.ptMinTrackSize.x = std::min(info.ptMinTrackSize.x, work.right - work.left);
        info.ptMinTrackSize.y = std::min(info.ptMinTrackSize.y, work.bottom - work.top);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(dialog, DialogSubclass, kSubclassId);
    }
    return result;
}

void AddStrip(HWND hook, Strip& strip) {
    HWND dialog = GetParent(hook);
    strip.dpi = WindowDpi(dialog);
    const auto s = [&](int pixels) { return Scaled(pixels, strip.dpi); };
    // Wider by the strip, which then takes the new room at the right. Where that
    // reaches past the work area, the dialog is fitted into it once the system has
    // finished making it, and can then move its own controls.
    SetWindowSubclass(dialog, DialogSubclass, kSubclassId, DWORD_PTR(hook));
    RECT frame{};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + s(kStripWidth), frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    PostMessageW(hook, kFitWorkArea, 0, 0);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    CreateWindowExW(WS_EX_STATICEDGE, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, s(kPictureLeft),
                    s(kPictureTop), s(kPictureWidth) + 2 * kEdge, s(kPictureHeight) + 2 * kEdge, hook,
                    HMENU(INT_PTR(kPictureId)), instance, nullptr);
    strip.font = MakeFont(kLineFont, strip.dpi);
    for (int i = 0; i < kLineCount; ++i) {
        HWND line =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_ENDELLIPSIS,
                            s(kPictureLeft), s(kFirstLineTop + kLinePitch * i), s(kLineWidth), s(kLineHeight),
                            hook, HMENU(INT_PTR(kFirstLineId + i)), instance, nullptr);
        SendMessageW(line, WM_SETFONT, WPARAM(strip.font), FALSE);
    }
}

void ShowSelected(HWND hook, Strip& strip) {
    wchar_t path[4 * MAX_PATH] = L"";
    const LRESULT length =
        SendMessageW(GetParent(hook), CDM_GETFILEPATH, WPARAM(std::size(path)), LPARAM(path));
    const DWORD attributes = length > 0 ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    PicturePreview preview;
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        MakePicturePreview(preview, Narrow(path), Scaled(kPictureWidth, strip.dpi),
                           Scaled(kPictureHeight, strip.dpi), smPrecise);
    strip.shown.Keep(preview.Picture);
    InvalidateRect(GetDlgItem(hook, kPictureId), nullptr, FALSE);
    for (int i = 0; i < kLineCount; ++i) {
        const std::string line =
            std::size_t(i) < preview.Lines.size() ? preview.Lines[std::size_t(i)] : std::string();
        SetDlgItemTextW(hook, kFirstLineId + i, Widen(line).c_str());
    }
}

UINT_PTR CALLBACK Hook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hook, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData));
        return TRUE;
    }
    auto* strip = reinterpret_cast<Strip*>(GetWindowLongPtrW(hook, GWLP_USERDATA));
    if (!strip) return 0;
    switch (message) {
    case WM_NOTIFY: {
        const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
        if (code == CDN_INITDONE) AddStrip(hook, *strip);
        if (code == CDN_SELCHANGE) SetTimer(hook, kSelectionTimer, kSelectionRestMs, nullptr);
        return 0;
    }
    case WM_TIMER:
        KillTimer(hook, kSelectionTimer);
        ShowSelected(hook, *strip);
        return TRUE;
    case kFitWorkArea:
        FitWorkArea(GetParent(hook));
        return TRUE;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        strip->shown.PaintCentred(item.hDC, item.rcItem);
        return TRUE;
    }
    }
    return 0;
}

}  // namespace

std::optional<std::wstring> RunPictureOpenDialog(HWND owner, const std::wstring& title,
                                                 const std::wstring& folder) {
    // "description|patterns|…" as the picture library lists its readers, each part
    // ending in a null character and the whole list in two.
    std::wstring filter = Widen(PGDialogFilter());
    filter += L'|';
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    // Room for the longest path the system's wide calls take.
    std::wstring file(32768, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = owner;
    open.lpstrFilter = filter.c_str();
    open.nFilterIndex = 1;
    open.lpstrFile = file.data();
    open.nMaxFile = DWORD(file.size());
    open.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    open.lpstrTitle = title.c_str();
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLEHOOK |
                 OFN_ENABLESIZING;
    Strip strip;
    open.lpfnHook = Hook;
    open.lCustData = LPARAM(&strip);
    if (!GetOpenFileNameW(&open)) return std::nullopt;
    file.resize(wcslen(file.c_str()));
    if (file.empty()) return std::nullopt;
    return file;
}

}  // namespace quipix::win32
