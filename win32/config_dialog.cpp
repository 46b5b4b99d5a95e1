// The configuration dialog on Windows: a dialog whose controls are created from the
// table below in client pixels, so the layout matches the Linux form pixel for pixel
// at 96 dpi. Everything the dialog decides lives in DialogController; this file only
// shows its values, reads them back and calls the handler each control is bound to.
// The labels wrap and centre their text with the system's DrawText, which the
// platform header leaves out; nothing here uses the canvas's flags of the same names.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "win32/config_dialog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/background.h"
#include "config/dialog_controller.h"
#include "imaging/file_format_reader.h"
#include "imaging/picture_preview.h"
#include "imaging/stream.h"
#include "win32/native.h"
#include "config/sys_colors.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <uxtheme.h>

namespace quipix::win32 {

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

constexpr int kLogoResource = 2000;  // win32/quipix.rc
constexpr int kClientWidth = 534, kClientHeight = 288;
constexpr int kForm = -1;  // the control sits on the form, not on a page
constexpr int kPageCount = 6;
constexpr std::array<const wchar_t*, kPageCount> kPageCaptions{
    L"Joke File Selection", L"Background", L"Questions", L"Answers", L"Speed", L"About this Screen Saver"};

enum Id : int {
    idPages = 100,
    idFiles,
    idBrowse,
    idQEdit,
    idAEdit,
    idRandom,
    idEdRand,
    idUdRand,
    idBack0,
    idBack1,
    idBack2,
    idSolidC,
    idFromC,
    idToC,
    idBitmap,
    idTiled,
    idBImg,
    idQFont,
    idQed,
    idQSize,
    idQColor,
    idQ3D,
    idQBold,
    idQItalic,
    idQImg,
    idAFont,
    idAed,
    idASize,
    idAColor,
    idA3D,
    idABold,
    idAItalic,
    idAImg,
    idTbQ,
    idTbA,
    idTbF,
    idColors,
    idFade0,
    idFade1,
    idEdPause,
    idUdPause,
    idLogo,
    idLabel3d1,
    idVer,
    idURL,
    idHelp,
    idStatic
};

enum class Look { Plain, Small, Radio, Bitmap, Warning, Title, Version };

struct ControlDef {
    int id, page;
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style;
    int x, y, w, h;
    Look look = Look::Plain;
};

constexpr DWORD kTab = WS_TABSTOP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | kTab;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kColorButton = BS_OWNERDRAW | kTab;
constexpr DWORD kSpin = UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
constexpr DWORD kSpeed = TBS_AUTOTICKS | TBS_BOTTOM | kTab;
constexpr DWORD kSunken = SS_SUNKEN;
constexpr DWORD kOwnerStatic = SS_OWNERDRAW;
constexpr DWORD kFontBox = CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS | WS_VSCROLL | kTab;

// In tab order per page. The drop-down font boxes are 22 high closed; the extra
// height is their list.
const ControlDef kControls[] = {
    {idStatic, 0, L"STATIC", L"Select the Joke File from the list:", 0, 8, 14, 220, 15},
    {idFiles, 0, L"LISTBOX", L"", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | kTab, 8, 29,
     185, 177},
    {idStatic, 0, L"STATIC", L"Default Question:", 0, 232, 30, 200, 15},
    {idQEdit, 0, L"EDIT", L"", ES_AUTOHSCROLL | WS_BORDER | kTab, 232, 46, 257, 23},
    {idStatic, 0, L"STATIC", L"Default Answer:", 0, 232, 86, 200, 15},
    {idAEdit, 0, L"EDIT", L"", ES_AUTOHSCROLL | WS_BORDER | kTab, 232, 102, 257, 23},
    {idBrowse, 0, L"BUTTON", L"Browse", BS_PUSHBUTTON | kTab, 200, 181, 75, 25},
    {idRandom, 0, L"BUTTON", L"Change the Joke file after", kCheck, 232, 144, 169, 17},
    {idEdRand, 0, L"EDIT", L"", ES_NUMBER | WS_BORDER | kTab, 400, 141, 33, 23},
    {idUdRand, 0, UPDOWN_CLASSW, L"", kSpin, 433, 141, 15, 23},
    {idStatic, 0, L"STATIC", L"Jokes", 0, 456, 145, 40, 15},

    {idStatic, 1, L"STATIC", L"", kSunken, 265, 16, 241, 185},
    {idBImg, 1, L"STATIC", L"", kOwnerStatic, 271, 22, 229, 173},
    {idSolidC, 1, L"BUTTON", L"", kColorButton, 160, 20, 53, 25},
    {idFromC, 1, L"BUTTON", L"", kColorButton, 128, 60, 53, 25},
    {idToC, 1, L"BUTTON", L"", kColorButton, 192, 60, 53, 25},
    {idBitmap, 1, L"BUTTON", L"", BS_PUSHBUTTON | kTab, 16, 140, 225, 25, Look::Bitmap},
    {idTiled, 1, L"BUTTON", L"Tiled", kCheck, 96, 176, 65, 17},
    {idBack0, 1, L"BUTTON", L"Solid", kRadio | WS_GROUP | kTab, 16, 24, 97, 17, Look::Radio},
    {idBack1, 1, L"BUTTON", L"Degraded", kRadio, 16, 64, 97, 17, Look::Radio},
    {idBack2, 1, L"BUTTON", L"Bitmap", kRadio, 16, 104, 97, 17, Look::Radio},

    {idStatic, 2, L"STATIC", L"", kSunken | WS_GROUP, 265, 16, 241, 185},
    {idQImg, 2, L"STATIC", L"", kOwnerStatic, 271, 22, 229, 173},
    {idStatic, 2, L"STATIC", L"Select Font:", 0, 16, 16, 120, 15},
    {idQFont, 2, L"COMBOBOX", L"", kFontBox, 16, 32, 217, 250},
    {idQ3D, 2, L"BUTTON", L"3D effect", kCheck, 88, 136, 81, 17},
    {idQBold, 2, L"BUTTON", L"Bold", kCheck, 88, 160, 81, 17},
    {idQItalic, 2, L"BUTTON", L"Italic", kCheck, 88, 184, 81, 17},
    {idStatic, 2, L"STATIC", L"Select Size:", 0, 16, 69, 78, 15},
    {idQed, 2, L"EDIT", L"", ES_READONLY | WS_BORDER | kTab, 96, 64, 41, 23},
    {idQSize, 2, UPDOWN_CLASSW, L"", kSpin, 137, 64, 15, 23},
    {idStatic, 2, L"STATIC", L"Select Color:", 0, 16, 101, 78, 15},
    {idQColor, 2, L"BUTTON", L"", kColorButton, 96, 100, 53, 25},

    {idAFont, 3, L"COMBOBOX", L"", kFontBox, 16, 32, 217, 250},
    {idA3D, 3, L"BUTTON", L"3D effect", kCheck, 88, 136, 81, 17},
    {idABold, 3, L"BUTTON", L"Bold", kCheck, 88, 160, 81, 17},
    {idAItalic, 3, L"BUTTON", L"Italic", kCheck, 88, 184, 81, 17},
    {idStatic, 3, L"STATIC", L"", kSunken, 265, 16, 241, 185},
    {idAImg, 3, L"STATIC", L"", kOwnerStatic, 271, 22, 229, 173},
    {idStatic, 3, L"STATIC", L"Select Font:", 0, 16, 16, 120, 15},
    {idStatic, 3, L"STATIC", L"Select Size:", 0, 16, 69, 78, 15},
    {idAed, 3, L"EDIT", L"", ES_READONLY | WS_BORDER | kTab, 96, 64, 41, 23},
    {idASize, 3, UPDOWN_CLASSW, L"", kSpin, 137, 64, 15, 23},
    {idStatic, 3, L"STATIC", L"Select Color:", 0, 16, 101, 78, 15},
    {idAColor, 3, L"BUTTON", L"", kColorButton, 96, 100, 53, 25},

    {idStatic, 4, L"STATIC", L"Slow", 0, 192, 8, 40, 15},
    {idStatic, 4, L"STATIC", L"Fast", 0, 464, 8, 40, 15},
    {idStatic, 4, L"STATIC", L"Questions moving speed:", 0, 32, 47, 160, 15},
    {idTbQ, 4, TRACKBAR_CLASSW, L"", kSpeed, 200, 31, 289, 45},
    {idStatic, 4, L"STATIC", L"Answers moving speed:", 0, 32, 87, 160, 15},
    {idTbA, 4, TRACKBAR_CLASSW, L"", kSpeed, 200, 79, 289, 45},
    {idStatic, 4, L"STATIC", L"Effects speed:", 0, 32, 127, 160, 15},
    {idTbF, 4, TRACKBAR_CLASSW, L"", kSpeed, 200, 119, 289, 45},
    {idColors, 4, L"STATIC", L"Warning: This screen saver works in limited mode on 256 color systems",
     kOwnerStatic, 208, 40, 273, 73, Look::Warning},
    {idFade0, 4, L"BUTTON", L"Fade to black", kRadio | WS_GROUP | kTab, 96, 166, 200, 20},
    {idFade1, 4, L"BUTTON", L"Fade in place", kRadio, 296, 166, 200, 20},
    {idStatic, 4, L"STATIC", L"Pause after the answer:", WS_GROUP, 32, 194, 160, 15},
    {idEdPause, 4, L"EDIT", L"", ES_NUMBER | WS_BORDER | kTab, 200, 190, 33, 23},
    {idUdPause, 4, UPDOWN_CLASSW, L"", kSpin, 233, 190, 15, 23},
    {idStatic, 4, L"STATIC", L"seconds", 0, 256, 194, 60, 15},

    {idURL, 5, L"BUTTON", L"Navigate to Kelvara home page", BS_PUSHBUTTON | kTab, 153, 181, 225, 25},
    {idStatic, 5, L"STATIC", L"", kSunken, 8, 8, 312, 132},
    {idLogo, 5, L"STATIC", L"", kOwnerStatic, 14, 14, 300, 120},
    {idLabel3d1, 5, L"STATIC", L"Kelvara Jokes Screen Saver", kOwnerStatic, 322, 21, 201, 65, Look::Title},
    {idVer, 5, L"STATIC", L"Version", kOwnerStatic, 336, 96, 169, 29, Look::Version},
    {idStatic, 5, L"STATIC", L"Copyright \u00A9 Kelvara. Free to use and to share with friends.", 0, 114, 152,
     297, 14, Look::Small},

    {IDOK, kForm, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | kTab, 8, 256, 75, 25},
    {IDCANCEL, kForm, L"BUTTON", L"Cancel", BS_PUSHBUTTON | kTab, 88, 256, 75, 25},
    {idHelp, kForm, L"BUTTON", L"Help", BS_PUSHBUTTON | kTab, 168, 256, 75, 25},
};

COLORREF ToColorRef(TColor color) { return COLORREF(ResolveColor(color)); }

HFONT MakeFont(const wchar_t* face, int pixels, bool bold = false) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       face);
}

