// Rows of a TPixelGraphic as 32-bit pixels 0xFFRRGGBB in native order (blue, green,
// red, 0xFF in memory): the layout that a Qt RGB32 image, an X11 true-colour window,
// a Wayland XRGB8888 buffer and a 32-bit DIB all take, so every front end shares it.
// Rows can be converted at a brightness level on the way, for the fades.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/pixel_graphic.h"

namespace quipix {

// A palette picture's entries as 32-bit pixels at level (see below); values past the
// palette show entry 0, or black without a palette.
using PaletteTable = std::array<std::uint32_t, 256>;
void MakePaletteTable(const TPixelGraphic& picture, PaletteTable& table, int level = 255);

// Converts rows top .. bottom - 1, columns left .. right - 1 (inside the picture), into
// consecutive 32-bit rows starting at out, stride bytes apart, every colour channel c
// shown as c * level div 255 (level 0 to 255; 255 shows the picture as it is).
// Palette pictures need the table that MakePaletteTable gives at the same level.
void ConvertPixelGraphicRows(const TPixelGraphic& picture, const PaletteTable& table, int left, int right,
                             int top, int bottom, std::uint8_t* out, std::size_t stride, int level = 255);

}  // namespace quipix
