// Background and colour drawing shared by the saver and the configuration dialog's
// previews. The pictures are passed in rather than kept in globals, so that several
// scenes (one per monitor, or the dialog's previews) can live in one process.
#pragma once

#include <string>

#include "common/settings.h"
#include "imaging/pixel_graphic.h"

namespace quipix {

// A system-colour constant (high bit set, index in the low byte) becomes the current
// system colour; any other value is returned as 0x00BBGGRR.
PGColor ResolveColor(TColor color);
// Moves each channel toward white (percent > 0) or black (percent <= 0) by |percent| %.
PGColor AdjustColor(TColor color, int percent);
// Loads path into picture with warnings raised; any failure leaves a black 100 x 100
// 24-bit picture. An empty path leaves picture as it is. A picture to be stretched
// gives the size it is shown at, so that a larger one is read reduced toward it (a
// JPEG straight to it); a tiled one gives none (0 x 0) and keeps its own size.
void LoadBackgroundPicture(TPixelGraphic& picture, const std::string& path, int shownWidth = 0,
                           int shownHeight = 0);
// Paints the whole target (already sized, 24-bit) by its background_type: solid,
// vertical gradient, or picture stretched or tiled; other types leave it unchanged.
void DrawBackground(TPixelGraphic& target, int type, TColor solid, TColor from, TColor to, bool tiled,
                    const TPixelGraphic& backgroundPicture);

}  // namespace quipix