int CALLBACK CountFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFamily(HDC dc, const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &wanted, CountFamily, LPARAM(&found), 0);
    return found;
}

int CALLBACK AddTrueTypeFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM box) {
    // Vertical variants ("@Name") are not families of their own.
    if ((type & TRUETYPE_FONTTYPE) && font->lfFaceName[0] != L'@' &&
        SendMessageW(HWND(box), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(font->lfFaceName)) == CB_ERR)
        SendMessageW(HWND(box), CB_ADDSTRING, 0, LPARAM(font->lfFaceName));
    return 1;
}

// A preview as the view keeps it: a DIB header with its colour table, and the rows.
struct ShownPicture {
    struct Info {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info{};
    std::vector<std::uint8_t> bits;
};
// The picture open dialog's strip beside the standard controls: the selected
// picture fitted into 160 x 120 and up to four information lines below it.
struct PicturePane {
    ShownPicture shown;
    HFONT font = nullptr;
};
constexpr int kPaneWidth = 180, kPaneImage = 501, kPaneLine = 502, kPaneLines = 4;
constexpr int kPanePictureWidth = 160, kPanePictureHeight = 120;
constexpr UINT_PTR kSelectionTimer = 1;

void Keep(ShownPicture& shown, const TPixelGraphic& picture);
void LoadLogo(ShownPicture& shown);
void Paint(const DRAWITEMSTRUCT& item, const ShownPicture& shown);
UINT_PTR CALLBACK PictureHook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);

