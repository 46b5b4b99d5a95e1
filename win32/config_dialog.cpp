// The configuration dialog on Windows. Its controls are made from the dialog's control
// table (config/dialog_layout), placed at the DPI of the monitor the dialog is on and
// placed again when it moves to a monitor of another DPI. Everything the dialog
// decides lives in DialogController: this file answers its questions about the
// widgets, reports each click and change to it, and runs the system's choosers. The
// colour buttons, the picture open dialog, the self-drawn labels and the DIB copies
// of the pictures have files of their own.
#include "win32/config_dialog.h"
#include "win32/shown_config_dialog.h"

// windows.h, before the other system headers.
#include "win32/native.h"

#include <commctrl.h>
#include <shlobj.h>
#include <uxtheme.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/dialog_controller.h"
#include "config/dialog_layout.h"
#include "imaging/stream.h"
#include "win32/color_dropdown.h"
#include "win32/dib.h"
#include "win32/gdi_text_engine.h"
#include "win32/open_dialog_hook.h"
#include "win32/owner_draw.h"

namespace quipix::win32 {

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

constexpr int kLogoResource = 2000;  // RCDATA, from the build's logo.rc
// Control i of the table is window kFirstControlId + i, but for OK and Cancel, which
// are the dialog's own IDOK and IDCANCEL. Item j of a radio group i has its own
// window, kFirstRadioItemId + kRadioItemIds * i + j.
constexpr int kFirstControlId = 100;
constexpr int kFirstRadioItemId = 1000, kRadioItemIds = 8;
// A font box is its field and, below it, its drop-down list of this height at 96 dpi.
constexpr int kFontListHeight = 228;
constexpr UINT kShowPendingError = WM_APP + 1;
constexpr UINT kRunWhenShown = WM_APP + 2;
// Messages and values of per-monitor DPI that older headers lack.
constexpr UINT kDpiChanged = 0x02E0;           // WM_DPICHANGED
constexpr UINT kGetDpiScaledSize = 0x02E4;     // WM_GETDPISCALEDSIZE
constexpr int kDialogDpiChangeDisableAll = 1;  // DDC_DISABLE_ALL

std::wstring FromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

// A caption of the layout in the user's language.
std::wstring Caption(std::string_view english) { return FromUtf8(platform::win32::CaptionText(english)); }

template <class F>
F SystemFunction(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The dialog places and scales its controls itself: the dialog manager of Windows 10
// would otherwise also resize them when the DPI changes.
void KeepOwnDpiHandling(HWND dialog) {
    using SetBehavior = BOOL(WINAPI*)(HWND, int, int);
    static const auto set = SystemFunction<SetBehavior>("SetDialogDpiChangeBehavior");
    if (set) set(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
}

// The frame around a client area of width x height at dpi.
SIZE FrameSize(HWND window, int width, int height, int dpi) {
    using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = SystemFunction<AdjustForDpi>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, width, height};
    const DWORD style = DWORD(GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD exStyle = DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE));
    if (!adjust || !adjust(&frame, style, FALSE, exStyle, UINT(dpi)))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

struct WindowClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle = 0;
};

WindowClass ClassOf(const ControlLayout& c) {
    constexpr DWORD kTab = WS_TABSTOP;
    switch (c.Kind) {
    case ControlKind::PageControl:
        return {WC_TABCONTROLW, WS_CLIPSIBLINGS | kTab};
    case ControlKind::Label:
        return {L"STATIC", DWORD(c.Centred ? SS_CENTER : SS_LEFT)};
    case ControlKind::Edit:
        // The sunken client edge, which a theme draws as its field.
        return {L"EDIT", ES_AUTOHSCROLL | kTab, WS_EX_CLIENTEDGE};
    case ControlKind::CheckBox:
        return {L"BUTTON", BS_AUTOCHECKBOX | kTab};
    case ControlKind::PushButton:
        return {L"BUTTON", BS_PUSHBUTTON | kTab};
    case ControlKind::UpDown:
        return {UPDOWN_CLASSW, UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS};
    case ControlKind::TrackBar:
        return {TRACKBAR_CLASSW, TBS_AUTOTICKS | TBS_BOTTOM | kTab};
    case ControlKind::RadioGroup:  // the style of each item
        return {L"BUTTON", BS_AUTORADIOBUTTON};
    case ControlKind::ColorButton:
        return {L"BUTTON", BS_OWNERDRAW | kTab};
    case ControlKind::FontBox:
        return {L"COMBOBOX", CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS | WS_VSCROLL | kTab};
    case ControlKind::FileList:
        return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | kTab, WS_EX_CLIENTEDGE};
    case ControlKind::Panel:
        return {L"STATIC", SS_SUNKEN};
    case ControlKind::Preview:
    case ControlKind::Logo:
    case ControlKind::Label3d:
    case ControlKind::ShadowLabel:
        return {L"STATIC", SS_OWNERDRAW};
    }
    return {L"STATIC", 0};
}

