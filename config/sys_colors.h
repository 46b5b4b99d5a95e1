// The Windows system-colour constants the dialog uses: the high bit set and the
// colour index in the low byte. They stay constants in the settings and are
// resolved to the current colour only when drawn.
#pragma once

#include <array>

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

// The colour buttons' drop-down, on either front end: sixteen plain colours, then
// system colours.
struct PaletteEntry {
    TColor Color;
    const char* Name;
};
inline constexpr std::array<PaletteEntry, 24> kColorButtonPalette{{
    {TColor(0x000000), "Black"},        {TColor(0x000080), "Maroon"},     {TColor(0x008000), "Green"},
    {TColor(0x008080), "Olive"},        {TColor(0x800000), "Navy"},       {TColor(0x800080), "Purple"},
    {TColor(0x808000), "Teal"},         {TColor(0x808080), "Gray"},       {TColor(0xC0C0C0), "Silver"},
    {TColor(0x0000FF), "Red"},          {TColor(0x00FF00), "Lime"},       {TColor(0x00FFFF), "Yellow"},
    {TColor(0xFF0000), "Blue"},         {TColor(0xFF00FF), "Fuchsia"},    {TColor(0xFFFF00), "Aqua"},
    {TColor(0xFFFFFF), "White"},        {BtnFace, "Button face"},         {BtnShadow, "Button shadow"},
    {BtnHighlight, "Button highlight"}, {Window, "Window background"},    {WindowText, "Window text"},
    {Highlight, "Selection"},           {HighlightText, "Selected text"}, {ActiveCaption, "Active title bar"},
}};

}  // namespace quipix::syscolor