class ConfigDialog final : public DialogView {
public:
    explicit ConfigDialog(platform::WindowId owner) : owner_(owner) {}

    void Execute();

    void ShowPreview(Preview which, const TPixelGraphic& picture) override;
    void ShowError(const std::string& message) override;

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FilterKeys(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void Create();
    void SetFonts();
    HWND Item(int id) const;
    void ShowValues();
    void ShowFiles();
    void ShowBitmapCaption();
    void ReadValues();
    void ApplyStates();
    void ShowPage(int page);
    void Run(void (DialogController::*handler)());
    void Command(int id, int code);
    void PickColor(int id);
    void BrowseFolder();
    void BrowsePicture();
    void Close(INT_PTR result);
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawColorButton(const DRAWITEMSTRUCT& item, TColor color);
    void DrawLabel(const DRAWITEMSTRUCT& item, Look look);

    void SetText(int id, const std::string& text) { SetWindowTextW(Item(id), Widen(text).c_str()); }
    std::string Text(int id) const;
    void SetChecked(int id, bool on) {
        SendMessageW(Item(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void SetRadio(int first, int count, int index) {
        for (int i = 0; i < count; ++i) SetChecked(first + i, i == index);
    }
    int Spin(int id) const { return int(SendMessageW(Item(id), UDM_GETPOS32, 0, 0)); }
    void SetSpin(int id, int value) { SendMessageW(Item(id), UDM_SETPOS32, 0, value); }
    int Track(int id) const { return int(SendMessageW(Item(id), TBM_GETPOS, 0, 0)); }
    void SetTrack(int id, int value) { SendMessageW(Item(id), TBM_SETPOS, TRUE, value); }
    std::string FontName(int id) const;
    void SetFontName(int id, const std::string& name);
    TColor* ColorOf(int id);

    platform::WindowId owner_;
    HWND dialog_ = nullptr;
    std::array<HWND, kPageCount> pages_{};
    std::unique_ptr<DialogController> controller_;
    std::vector<HFONT> fonts_;
    std::array<ShownPicture, 4> previews_;  // BImg, QImg, AImg, the logo
    ControlStates states_;
    bool showing_ = true;
    bool creating_ = true;
    std::string pendingError_;
    HHOOK keyHook_ = nullptr;
    static ConfigDialog* running_;
};

ConfigDialog* ConfigDialog::running_ = nullptr;

constexpr UINT kShowPendingError = WM_APP + 1;

void ConfigDialog::Execute() {
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
    wcscpy(tmpl.title, L"Kelvara Jokes Screen Saver Configuration");
    running_ = this;
    // Ctrl+Tab turns the pages wherever the focus is; the dialog's own keyboard
    // handling would take it as Tab.
    keyHook_ = SetWindowsHookExW(WH_MSGFILTER, FilterKeys, nullptr, GetCurrentThreadId());
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tmpl.head, HWND(owner_), Proc, LPARAM(this));
    if (keyHook_) UnhookWindowsHookEx(keyHook_);
    running_ = nullptr;
    for (HFONT font : fonts_) DeleteObject(font);
}

LRESULT CALLBACK ConfigDialog::FilterKeys(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && running_ && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB &&
        GetKeyState(VK_CONTROL) < 0) {
        const int back = GetKeyState(VK_SHIFT) < 0 ? kPageCount - 1 : 1;
        const int page = (int(TabCtrl_GetCurSel(running_->Item(idPages))) + back) % kPageCount;
        TabCtrl_SetCurSel(running_->Item(idPages), page);
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

HWND ConfigDialog::Item(int id) const {
    if (HWND item = GetDlgItem(dialog_, id)) return item;
    for (HWND page : pages_)
        if (HWND item = page ? GetDlgItem(page, id) : nullptr) return item;
    return nullptr;
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
        if (note->idFrom == idPages && note->code == TCN_SELCHANGE)
            ShowPage(TabCtrl_GetCurSel(note->hwndFrom));
        return TRUE;
    }
    case WM_HSCROLL:  // the track bars hold plain values, read on OK
        return TRUE;
    case WM_DRAWITEM:
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_HELP:
        controller_->FormHelp();
        return TRUE;
    case kShowPendingError:
        if (!pendingError_.empty()) ShowError(std::exchange(pendingError_, std::string()));
        return TRUE;
    }
    return FALSE;
}

void ConfigDialog::Create() {
    // The client area in pixels, centred on the screen's work area.
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(dialog_, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(dialog_, GWL_EXSTYLE)));
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(dialog_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP,
                                0, 0, kClientWidth, 249, dialog_, HMENU(INT_PTR(idPages)), instance, nullptr);
    for (int page = 0; page < kPageCount; ++page) {
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<wchar_t*>(kPageCaptions[page]);
        TabCtrl_InsertItem(tabs, page, &tab);
    }
    SetFonts();
    SendMessageW(tabs, WM_SETFONT, WPARAM(fonts_[0]), FALSE);
    RECT pageRect{0, 0, kClientWidth, 249};
    TabCtrl_AdjustRect(tabs, FALSE, &pageRect);

    struct alignas(4) {
        DLGTEMPLATE head;
        WORD menu, windowClass, title;
    } pageTemplate{};
    pageTemplate.head.style = WS_CHILD | DS_CONTROL;
    pageTemplate.head.dwExtendedStyle = WS_EX_CONTROLPARENT;
    for (HWND& page : pages_) {
        page = CreateDialogIndirectParamW(instance, &pageTemplate.head, dialog_, PageProc, 0);
        SetWindowPos(page, nullptr, pageRect.left, pageRect.top, pageRect.right - pageRect.left,
                     pageRect.bottom - pageRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
        EnableThemeDialogTexture(page, ETDT_ENABLETAB);
    }
    for (const ControlDef& c : kControls) {
        HWND parent = c.page == kForm ? dialog_ : pages_[size_t(c.page)];
        HWND control = CreateWindowExW(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | c.style,
                                       c.x, c.y, c.w, c.h, parent, HMENU(INT_PTR(c.id)), instance, nullptr);
        const HFONT font = fonts_[size_t(c.look)];
        SendMessageW(control, WM_SETFONT, WPARAM(font), FALSE);
    }
    // The pages lie under their controls, the sunken panels under their previews.
    SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (int id : {idBImg, idQImg, idAImg, idLogo})
        SetWindowPos(Item(id), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    const std::pair<int, int> spinners[] = {
        {idUdRand, idEdRand}, {idQSize, idQed}, {idASize, idAed}, {idUdPause, idEdPause}};
    for (auto [spin, buddy] : spinners) SendMessageW(Item(spin), UDM_SETBUDDY, WPARAM(Item(buddy)), 0);
    SendMessageW(Item(idUdRand), UDM_SETRANGE32, kCountRange.Min, kCountRange.Max);
    SendMessageW(Item(idQSize), UDM_SETRANGE32, kSizeRange.Min, kSizeRange.Max);
    SendMessageW(Item(idASize), UDM_SETRANGE32, kSizeRange.Min, kSizeRange.Max);
    SendMessageW(Item(idUdPause), UDM_SETRANGE32, kPauseRange.Min, kPauseRange.Max);
    for (int id : {idTbQ, idTbA, idTbF}) {
        SendMessageW(Item(id), TBM_SETRANGE, FALSE, MAKELPARAM(kSpeedRange.Min, kSpeedRange.Max));
        SendMessageW(Item(id), TBM_SETPAGESIZE, 0, 1);
        SendMessageW(Item(id), TBM_SETLINESIZE, 0, 1);
    }
    HDC dc = GetDC(dialog_);
    for (int id : {idQFont, idAFont}) {
        LOGFONTW all{};
        all.lfCharSet = DEFAULT_CHARSET;
        EnumFontFamiliesExW(dc, &all, AddTrueTypeFamily, LPARAM(Item(id)), 0);
    }
    ReleaseDC(dialog_, dc);

    LoadLogo(previews_[3]);
    RECT preview{};
    GetClientRect(Item(idBImg), &preview);
    controller_ = std::make_unique<DialogController>(*this, owner_, preview.right, preview.bottom);
    controller_->FormCreate();
    ShowValues();
    ApplyStates();
    creating_ = false;
    // With the pages being dialogs of their own, the default button is named.
    SendMessageW(dialog_, DM_SETDEFID, IDOK, 0);
    SetFocus(Item(idFiles));
    if (!pendingError_.empty()) PostMessageW(dialog_, kShowPendingError, 0, 0);
}

void ConfigDialog::SetFonts() {
    HDC dc = GetDC(dialog_);
    const wchar_t* arial = HasFamily(dc, L"Arial") ? L"Arial" : L"MS Shell Dlg";
    const wchar_t* radio = HasFamily(dc, L"MS Sans Serif") ? L"MS Sans Serif" : arial;
    ReleaseDC(dialog_, dc);
    // In the order of Look.
    fonts_ = {MakeFont(arial, 12),      MakeFont(arial, 11),       MakeFont(radio, 11),
              MakeFont(arial, 11),      MakeFont(arial, 19, true), MakeFont(arial, 24, true),
              MakeFont(arial, 19, true)};
}

std::string ConfigDialog::Text(int id) const {
    const int length = GetWindowTextLengthW(Item(id));
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(Item(id), text.data(), length + 1)));
    return Narrow(text);
}

std::string ConfigDialog::FontName(int id) const {
    const LRESULT index = SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = SendMessageW(Item(id), CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR) return {};
    std::wstring name(size_t(length) + 1, L'\0');
    name.resize(size_t(SendMessageW(Item(id), CB_GETLBTEXT, WPARAM(index), LPARAM(name.data()))));
    return Narrow(name);
}

void ConfigDialog::SetFontName(int id, const std::string& name) {
    const std::wstring wide = Widen(name);
    const LRESULT index =
        name.empty() ? CB_ERR : SendMessageW(Item(id), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(wide.c_str()));
    SendMessageW(Item(id), CB_SETCURSEL, WPARAM(index), 0);
}

TColor* ConfigDialog::ColorOf(int id) {
    DialogValues& v = controller_->Values();
    switch (id) {
    case idSolidC:
        return &v.SolidC;
    case idFromC:
        return &v.FromC;
    case idToC:
        return &v.ToC;
    case idQColor:
        return &v.QColor;
    case idAColor:
        return &v.AColor;
    }
    return nullptr;
}

void ConfigDialog::ShowValues() {
    const DialogValues& v = controller_->Values();
    showing_ = true;
    TabCtrl_SetCurSel(Item(idPages), v.Pages);
    ShowFiles();
    SetText(idQEdit, v.QEdit);
    SetText(idAEdit, v.AEdit);
    SetChecked(idRandom, v.cbRandom);
    SetSpin(idUdRand, v.udRand);
    SetRadio(idBack0, kBackTypeCount, v.rgBackType);
    ShowBitmapCaption();
    SetChecked(idTiled, v.cbTiled);
    SetFontName(idQFont, v.QFont);
    SetSpin(idQSize, v.QSize);
    SetChecked(idQ3D, v.Q3D);
    SetChecked(idQBold, v.QBold);
    SetChecked(idQItalic, v.QItalic);
    SetFontName(idAFont, v.AFont);
    SetSpin(idASize, v.ASize);
    SetChecked(idA3D, v.A3D);
    SetChecked(idABold, v.ABold);
    SetChecked(idAItalic, v.AItalic);
    SetTrack(idTbQ, v.tbQ);
    SetTrack(idTbA, v.tbA);
    SetTrack(idTbF, v.tbF);
    SetRadio(idFade0, kFadeModeCount, v.rgFadeMode);
    SetSpin(idUdPause, v.udPause);
    SetText(idVer, v.laVer);
    for (int id : {idSolidC, idFromC, idToC, idQColor, idAColor}) InvalidateRect(Item(id), nullptr, FALSE);
    showing_ = false;
}

void ConfigDialog::ShowFiles() {
    const DialogValues& v = controller_->Values();
    HWND files = Item(idFiles);
    SendMessageW(files, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : v.JokeFiles)
        SendMessageW(files, LB_ADDSTRING, 0, LPARAM(Widen(name).c_str()));
    SendMessageW(files, LB_SETITEMHEIGHT, 0, 18);
    SendMessageW(files, LB_SETCURSEL, WPARAM(v.FilesIndex), 0);
}

void ConfigDialog::ShowBitmapCaption() { SetText(idBitmap, controller_->BitmapCaption()); }

void ConfigDialog::ReadValues() {
    DialogValues& v = controller_->Values();
    v.Pages = int(TabCtrl_GetCurSel(Item(idPages)));
    v.FilesIndex = int(SendMessageW(Item(idFiles), LB_GETCURSEL, 0, 0));
    if (v.FilesIndex == LB_ERR) v.FilesIndex = -1;
    v.QEdit = Text(idQEdit);
    v.AEdit = Text(idAEdit);
    v.cbRandom = Checked(idRandom);
    v.udRand = Spin(idUdRand);
    for (int i = 0; i < kBackTypeCount; ++i)
        if (Checked(idBack0 + i)) v.rgBackType = i;
    v.cbTiled = Checked(idTiled);
    v.QFont = FontName(idQFont);
    v.QSize = Spin(idQSize);
    v.Q3D = Checked(idQ3D);
    v.QBold = Checked(idQBold);
    v.QItalic = Checked(idQItalic);
    v.AFont = FontName(idAFont);
    v.ASize = Spin(idASize);
    v.A3D = Checked(idA3D);
    v.ABold = Checked(idABold);
    v.AItalic = Checked(idAItalic);
    v.tbQ = Track(idTbQ);
    v.tbA = Track(idTbA);
    v.tbF = Track(idTbF);
    v.rgFadeMode = Checked(idFade1) ? 1 : 0;
    v.udPause = Spin(idUdPause);
    // The colours are written into Values() when they are picked.
}

void ConfigDialog::ApplyStates() {
    states_ = controller_->States();
    EnableWindow(Item(idEdRand), states_.edRand);
    ShowPage(int(TabCtrl_GetCurSel(Item(idPages))));
}

void ConfigDialog::ShowPage(int page) {
    const std::pair<int, bool> hidden[] = {{idSolidC, !states_.SolidC}, {idFromC, !states_.FromC},
                                           {idToC, !states_.ToC},       {idBitmap, !states_.btBitmap},
                                           {idTiled, !states_.cbTiled}, {idTbQ, !states_.tbQ},
                                           {idTbA, !states_.tbA},       {idColors, !states_.laColors}};
    for (auto [id, off] : hidden) ShowWindow(Item(id), off ? SW_HIDE : SW_SHOWNA);
    for (int i = 0; i < kPageCount; ++i) ShowWindow(pages_[size_t(i)], i == page ? SW_SHOWNA : SW_HIDE);
}

void ConfigDialog::Run(void (DialogController::*handler)()) {
    if (showing_) return;
    ReadValues();
    if (handler) (controller_.get()->*handler)();
    ApplyStates();
}

void ConfigDialog::Command(int id, int code) {
    switch (id) {
    case IDOK:
        ReadValues();
        if (controller_->btOkClick()) Close(IDOK);
        return;
    case IDCANCEL:
        Close(IDCANCEL);
        return;
    case idHelp:
        ReadValues();
        controller_->btHelpClick();
        return;
    case idURL:
        controller_->btURLClick();
        return;
    case idBrowse:
        BrowseFolder();
        return;
    case idBitmap:
        BrowsePicture();
        return;
    case idRandom:
        Run(nullptr);
        return;
    case idBack0:
    case idBack1:
    case idBack2:
    case idTiled:
        if (code == BN_CLICKED) Run(&DialogController::BackChange);
        return;
    case idQ3D:
    case idQBold:
    case idQItalic:
        if (code == BN_CLICKED) Run(&DialogController::QChange);
        return;
    case idA3D:
    case idABold:
    case idAItalic:
        if (code == BN_CLICKED) Run(&DialogController::AChange);
        return;
    case idQFont:
    case idAFont:
        if (code == CBN_SELCHANGE)
            Run(id == idQFont ? &DialogController::QChange : &DialogController::AChange);
        return;
    case idQed:
    case idAed:
        if (code == EN_CHANGE) Run(id == idQed ? &DialogController::QChange : &DialogController::AChange);
        return;
    case idSolidC:
    case idFromC:
    case idToC:
    case idQColor:
    case idAColor:
        PickColor(id);
        return;
    }
}

// A swatch for the drop-down's entry of color.
HBITMAP Swatch(HDC dc, TColor color) {
    constexpr int kSize = 12;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, kSize, kSize);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT r{0, 0, kSize, kSize};
    HBRUSH brush = CreateSolidBrush(ToColorRef(color));
    FillRect(memory, &r, brush);
    DeleteObject(brush);
    FrameRect(memory, &r, HBRUSH(GetStockObject(BLACK_BRUSH)));
    SelectObject(memory, old);
    DeleteDC(memory);
    return bitmap;
}