// What a few controls add to the style of their kind.
DWORD ExtraStyle(std::string_view name) {
    if (name == "btOk") return BS_DEFPUSHBUTTON;
    if (name == "edRand" || name == "edPause") return ES_NUMBER;
    if (name == "Qed" || name == "Aed") return ES_READONLY;
    return 0;
}

int CALLBACK AddTrueTypeFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM box) {
    // Vertical variants ("@Name") are not families of their own.
    if ((type & TRUETYPE_FONTTYPE) && font->lfFaceName[0] != L'@' &&
        SendMessageW(HWND(box), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(font->lfFaceName)) == CB_ERR)
        SendMessageW(HWND(box), CB_ADDSTRING, 0, LPARAM(font->lfFaceName));
    return 1;
}

// The logo on the page "About", carried as a resource of the program; left empty
// when it cannot be read.
void LoadLogo(TPixelGraphic& logo) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kLogoResource), RT_RCDATA);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return;
    try {
        TPGMemoryStream stream({static_cast<const std::uint8_t*>(data), SizeofResource(module, found)});
        TPixelGraphic loaded;
        loaded.LoadPictureStream(stream);
        logo.CopyPicture(&loaded);
    } catch (const std::exception&) {
        // The page is whole without it.
    }
}

// A control of the table as made: its window (none for a radio group, whose items
// are windows of their own) and, for a colour button, the colour it shows.
struct Made {
    const ControlLayout* layout;
    HWND window = nullptr;
    std::vector<HWND> items;
    TColor color = 0;
};

class ConfigDialog final : public ShownConfigDialog {
public:
    ConfigDialog(platform::WindowId owner, std::function<void(ShownConfigDialog&)> whenShown = {})
        : owner_(owner), whenShown_(std::move(whenShown)) {}

