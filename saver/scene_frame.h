// What a saver window shows, described rather than copied: one of the engine's pictures
// at a place over a fill colour, at a brightness; and its pixels turned into the 32-bit
// rows that X11, Wayland, Qt's RGB32 images and 32-bit DIBs all take, row by row, so a
// window converts only what changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/canvas.h"
#include "imaging/pixel_graphic.h"

namespace quipix {

// Picture (the engine's own, not a copy; null for none) 1:1 with its top-left corner
// at (Left, Top), Fill wherever it does not reach, and every colour channel c of both
// shown as c * Level div 255: 255 shows them as they are, 0 is black.
struct TSceneFrame {
    const TPixelGraphic* Picture = nullptr;
    int Left = 0;
    int Top = 0;
    PGColor Fill = 0;
    int Level = 255;
    bool operator==(const TSceneFrame&) const = default;
};

// Pixels in memory order blue, green, red, 0xFF: 0xFFRRGGBB read little-endian.
using XrgbTable = std::array<std::uint32_t, 256>;

// The picture's palette at level, for ConvertPictureRows; values past the palette show
// entry 0, or black without one.
void MakeXrgbTable(const TPixelGraphic& picture, int level, XrgbTable& table);

// Converts columns left .. right - 1 of rows top .. bottom - 1 of picture (all inside
// it) into 32-bit rows from out on, stride bytes apart, every channel at level (0 to
// 255). Palette pictures take their colours from table (MakeXrgbTable at that level).
void ConvertPictureRows(const TPixelGraphic& picture, const XrgbTable& table, int level, int left, int right,
                        int top, int bottom, std::uint8_t* out, std::size_t stride);

// Converts area of frame (window pixels, any part of it outside the picture showing the
// fill) into 32-bit rows from out on, stride bytes apart.
void ConvertFrameRows(const TSceneFrame& frame, const TRect& area, std::uint8_t* out, std::size_t stride);

// Draws area of frame into target, a 24-bit picture at least as large as the area's
// right and bottom edges: the frame as a window that keeps its own copy shows it.
void RenderFrameArea(const TSceneFrame& frame, const TRect& area, TPixelGraphic& target);

// The part of a and b that both cover; empty (not necessarily 0 by 0) when none.
TRect IntersectRect(const TRect& a, const TRect& b);
inline bool EmptyRect(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
// The smallest rectangle covering both; an empty one adds nothing.
TRect UniteRect(const TRect& a, const TRect& b);

}  // namespace quipix