// The colour the user picks from the button's drop-down, or from the colour dialog
// behind its "&Other..." entry; false when nothing was picked.
bool ChooseFromDropDown(HWND dialog, HWND button, TColor current, TColor& chosen) {
    constexpr UINT kOther = 1000;
    const auto& palette = syscolor::kColorButtonPalette;
    HMENU menu = CreatePopupMenu();
    std::vector<HBITMAP> swatches;
    HDC dc = GetDC(button);
    for (UINT i = 0; i < palette.size(); ++i) {
        AppendMenuW(menu, MF_STRING | (palette[i].Color == current ? MF_CHECKED : 0), i + 1,
                    Widen(palette[i].Name).c_str());
        MENUITEMINFOW swatch{};
        swatch.cbSize = sizeof(swatch);
        swatch.fMask = MIIM_BITMAP;
        swatch.hbmpItem = swatches.emplace_back(Swatch(dc, palette[i].Color));
        SetMenuItemInfoW(menu, i + 1, FALSE, &swatch);
    }
    ReleaseDC(button, dc);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kOther, L"&Other...");
    RECT r{};
    GetWindowRect(button, &r);
    const UINT command =
        UINT(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, r.left,
                            r.bottom, 0, dialog, nullptr));
    DestroyMenu(menu);
    for (HBITMAP bitmap : swatches) DeleteObject(bitmap);
    if (command >= 1 && command <= palette.size()) {
        chosen = palette[command - 1].Color;
        return true;
    }
    if (command != kOther) return false;
    static COLORREF custom[16]{};
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = dialog;
    choose.rgbResult = ToColorRef(current);
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT | CC_ANYCOLOR;
    if (!ChooseColorW(&choose)) return false;
    chosen = TColor(choose.rgbResult & 0xFFFFFF);
    return true;
}

