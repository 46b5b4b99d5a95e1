// How a joke text is drawn, the same in the saver's scene and in the dialog's
// previews: the layout flags and the 3-D look.
#pragma once

#include <string>

#include "common/settings.h"
#include "imaging/canvas.h"

namespace quipix {

// Flags of every joke text layout: centred lines, word wrap, ampersands as themselves.
inline constexpr unsigned kJokeTextFlags = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;

// The 3-D look: a copy of the text 30 % toward white and one 50 % toward black, one
// lying this many pixels up and left of the face, the other as many down and right,
// drawn in that order before the face covers them.
inline constexpr int kReliefOffset = 1;
// Which copy lies up and left is the one difference between the saver and the
// dialog's previews, and it is meant that way: the saver's texts look sunk into the
// screen (the dark copy up and left), the previews' raised from it (the light one).
enum class TTextRelief { Sunken, Raised };
inline constexpr TTextRelief kSaverRelief = TTextRelief::Sunken;
inline constexpr TTextRelief kPreviewRelief = TTextRelief::Raised;

// Draws text into face (kJokeTextFlags) with the canvas's font in color, over what
// the canvas holds; with threeD the two copies of relief first.
void DrawJokeTextLayers(TPGCanvas& canvas, const std::string& text, const TRect& face, TColor color,
                        bool threeD, TTextRelief relief);

}  // namespace quipix
