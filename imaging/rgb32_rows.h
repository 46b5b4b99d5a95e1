// Rows of a TPixelGraphic as 32-bit pixels 0xFFRRGGBB in native order (blue, green,
// red, 0xFF in memory): the layout that a Qt RGB32 image, an X11 true-colour window
// and a Wayland XRGB8888 buffer all take, so the Qt and Wayland front ends share it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/pixel_graphic.h"

namespace quipix {

// A palette picture's entries as 32-bit pixels; values past the palette show entry 0,
// or black without a palette.
using PaletteTable = std::array<std::uint32_t, 256>;
void MakePaletteTable(const TPixelGraphic& picture, PaletteTable& table);

// Converts rows top .. bottom - 1, columns left .. right - 1 (inside the picture), into
// consecutive 32-bit rows starting at out, stride bytes apart. Palette pictures need
// the table that MakePaletteTable gives.
void ConvertPixelGraphicRows(const TPixelGraphic& picture, const PaletteTable& table, int left, int right,
                             int top, int bottom, std::uint8_t* out, std::size_t stride);

}  // namespace quipix