void ConfigDialog::PickColor(int id) {
    ReadValues();
    TColor* color = ColorOf(id);
    TColor chosen = *color;
    if (!ChooseFromDropDown(dialog_, Item(id), *color, chosen) || chosen == *color) return;
    *color = chosen;
    InvalidateRect(Item(id), nullptr, FALSE);
    if (id == idQColor)
        controller_->QChange();
    else if (id == idAColor)
        controller_->AChange();
    else
        controller_->BackChange();
    ApplyStates();
}

int CALLBACK StartFolder(HWND browser, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, folder);
    return 0;
}

void ConfigDialog::BrowseFolder() {
    ReadValues();
    const std::wstring start = Widen(controller_->Values().Directory);
    PIDLIST_ABSOLUTE drives = nullptr;
    SHGetSpecialFolderLocation(dialog_, CSIDL_DRIVES, &drives);
    BROWSEINFOW browse{};
    browse.hwndOwner = dialog_;
    browse.pidlRoot = drives;
    browse.lpszTitle = L"Select the folder where the Joke files are located";
    browse.lpfn = StartFolder;
    browse.lParam = LPARAM(start.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (drives) CoTaskMemFree(drives);
    if (!chosen) return;
    wchar_t path[MAX_PATH] = L"";
    const bool isFolder = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    controller_->FolderChosen(isFolder ? Narrow(path) : std::string());
    showing_ = true;
    ShowFiles();
    showing_ = false;
}

void ConfigDialog::BrowsePicture() {
    ReadValues();
    // "description|patterns|…" as the picture library lists its readers.
    std::wstring filter = Widen(PGDialogFilter());
    filter += L'|';
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    const std::wstring folder = Widen(controller_->PictureFolder());
    std::wstring file(32768, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = dialog_;
    open.lpstrFilter = filter.c_str();
    open.nFilterIndex = 1;
    open.lpstrFile = file.data();
    open.nMaxFile = DWORD(file.size());
    open.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    open.lpstrTitle = L"Select a background bitmap";
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLEHOOK;
    PicturePane pane;
    open.lpfnHook = PictureHook;
    open.lCustData = LPARAM(&pane);
    const bool chosen = GetOpenFileNameW(&open);
    if (pane.font) DeleteObject(pane.font);
    if (!chosen) return;
    file.resize(wcslen(file.c_str()));
    controller_->PictureChosen(Narrow(file));
    ShowBitmapCaption();
    ApplyStates();
}

void ConfigDialog::Close(INT_PTR result) {
    controller_->FormClose();
    EndDialog(dialog_, result);
}

void Keep(ShownPicture& shown, const TPixelGraphic& picture) {
    const int height = picture.Height();
    shown.bits.clear();
    if (picture.Width() > 0 && height > 0) {
        // Rows are bottom-up and DWORD-aligned: the buffer already is a DIB's.
        const std::uint8_t* first = picture.ScanLine(height - 1);
        shown.bits.assign(first, first + std::size_t(picture.Stride()) * std::size_t(height));
    }
    BITMAPINFOHEADER& h = shown.info.header;
    h = BITMAPINFOHEADER{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = picture.Width();
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = WORD(PixelFormatBits(picture.PixelFormat()));
    h.biCompression = BI_RGB;
    const int colors = std::min(picture.PaletteCount(), 256);
    h.biClrUsed = DWORD(h.biBitCount <= 8 ? colors : 0);
    for (int i = 0; i < colors; ++i) {
        const PGColor c = picture.PaletteEntries(i);
        shown.info.colors[i] = RGBQUAD{BYTE(c >> 16), BYTE(c >> 8), BYTE(c), 0};
    }
}

// The logo on the page "About", carried as a resource of the program.
void LoadLogo(ShownPicture& shown) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kLogoResource), MAKEINTRESOURCEW(10));
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return;
    try {
        TPGMemoryStream stream({static_cast<const std::uint8_t*>(data), SizeofResource(module, found)});
        TPixelGraphic logo;
        logo.LoadPictureStream(stream);
        Keep(shown, logo);
    } catch (const std::exception&) {
        // Without its logo the page is still whole.
    }
}