    // True when the dialog closed with OK.
    bool Execute();

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FilterKeys(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void Create();
    void MakeControls();
    void Arrange(const RECT* suggested);
    void DpiChanged(int dpi, const RECT* suggested);
    void ShowLogo();
    void ShowPage(int page);
    void Command(int id, int code);
    void PickColor(Made& button);
    void Close(INT_PTR result);
    void Draw(const DRAWITEMSTRUCT& item);

    Made* Find(std::string_view control);
    const Made* Find(std::string_view control) const;
    Made* FindById(int id);
    HWND Window(std::string_view control) const;
    HWND ParentOf(const ControlLayout& c) const;

    // DialogView
    void SetText(std::string_view control, const std::string& text) override;
    std::string Text(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    bool Checked(std::string_view control) const override;
    void SetNumber(std::string_view control, int number) override;
    int Number(std::string_view control) const override;
    void SetItems(std::string_view control, const std::vector<std::string>& items) override;
    void SetVisible(std::string_view control, bool visible) override;
    void SetEnabled(std::string_view control, bool enabled) override;
    void ShowPreview(Preview which, const TPixelGraphic& picture) override;
    void ShowError(const std::string& message) override;
    std::optional<std::string> ChooseFolder(const std::string& initial) override;
    std::optional<std::string> ChoosePicture(const std::string& folder) override;
    // ShownConfigDialog
    platform::WindowId ControlWindow(std::string_view control) const override {
        return platform::WindowId(Window(control));
    }

    platform::WindowId owner_;
    std::function<void(ShownConfigDialog&)> whenShown_;
    bool closed_ = false;
    HWND dialog_ = nullptr;
    HWND tabs_ = nullptr;
    std::array<HWND, kDialogPages.size()> pages_{};
    std::vector<Made> controls_;  // in table order
    std::unique_ptr<DialogController> controller_;
    int dpi_ = kLayoutDpi;
    DialogFonts fonts_;
    std::array<KeptDib, 3> previews_;  // BImg, QImg, AImg
    TPixelGraphic logo_;
    KeptDib logoShown_;  // logo_ at the dialog's DPI
    bool creating_ = true;
    std::string pendingError_;
    HHOOK keyHook_ = nullptr;
    static ConfigDialog* running_;
};

ConfigDialog* ConfigDialog::running_ = nullptr;

bool ConfigDialog::Execute() {
    INITCOMMONCONTROLSEX classes{sizeof(classes),
                                 ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    // An empty template: the controls are made in pixels once the dialog exists.
    struct alignas(4) Template {
        DLGTEMPLATE head;
        WORD menu, windowClass;
        wchar_t title[48];
    } tmpl{};
    tmpl.head.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND;
    tmpl.head.cx = 100;
    tmpl.head.cy = 50;
    const std::wstring caption = Caption(kDialogCaption);
    wcsncpy(tmpl.title, caption.c_str(), std::size(tmpl.title) - 1);
    running_ = this;
    // Ctrl+Tab turns the pages wherever the focus is; the dialog's own keyboard
    // handling would take it as Tab.
    keyHook_ = SetWindowsHookExW(WH_MSGFILTER, FilterKeys, nullptr, GetCurrentThreadId());
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tmpl.head, HWND(owner_), Proc, LPARAM(this));
    if (keyHook_) UnhookWindowsHookEx(keyHook_);
    running_ = nullptr;
    return result == IDOK;
}

LRESULT CALLBACK ConfigDialog::FilterKeys(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && running_ && running_->tabs_ && msg->message == WM_KEYDOWN &&
        msg->wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
        const int count = int(kDialogPages.size());
        const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
        const int page = (int(TabCtrl_GetCurSel(running_->tabs_)) + step) % count;
        TabCtrl_SetCurSel(running_->tabs_, page);
        running_->ShowPage(page);
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK ConfigDialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<ConfigDialog*>(lParam)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<ConfigDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

// Each page is a child dialog, so that on a themed system its labels and boxes take
// the page's background; what its controls report goes to the dialog.
INT_PTR CALLBACK ConfigDialog::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return FALSE;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
        return SendMessageW(GetParent(page), message, wParam, lParam);
    }
    return FALSE;
}

INT_PTR ConfigDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Create();
        return TRUE;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        const auto* note = reinterpret_cast<const NMHDR*>(lParam);
        if (note->hwndFrom == tabs_ && note->code == TCN_SELCHANGE) ShowPage(TabCtrl_GetCurSel(tabs_));
        return TRUE;
    }
    case WM_DRAWITEM:
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_HELP:
        if (controller_) controller_->FormHelp();
        return TRUE;
    case kGetDpiScaledSize: {
        // The frame that holds the client area at the new DPI exactly.
        const int dpi = int(wParam);
        *reinterpret_cast<SIZE*>(lParam) =
            FrameSize(dialog_, Scaled(kDialogClientWidth, dpi), Scaled(kDialogClientHeight, dpi), dpi);
        SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case kDpiChanged:
        DpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case kShowPendingError:
        if (!pendingError_.empty()) ShowError(std::exchange(pendingError_, std::string()));
        return TRUE;
    case kRunWhenShown:
        std::exchange(whenShown_, {})(*this);
        if (!closed_) Close(IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

void ConfigDialog::Create() {
    dpi_ = WindowDpi(dialog_);
    KeepOwnDpiHandling(dialog_);
    fonts_.Make(dpi_);
    MakeControls();
    Arrange(nullptr);

    for (const Made& m : controls_) {
        const ControlLayout& c = *m.layout;
        if (c.Kind == ControlKind::UpDown)
            SendMessageW(m.window, UDM_SETBUDDY, WPARAM(Window(c.Associate)), 0);
        if (const auto range = ValueRange(c.Name)) {
            if (c.Kind == ControlKind::UpDown) SendMessageW(m.window, UDM_SETRANGE32, range->Min, range->Max);
            if (c.Kind == ControlKind::TrackBar) {
                SendMessageW(m.window, TBM_SETRANGE, FALSE, MAKELPARAM(range->Min, range->Max));
                SendMessageW(m.window, TBM_SETPAGESIZE, 0, 1);
                SendMessageW(m.window, TBM_SETLINESIZE, 0, 1);
            }
        }
        if (c.Kind == ControlKind::FontBox) {
            HDC dc = GetDC(dialog_);
            LOGFONTW all{};
            all.lfCharSet = DEFAULT_CHARSET;
            EnumFontFamiliesExW(dc, &all, AddTrueTypeFamily, LPARAM(m.window), 0);
            ReleaseDC(dialog_, dc);
        }
    }
    LoadLogo(logo_);
    ShowLogo();

    // The previews draw their text at the dialog's DPI, as large as the saver would.
    InstallGdiTextEngine(dpi_);
    RECT preview{};
    GetClientRect(Window("BImg"), &preview);
    controller_ = std::make_unique<DialogController>(*this, owner_, preview.right, preview.bottom);
    controller_->FormCreate();
    creating_ = false;
    // With the pages being dialogs of their own, the default button is named.
    SendMessageW(dialog_, DM_SETDEFID, IDOK, 0);
    SetFocus(Window("Files"));
    if (!pendingError_.empty()) PostMessageW(dialog_, kShowPendingError, 0, 0);
    if (whenShown_) PostMessageW(dialog_, kRunWhenShown, 0, 0);
}

void ConfigDialog::MakeControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto controls = DialogControls();
    controls_.reserve(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlLayout& c = controls[i];
        Made& made = controls_.emplace_back(Made{&c, nullptr, {}, 0});
        const int id = c.Name == "btOk" ? IDOK : c.Name == "btCancel" ? IDCANCEL : kFirstControlId + int(i);
        const WindowClass cls = ClassOf(c);
        // Every control starts a group of its own, so that the arrow keys move only
        // between the items of a radio group.
        const DWORD style =
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | cls.style | ExtraStyle(c.Name);
        if (c.Kind == ControlKind::PageControl) {
            // The pages are made first, so that they lie above the tab strip.
            struct alignas(4) {
                DLGTEMPLATE head;
                WORD menu, windowClass, title;
            } pageTemplate{};
            pageTemplate.head.style = WS_CHILD | DS_CONTROL;
            pageTemplate.head.dwExtendedStyle = WS_EX_CONTROLPARENT;
            for (HWND& page : pages_) {
                page = CreateDialogIndirectParamW(instance, &pageTemplate.head, dialog_, PageProc, 0);
                KeepOwnDpiHandling(page);
                EnableThemeDialogTexture(page, ETDT_ENABLETAB);
            }
            tabs_ = made.window = CreateWindowExW(0, cls.name, L"", style, 0, 0, 0, 0, dialog_,
                                                  HMENU(INT_PTR(id)), instance, nullptr);
            for (std::size_t page = 0; page < kDialogPages.size(); ++page) {
                const std::wstring caption = Caption(kDialogPages[page].Caption);
                TCITEMW tab{};
                tab.mask = TCIF_TEXT;
                tab.pszText = const_cast<wchar_t*>(caption.c_str());
                TabCtrl_InsertItem(tabs_, int(page), &tab);
            }
        } else if (c.Kind == ControlKind::RadioGroup) {
            for (std::size_t item = 0; c.Radio && item < c.Radio->Items.size(); ++item) {
                // The first item starts the group and is its tab stop.
                const DWORD itemStyle = item == 0 ? style | WS_TABSTOP : style & ~DWORD(WS_GROUP);
                const int itemId = kFirstRadioItemId + kRadioItemIds * int(i) + int(item);
                made.items.push_back(CreateWindowExW(0, cls.name, Caption(c.Radio->Items[item]).c_str(),
                                                     itemStyle, 0, 0, 0, 0, ParentOf(c),
                                                     HMENU(INT_PTR(itemId)), instance, nullptr));
            }
        } else {
            made.window = CreateWindowExW(cls.exStyle, cls.name, Caption(c.Caption).c_str(), style, 0, 0, 0,
                                          0, ParentOf(c), HMENU(INT_PTR(id)), instance, nullptr);
        }
    }
    // The previews and the logo lie above the sunken panels that hold them.
    for (const Made& m : controls_)
        if (m.layout->Kind == ControlKind::Preview || m.layout->Kind == ControlKind::Logo)
            SetWindowPos(m.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void ConfigDialog::Arrange(const RECT* suggested) {
    const SIZE frame =
        FrameSize(dialog_, Scaled(kDialogClientWidth, dpi_), Scaled(kDialogClientHeight, dpi_), dpi_);
    POINT at{};
    if (suggested) {
        at = {suggested->left, suggested->top};
    } else {
        // Centred on the screen's work area.
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        at = {work.left + (work.right - work.left - frame.cx) / 2,
              work.top + (work.bottom - work.top - frame.cy) / 2};
    }
    SetWindowPos(dialog_, nullptr, at.x, at.y, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);

    const auto place = [this](HWND window, LayoutRect r) {
        r = ScaleToDpi(r, dpi_);
        SetWindowPos(window, nullptr, r.X, r.Y, r.Width, r.Height, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (const Made& m : controls_) {
        const ControlLayout& c = *m.layout;
        const HFONT font = fonts_[c.Font];
        LayoutRect r = PlaceInPage(c);
        if (c.Kind == ControlKind::RadioGroup) {
            for (std::size_t item = 0; item < m.items.size(); ++item) {
                LayoutRect itemPlace = RadioItemPlace(c, int(item));
                itemPlace.X += r.X;
                itemPlace.Y += r.Y;
                SendMessageW(m.items[item], WM_SETFONT, WPARAM(font), FALSE);
                place(m.items[item], itemPlace);
            }
            continue;
        }
        SendMessageW(m.window, WM_SETFONT, WPARAM(font), FALSE);
        if (c.Kind == ControlKind::FontBox) r.Height += kFontListHeight;
        place(m.window, r);
        if (c.Kind == ControlKind::FileList)
            SendMessageW(m.window, LB_SETITEMHEIGHT, 0, Scaled(kFileListItemHeight, dpi_));
    }
    // The pages fill the tab control less its tabs, which follow the font.
    RECT pageRect{};
    GetWindowRect(tabs_, &pageRect);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&pageRect), 2);
    TabCtrl_AdjustRect(tabs_, FALSE, &pageRect);
    for (HWND page : pages_)
        SetWindowPos(page, nullptr, pageRect.left, pageRect.top, pageRect.right - pageRect.left,
                     pageRect.bottom - pageRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog_, nullptr, TRUE);
}

void ConfigDialog::DpiChanged(int dpi, const RECT* suggested) {
    if (dpi <= 0 || dpi == dpi_) return;
    dpi_ = dpi;
    fonts_.Make(dpi_);
    Arrange(suggested);
    ShowLogo();
    InstallGdiTextEngine(dpi_);
    RECT preview{};
    GetClientRect(Window("BImg"), &preview);
    controller_->SetPreviewSize(preview.right, preview.bottom);
}

void ConfigDialog::ShowLogo() {
    if (logo_.Empty()) return;
    const int w = Scaled(logo_.Width(), dpi_), h = Scaled(logo_.Height(), dpi_);
    if (w == logo_.Width() && h == logo_.Height()) {
        logoShown_.Keep(logo_);
    } else {
        TPixelGraphic scaled;
        scaled.SetSize(w, h, pgpf24Bit);
        scaled.StretchCopy(0, 0, w, h, logo_, 0, 0, logo_.Width(), logo_.Height());
        logoShown_.Keep(scaled);
    }
    InvalidateRect(Window("Image1"), nullptr, FALSE);
}

void ConfigDialog::ShowPage(int page) {
    for (std::size_t i = 0; i < pages_.size(); ++i)
        ShowWindow(pages_[i], int(i) == page ? SW_SHOWNA : SW_HIDE);
}

Made* ConfigDialog::Find(std::string_view control) {
    for (Made& m : controls_)
        if (m.layout->Name == control) return &m;
    return nullptr;
}

const Made* ConfigDialog::Find(std::string_view control) const {
    return const_cast<ConfigDialog*>(this)->Find(control);
}

Made* ConfigDialog::FindById(int id) {
    if (id == IDOK) return Find("btOk");
    if (id == IDCANCEL) return Find("btCancel");
    int index = id - kFirstControlId;
    if (id >= kFirstRadioItemId) index = (id - kFirstRadioItemId) / kRadioItemIds;
    return index >= 0 && std::size_t(index) < controls_.size() ? &controls_[std::size_t(index)] : nullptr;
}

HWND ConfigDialog::Window(std::string_view control) const {
    const Made* m = Find(control);
    return m ? m->window : nullptr;
}

HWND ConfigDialog::ParentOf(const ControlLayout& c) const {
    std::string_view page = c.Parent;
    // A panel's preview or logo lies on the panel's page, above the panel.
    if (const ControlLayout* panel = FindControl(page); panel && panel->Kind == ControlKind::Panel)
        page = panel->Parent;
    const int index = PageIndex(page);
    return index >= 0 ? pages_[std::size_t(index)] : dialog_;
}

void ConfigDialog::Command(int id, int code) {
    Made* made = FindById(id);
    if (!made || !controller_) return;
    const ControlLayout& c = *made->layout;
    if (c.Name == "btCancel") return Close(IDCANCEL);
    if (c.Kind == ControlKind::ColorButton) {
        if (code == BN_CLICKED) PickColor(*made);
        return;
    }
    if (code == BN_CLICKED || code == CBN_SELCHANGE || code == EN_CHANGE) {
        if (controller_->ControlEvent(c.Name)) Close(IDOK);
    }
}

void ConfigDialog::PickColor(Made& button) {
    const std::optional<TColor> chosen = ChooseButtonColor(dialog_, button.window, button.color);
    if (!chosen || *chosen == button.color) return;
    button.color = *chosen;
    InvalidateRect(button.window, nullptr, FALSE);
    controller_->ControlEvent(button.layout->Name);
}

void ConfigDialog::Close(INT_PTR result) {
    closed_ = true;
    controller_->FormClose();
    EndDialog(dialog_, result);
}

void ConfigDialog::Draw(const DRAWITEMSTRUCT& item) {
    const Made* made = FindById(int(item.CtlID));
    if (!made) return;
    const ControlLayout& c = *made->layout;
    switch (c.Kind) {
    case ControlKind::ColorButton:
        return DrawColorButton(item, made->color, dpi_);
    case ControlKind::Preview:
        return previews_[c.Name == "BImg" ? 0 : c.Name == "QImg" ? 1 : 2].PaintCentred(item.hDC, item.rcItem);
    case ControlKind::Logo:
        return logoShown_.PaintCentred(item.hDC, item.rcItem);
    case ControlKind::Label3d:
        return DrawRaisedLabel(item, fonts_[c.Font], kLabel3dColors, dpi_);
    case ControlKind::ShadowLabel:
        return DrawShadowLabel(item, fonts_[c.Font], kWarningColors, dpi_);
    default:
        return;
    }
}

void ConfigDialog::SetText(std::string_view control, const std::string& text) {
    Made* m = Find(control);
    if (!m || !m->window) return;
    const std::wstring wide = Widen(text);
    if (m->layout->Kind == ControlKind::FontBox) {
        const LRESULT index =
            text.empty() ? CB_ERR
                         : SendMessageW(m->window, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(wide.c_str()));
        SendMessageW(m->window, CB_SETCURSEL, WPARAM(index), 0);
        return;
    }
    SetWindowTextW(m->window, wide.c_str());
    InvalidateRect(m->window, nullptr, FALSE);  // the self-drawn labels
}

std::string ConfigDialog::Text(std::string_view control) const {
    const Made* m = Find(control);
    if (!m || !m->window) return {};
    if (m->layout->Kind == ControlKind::FontBox) {
        const LRESULT index = SendMessageW(m->window, CB_GETCURSEL, 0, 0);
        const LRESULT length =
            index == CB_ERR ? CB_ERR : SendMessageW(m->window, CB_GETLBTEXTLEN, WPARAM(index), 0);
        if (length == CB_ERR) return {};
        std::wstring name(std::size_t(length) + 1, L'\0');
        name.resize(std::size_t(SendMessageW(m->window, CB_GETLBTEXT, WPARAM(index), LPARAM(name.data()))));
        return Narrow(name);
    }
    const int length = GetWindowTextLengthW(m->window);
    std::wstring text(std::size_t(length) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(m->window, text.data(), length + 1)));
    return Narrow(text);
}

void ConfigDialog::SetChecked(std::string_view control, bool checked) {
    SendMessageW(Window(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool ConfigDialog::Checked(std::string_view control) const {
    return SendMessageW(Window(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ConfigDialog::SetNumber(std::string_view control, int number) {
    Made* m = Find(control);
    if (!m) return;
    switch (m->layout->Kind) {
    case ControlKind::UpDown:
        SendMessageW(m->window, UDM_SETPOS32, 0, number);
        return;
    case ControlKind::TrackBar:
        SendMessageW(m->window, TBM_SETPOS, TRUE, number);
        return;
    case ControlKind::RadioGroup:
        for (std::size_t i = 0; i < m->items.size(); ++i)
            SendMessageW(m->items[i], BM_SETCHECK, int(i) == number ? BST_CHECKED : BST_UNCHECKED, 0);
        return;
    case ControlKind::FileList:
        SendMessageW(m->window, LB_SETCURSEL, WPARAM(number), 0);
        return;
    case ControlKind::PageControl:
        TabCtrl_SetCurSel(m->window, number);
        ShowPage(number);
        return;
    case ControlKind::ColorButton:
        m->color = TColor(number);
        InvalidateRect(m->window, nullptr, FALSE);
        return;
    default:
        return;
    }
}

int ConfigDialog::Number(std::string_view control) const {
    const Made* m = Find(control);
    if (!m) return 0;
    switch (m->layout->Kind) {
    case ControlKind::UpDown:
        return int(SendMessageW(m->window, UDM_GETPOS32, 0, 0));
    case ControlKind::TrackBar:
        return int(SendMessageW(m->window, TBM_GETPOS, 0, 0));
    case ControlKind::RadioGroup:
        for (std::size_t i = 0; i < m->items.size(); ++i)
            if (SendMessageW(m->items[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return int(i);
        return -1;
    case ControlKind::FileList: {
        const LRESULT index = SendMessageW(m->window, LB_GETCURSEL, 0, 0);
        return index == LB_ERR ? -1 : int(index);
    }
    case ControlKind::PageControl:
        return int(TabCtrl_GetCurSel(m->window));
    case ControlKind::ColorButton:
        return m->color;
    default:
        return 0;
    }
}

void ConfigDialog::SetItems(std::string_view control, const std::vector<std::string>& items) {
    HWND list = Window(control);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) SendMessageW(list, LB_ADDSTRING, 0, LPARAM(Widen(item).c_str()));
}

void ConfigDialog::SetVisible(std::string_view control, bool visible) {
    ShowWindow(Window(control), visible ? SW_SHOWNA : SW_HIDE);
}

void ConfigDialog::SetEnabled(std::string_view control, bool enabled) {
    EnableWindow(Window(control), enabled);
}

void ConfigDialog::ShowPreview(Preview which, const TPixelGraphic& picture) {
    previews_[std::size_t(which)].Keep(picture);
    const char* name = which == Preview::BImg ? "BImg" : which == Preview::QImg ? "QImg" : "AImg";
    InvalidateRect(Window(name), nullptr, FALSE);
}

void ConfigDialog::ShowError(const std::string& message) {
    // A message box before the dialog is on the screen would stand alone.
    if (creating_) {
        pendingError_ = message;
        return;
    }
    MessageBoxW(dialog_, Widen(message).c_str(), L"Quipix", MB_OK | MB_ICONERROR);
}

int CALLBACK StartFolder(HWND browser, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, folder);
    return 0;
}

std::optional<std::string> ConfigDialog::ChooseFolder(const std::string& initial) {
    const std::wstring start = Widen(initial);
    const std::wstring title = Caption(kFolderDialogTitle);
    PIDLIST_ABSOLUTE drives = nullptr;
    SHGetSpecialFolderLocation(dialog_, CSIDL_DRIVES, &drives);
    BROWSEINFOW browse{};
    browse.hwndOwner = dialog_;
    browse.pidlRoot = drives;
    browse.lpszTitle = title.c_str();
    browse.lpfn = StartFolder;
    browse.lParam = LPARAM(start.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (drives) CoTaskMemFree(drives);
    if (!chosen) return std::nullopt;
    wchar_t path[MAX_PATH] = L"";
    const bool isFolder = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    return isFolder ? Narrow(path) : std::string();
}

std::optional<std::string> ConfigDialog::ChoosePicture(const std::string& folder) {
    const auto file = RunPictureOpenDialog(dialog_, Caption(kPictureDialogTitle), Widen(folder));
    if (!file) return std::nullopt;
    return Narrow(*file);
}

}  // namespace

void RunConfigDialog(platform::WindowId owner) { ConfigDialog(owner).Execute(); }

bool RunConfigDialog(platform::WindowId owner, const std::function<void(ShownConfigDialog&)>& whenShown) {
    return ConfigDialog(owner, whenShown).Execute();
}

}  // namespace quipix::win32
