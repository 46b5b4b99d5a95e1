// The dialog's DPI, fonts and self-drawn labels.
#include "win32/owner_draw.h"

#include <uxtheme.h>

#include <cwchar>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

#include "common/background.h"
#include "win32/native.h"

namespace quipix::win32 {

namespace {

using platform::win32::Widen;

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFamily(const std::wstring& face) {
    if (face.empty()) return false;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &wanted, FoundFamily, LPARAM(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

void DrawLabelText(const DRAWITEMSTRUCT& item, HFONT font,
                   std::initializer_list<std::pair<POINT, COLORREF>> copies) {
    wchar_t text[256] = L"";
    GetWindowTextW(item.hwndItem, text, int(std::size(text)));
    RECT r = item.rcItem;
    DrawThemeParentBackground(item.hwndItem, item.hDC, &r);
    SetBkMode(item.hDC, TRANSPARENT);
    HGDIOBJ old = SelectObject(item.hDC, font);
    for (const auto& [offset, color] : copies) {
        RECT moved{r.left + offset.x, r.top + offset.y, r.right + offset.x, r.bottom + offset.y};
        SetTextColor(item.hDC, color);
        DrawTextW(item.hDC, text, -1, &moved, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    }
    SelectObject(item.hDC, old);
}

}  // namespace

COLORREF ToColorRef(TColor color) { return COLORREF(ResolveColor(color)); }

int WindowDpi(HWND window) {
    // Windows 10 answers per monitor; older systems only for the whole screen.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    int dpi = forWindow && window ? int(forWindow(window)) : 0;
    if (dpi <= 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen) ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kLayoutDpi;
}

std::string_view FamilyAt(const FontLook& look, int dpi) {
    return dpi > kLayoutDpi && look.Family == "MS Sans Serif" ? "Microsoft Sans Serif" : look.Family;
}

HFONT MakeFont(const FontLook& look, int dpi) {
    std::wstring face = Widen(std::string(FamilyAt(look, dpi)));
    if (!HasFamily(face)) face = Widen(std::string(look.Fallback));
    if (!HasFamily(face)) face = L"MS Shell Dlg";
    // A negative height asks for the character height, without the leading.
    return CreateFontW(-Scaled(look.Pixels, dpi), 0, 0, 0, look.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

void DialogFonts::Make(int dpi) {
    for (HFONT& font : previous_)
        if (font) DeleteObject(std::exchange(font, nullptr));
    previous_ = fonts_;
    for (std::size_t i = 0; i < fonts_.size(); ++i) fonts_[i] = MakeFont(kDialogFonts[i], dpi);
}

void DialogFonts::Free() {
    for (auto* set : {&fonts_, &previous_})
        for (HFONT& font : *set)
            if (font) DeleteObject(std::exchange(font, nullptr));
}

void DrawRaisedLabel(const DRAWITEMSTRUCT& item, HFONT font, const LabelColors& colors, int dpi) {
    const int d = Scaled(colors.ShadowDepth, dpi);
    DrawLabelText(item, font,
                  {{{-d, -d}, ToColorRef(colors.Highlight)},
                   {{d, d}, ToColorRef(colors.Shadow)},
                   {{0, 0}, ToColorRef(colors.Face)}});
}

void DrawShadowLabel(const DRAWITEMSTRUCT& item, HFONT font, const LabelColors& colors, int dpi) {
    const int d = Scaled(colors.ShadowDepth, dpi);
    DrawLabelText(item, font, {{{d, d}, ToColorRef(colors.Shadow)}, {{0, 0}, ToColorRef(colors.Face)}});
}

}  // namespace quipix::win32