void ConfigDialog::ShowPreview(Preview which, const TPixelGraphic& picture) {
    Keep(previews_[size_t(which)], picture);
    const int id = which == Preview::BImg ? idBImg : which == Preview::QImg ? idQImg : idAImg;
    InvalidateRect(Item(id), nullptr, FALSE);
}

void ConfigDialog::ShowError(const std::string& message) {
    // A message box before the dialog is on the screen would stand alone.
    if (creating_) {
        pendingError_ = message;
        return;
    }
    MessageBoxW(dialog_, Widen(message).c_str(), L"Quipix", MB_OK | MB_ICONERROR);
}

void ConfigDialog::Draw(const DRAWITEMSTRUCT& item) {
    const int id = int(item.CtlID);
    if (TColor* color = controller_ ? ColorOf(id) : nullptr) return DrawColorButton(item, *color);
    const int preview = id == idBImg ? 0 : id == idQImg ? 1 : id == idAImg ? 2 : id == idLogo ? 3 : -1;
    if (preview < 0) {
        for (const ControlDef& c : kControls)
            if (c.id == id) return DrawLabel(item, c.look);
        return;
    }
    Paint(item, previews_[size_t(preview)]);
}

// Shows the picture 1:1, centred in the control, on the dialog's colour.
void Paint(const DRAWITEMSTRUCT& item, const ShownPicture& shown) {
    const RECT& r = item.rcItem;
    const int w = shown.info.header.biWidth, h = shown.info.header.biHeight;
    if (shown.bits.empty() || w < r.right - r.left || h < r.bottom - r.top)
        FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (shown.bits.empty()) return;
    SetDIBitsToDevice(item.hDC, r.left + (r.right - r.left - w) / 2, r.top + (r.bottom - r.top - h) / 2,
                      DWORD(w), DWORD(h), 0, 0, 0, UINT(h), shown.bits.data(),
                      reinterpret_cast<const BITMAPINFO*>(&shown.info), DIB_RGB_COLORS);
}

