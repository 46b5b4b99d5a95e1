// Scene layout and text drawing: font scaling, measuring and shrinking the two texts
// until they fit, and the three-layer text drawing. Qt-free; text goes through the
// canvas's text engine.
#pragma once

#include <string>

#include "common/joke_text.h"
#include "common/settings.h"
#include "imaging/canvas.h"
#include "imaging/pixel_graphic.h"

namespace quipix {

// Where the two texts of one joke go and which fonts they use, for a scene of
// Width x Height pixels.
struct TJokeLayout {
    int Width = 0;
    int Height = 0;
    int Margin = 0;     // Width div 20
    int TextWidth = 0;  // Width - 2 * Margin
    TPGFont QuestionFont;
    TPGFont AnswerFont;
    int QuestionBaseSize = 0;
    int AnswerBaseSize = 0;
    int QuestionHeight = 0;
    int AnswerHeight = 0;
    int QuestionTarget = 0;
    int AnswerTarget = 0;
};

// The larger of size scaled by width / screenWidth and by height / screenHeight.
int ScaleFontSize(int size, int width, int height, int screenWidth, int screenHeight);

// Sizes the layout for a scene and sets both fonts up from the settings.
void SetUpLayout(TJokeLayout& layout, const TSettings& settings, int width, int height, int screenWidth,
                 int screenHeight);

// Measures both texts in the measuring column (TextWidth - 2 wide) with the current fonts.
void MeasureJokeTexts(TJokeLayout& layout, TPGCanvas& canvas, const std::string& question,
                      const std::string& answer);

// Resets both fonts to their base sizes, shrinks them together until the two texts fit
// in 80 % of the height (or both reach 1 point), and computes the targets.
void LayoutJoke(TJokeLayout& layout, TPGCanvas& canvas, const std::string& question,
                const std::string& answer);

// Draws text in a rectangle textWidth x height at (left, top) of target: the face at
// (left + 1, top + 1), with the 3-D look (kSaverRelief) a darker copy at (left, top)
// and a lighter one at (left + 2, top + 2) under it. The background shows through.
void DrawJokeText(TPixelGraphic& target, int top, int height, int left, int textWidth, TColor color,
                  const TPGFont& font, const std::string& text, bool threeD);

}  // namespace quipix
