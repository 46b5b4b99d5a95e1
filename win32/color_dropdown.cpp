// The colour buttons' face and drop-down on Windows.
#include "win32/color_dropdown.h"

#include <commdlg.h>

#include <string>
#include <vector>

#include "config/dialog_layout.h"
#include "config/sys_colors.h"
#include "win32/native.h"
#include "win32/owner_draw.h"

namespace quipix::win32 {

namespace {

using platform::win32::Widen;

// Menu commands: palette entry i is command kFirstEntry + i.
constexpr UINT kFirstEntry = 1;
constexpr UINT kOtherEntry = 1000;
constexpr int kSwatchSize = 12;  // the drop-down's colour squares, at 96 dpi

HBITMAP Swatch(HDC dc, TColor color, int size) {
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT r{0, 0, size, size};
    HBRUSH brush = CreateSolidBrush(ToColorRef(color));
    FillRect(memory, &r, brush);
    DeleteObject(brush);
    FrameRect(memory, &r, HBRUSH(GetStockObject(BLACK_BRUSH)));
    SelectObject(memory, old);
    DeleteDC(memory);
    return bitmap;
}

}  // namespace

void DrawColorButton(const DRAWITEMSTRUCT& item, TColor color, int dpi) {
    RECT r = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    // The colour swatch, and the small arrow that says a click offers colours.
    const int margin = Scaled(4, dpi), arrowRoom = Scaled(14, dpi);
    RECT swatch{r.left + margin, r.top + margin, r.right - arrowRoom, r.bottom - margin};
    HBRUSH brush = CreateSolidBrush(ToColorRef(color));
    FillRect(item.hDC, &swatch, brush);
    DeleteObject(brush);
    FrameRect(item.hDC, &swatch, GetSysColorBrush(COLOR_WINDOWTEXT));
    const int rows = Scaled(3, dpi);
    const int ax = r.right - Scaled(11, dpi), ay = (r.top + r.bottom) / 2 - rows / 2;
    for (int row = 0; row < rows; ++row) {
        RECT line{ax + row, ay + row, ax + 2 * rows - 1 - row, ay + row + 1};
        FillRect(item.hDC, &line, GetSysColorBrush(COLOR_BTNTEXT));
    }
    if (item.itemState & ODS_FOCUS) {
        const int inset = Scaled(2, dpi);
        RECT focus{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
        DrawFocusRect(item.hDC, &focus);
    }
}

std::optional<TColor> ChooseButtonColor(HWND owner, HWND button, TColor current) {
    const auto& palette = syscolor::kColorButtonPalette;
    HMENU menu = CreatePopupMenu();
    std::vector<HBITMAP> swatches;
    HDC dc = GetDC(button);
    const int swatchSize = Scaled(kSwatchSize, WindowDpi(button));
    for (UINT i = 0; i < palette.size(); ++i) {
        AppendMenuW(menu, MF_STRING | (palette[i].Color == current ? MF_CHECKED : 0), kFirstEntry + i,
                    Widen(palette[i].Name).c_str());
        MENUITEMINFOW swatch{};
        swatch.cbSize = sizeof(swatch);
        swatch.fMask = MIIM_BITMAP;
        swatch.hbmpItem = swatches.emplace_back(Swatch(dc, palette[i].Color, swatchSize));
        SetMenuItemInfoW(menu, kFirstEntry + i, FALSE, &swatch);
    }
    ReleaseDC(button, dc);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kOtherEntry, Widen(std::string(Tr(kOtherColorCaption))).c_str());
    RECT r{};
    GetWindowRect(button, &r);
    const UINT command =
        UINT(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, r.left,
                            r.bottom, 0, owner, nullptr));
    DestroyMenu(menu);
    for (HBITMAP bitmap : swatches) DeleteObject(bitmap);
    if (command >= kFirstEntry && command < kFirstEntry + palette.size())
        return palette[command - kFirstEntry].Color;
    if (command != kOtherEntry) return std::nullopt;
    // The colour dialog's sixteen custom colours, kept while the program runs.
    static COLORREF custom[16]{};
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = owner;
    choose.rgbResult = ToColorRef(current);
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT | CC_ANYCOLOR;
    if (!ChooseColorW(&choose)) return std::nullopt;
    return TColor(choose.rgbResult & 0xFFFFFF);
}

}  // namespace quipix::win32