void AddPane(HWND hook, PicturePane& pane) {
    HWND dialog = GetParent(hook);
    RECT client{}, frame{};
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + kPaneWidth, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    SetWindowPos(hook, nullptr, client.right, 0, kPaneWidth, client.bottom, SWP_NOZORDER);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    CreateWindowExW(WS_EX_STATICEDGE, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 8, 12,
                    kPanePictureWidth + 4, kPanePictureHeight + 4, hook, HMENU(INT_PTR(kPaneImage)), instance,
                    nullptr);
    HDC dc = GetDC(hook);
    pane.font = MakeFont(HasFamily(dc, L"MS Sans Serif") ? L"MS Sans Serif" : L"Arial", 11);
    ReleaseDC(hook, dc);
    for (int i = 0; i < kPaneLines; ++i) {
        HWND line = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_ENDELLIPSIS,
                                    8, 144 + 18 * i, kPanePictureWidth + 4, 14, hook,
                                    HMENU(INT_PTR(kPaneLine + i)), instance, nullptr);
        SendMessageW(line, WM_SETFONT, WPARAM(pane.font), FALSE);
    }
}

void ShowSelected(HWND hook, PicturePane& pane) {
    wchar_t path[4 * MAX_PATH] = L"";
    const LRESULT length =
        SendMessageW(GetParent(hook), CDM_GETFILEPATH, WPARAM(std::size(path)), LPARAM(path));
    const DWORD attributes = length > 0 ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    PicturePreview preview;
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        MakePicturePreview(preview, Narrow(path), kPanePictureWidth, kPanePictureHeight, smPrecise);
    Keep(pane.shown, preview.Picture);
    InvalidateRect(GetDlgItem(hook, kPaneImage), nullptr, FALSE);
    for (int i = 0; i < kPaneLines; ++i) {
        const std::string line = size_t(i) < preview.Lines.size() ? preview.Lines[size_t(i)] : std::string();
        SetDlgItemTextW(hook, kPaneLine + i, Widen(line).c_str());
    }
}

