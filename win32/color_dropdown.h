// The dialog's colour buttons on Windows: the owner-drawn face (the colour and a small
// drop-down arrow) and the drop-down they open, the shared palette of plain and
// system colours plus "&Other...", which opens the system colour dialog.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <optional>

#include "common/settings.h"

namespace quipix::win32 {

// Draws the button of item showing color; sizes follow dpi.
void DrawColorButton(const DRAWITEMSTRUCT& item, TColor color, int dpi);

// Drops the palette down below button, the current colour checked. The colour the
// user picks there or in the colour dialog, or nothing.
std::optional<TColor> ChooseButtonColor(HWND owner, HWND button, TColor current);

}  // namespace quipix::win32
