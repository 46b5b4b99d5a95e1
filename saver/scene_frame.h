// What a saver window shows, described rather than copied: one of the engine's pictures
// at a place over a fill colour, at a brightness; and its pixels turned into 32-bit rows
// (imaging/rgb32_rows.h), area by area, so a window converts only what changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/canvas.h"
#include "imaging/pixel_graphic.h"
#include "imaging/rgb32_rows.h"

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