UINT_PTR CALLBACK PictureHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hook, GWLP_USERDATA,
                          LONG_PTR(reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData));
        return TRUE;
    }
    auto* pane = reinterpret_cast<PicturePane*>(GetWindowLongPtrW(hook, GWLP_USERDATA));
    if (!pane) return 0;
    switch (message) {
    case WM_NOTIFY: {
        const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
        if (code == CDN_INITDONE) AddPane(hook, *pane);
        // A moment's wait, so that scrolling through a folder does not decode every
        // picture on the way.
        if (code == CDN_SELCHANGE) SetTimer(hook, kSelectionTimer, 150, nullptr);
        return 0;
    }
    case WM_TIMER:
        KillTimer(hook, kSelectionTimer);
        ShowSelected(hook, *pane);
        return TRUE;
    case WM_DRAWITEM:
        Paint(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), pane->shown);
        return TRUE;
    }
    return 0;
}

void ConfigDialog::DrawColorButton(const DRAWITEMSTRUCT& item, TColor color) {
    RECT r = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    // The colour swatch, and the small arrow that says a click offers colours.
    RECT swatch{r.left + 4, r.top + 4, r.right - 14, r.bottom - 4};
    HBRUSH brush = CreateSolidBrush(ToColorRef(color));
    FillRect(item.hDC, &swatch, brush);
    DeleteObject(brush);
    FrameRect(item.hDC, &swatch, GetSysColorBrush(COLOR_WINDOWTEXT));
    const int ax = r.right - 11, ay = (r.top + r.bottom) / 2 - 1;
    for (int row = 0; row < 3; ++row) {
        RECT line{ax + row, ay + row, ax + 5 - row, ay + row + 1};
        FillRect(item.hDC, &line, GetSysColorBrush(COLOR_BTNTEXT));
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
        DrawFocusRect(item.hDC, &focus);
    }
}

void ConfigDialog::DrawLabel(const DRAWITEMSTRUCT& item, Look look) {
    wchar_t text[256] = L"";
    GetWindowTextW(item.hwndItem, text, 256);
    RECT r = item.rcItem;
    DrawThemeParentBackground(item.hwndItem, item.hDC, &r);
    SetBkMode(item.hDC, TRANSPARENT);
    HGDIOBJ old = SelectObject(item.hDC, fonts_[size_t(look)]);
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    const auto at = [&](int dx, int dy, COLORREF color) {
        RECT moved{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
        SetTextColor(item.hDC, color);
        DrawTextW(item.hDC, text, -1, &moved, format);
    };
    if (look == Look::Warning) {
        // Red with a drop shadow 4 pixels down and right.
        at(4, 4, GetSysColor(COLOR_BTNSHADOW));
        at(0, 0, RGB(255, 0, 0));
    } else {
        // Raised: the button-shadow colour above left, the highlight below right.
        at(-1, -1, GetSysColor(COLOR_BTNSHADOW));
        at(1, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        at(0, 0, RGB(0, 0, 128));
    }
    SelectObject(item.hDC, old);
}

}  // namespace

void RunConfigDialog(platform::WindowId owner) {
    ConfigDialog dialog(owner);
    dialog.Execute();
}

}  // namespace quipix::win32
