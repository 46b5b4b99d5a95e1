// The Windows system-colour constants the dialog uses: the high bit set and the
// colour index in the low byte. They stay constants in the settings and are
// resolved to the current colour only when drawn.
#pragma once

#include "common/settings.h"

namespace quipix::syscolor {

inline constexpr TColor Constant(int index) { return TColor(0x80000000u | unsigned(index)); }
inline constexpr bool IsConstant(TColor color) { return color < 0; }

inline constexpr TColor ActiveCaption = Constant(2);
inline constexpr TColor Window = Constant(5);
inline constexpr TColor WindowText = Constant(8);
inline constexpr TColor Highlight = Constant(13);
inline constexpr TColor HighlightText = Constant(14);
inline constexpr TColor BtnFace = Constant(15);
inline constexpr TColor BtnShadow = Constant(16);
inline constexpr TColor GrayText = Constant(17);
inline constexpr TColor BtnHighlight = Constant(20);
inline constexpr TColor InfoBk = Constant(24);

}  // namespace quipix::syscolor
