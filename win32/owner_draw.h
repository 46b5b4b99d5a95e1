// Drawing helpers of the configuration dialog: the DPI a window is shown at, the
// dialog's fonts at that DPI, its colours as the GDI takes them, and the labels it
// draws itself (the raised 3-D labels and the warning with its drop shadow).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <string_view>

#include "config/dialog_layout.h"

namespace quipix::win32 {

// The dots per inch of window's monitor where the system tells them per window,
// else the screen's; 96 when neither answers.
int WindowDpi(HWND window);

// A length of the layout (pixels at 96 dpi) at dpi.
inline int Scaled(int pixels, int dpi) { return ScaleToDpi(pixels, dpi); }

// A colour of the settings as the GDI takes it, system colours resolved.
COLORREF ToColorRef(TColor color);

// The family look asks for at dpi. Above 96 dpi "MS Sans Serif", a bitmap font on
// Windows that turns ragged when scaled, becomes its outline twin "Microsoft Sans
// Serif", which has the same metrics.
std::string_view FamilyAt(const FontLook& look, int dpi);

// A font of look at dpi: its family, else its fallback, else the system's dialog font.
HFONT MakeFont(const FontLook& look, int dpi);

// The dialog's fonts, one per FontRole, at one DPI.
class DialogFonts {
public:
    DialogFonts() = default;
    ~DialogFonts() { Free(); }
    DialogFonts(const DialogFonts&) = delete;
    DialogFonts& operator=(const DialogFonts&) = delete;
    // Makes them afresh for dpi; fonts made before stay valid until the next Make.
    void Make(int dpi);
    HFONT operator[](FontRole role) const { return fonts_[std::size_t(role)]; }

private:
    void Free();
    std::array<HFONT, kDialogFonts.size()> fonts_{};
    std::array<HFONT, kDialogFonts.size()> previous_{};
};

// An owner-drawn label's text, centred and wrapped in the item's rectangle over the
// page's background: raised (the highlight up-left, the shadow down-right, the face
// on top), or with a drop shadow colors.ShadowDepth down and right. Offsets follow dpi.
void DrawRaisedLabel(const DRAWITEMSTRUCT& item, HFONT font, const LabelColors& colors, int dpi);
void DrawShadowLabel(const DRAWITEMSTRUCT& item, HFONT font, const LabelColors& colors, int dpi);

}  // namespace quipix::win32
