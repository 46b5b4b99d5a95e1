// Scene layout and the three-layer joke text.
#include "saver/scene.h"

#include <algorithm>
#include <cstdint>

namespace quipix {

namespace {

// Font sizes come from the settings store unchecked; a size far beyond the dialog's
// range would make the shrinking loop measure for a very long time.
constexpr int kMaxPointSize = 1000;

int ClampSize(int size) { return std::clamp(size, 1, kMaxPointSize); }

TPGFont JokeFont(const TJokeTextSettings& text, int size) {
    TPGFont font;
    font.Name = text.Face;
    font.Size = size;
    font.Bold = text.Bold;
    font.Italic = text.Italic;
    return font;
}

}  // namespace

int ScaleFontSize(int size, int width, int height, int screenWidth, int screenHeight) {
    if (screenWidth <= 0 || screenHeight <= 0) return size;
    const std::int64_t byWidth = std::int64_t(size) * width / screenWidth;
    const std::int64_t byHeight = std::int64_t(size) * height / screenHeight;
    return int(std::max(byWidth, byHeight));
}

void SetUpLayout(TJokeLayout& layout, const TSettings& settings, int width, int height, int screenWidth,
                 int screenHeight) {
    layout = TJokeLayout{};
    layout.Width = width;
    layout.Height = height;
    layout.Margin = width / 20;
    layout.TextWidth = width - 2 * layout.Margin;

    layout.QuestionBaseSize =
        ClampSize(ScaleFontSize(settings.Question.Size, width, height, screenWidth, screenHeight));
    layout.QuestionFont = JokeFont(settings.Question, layout.QuestionBaseSize);
    layout.AnswerBaseSize =
        ClampSize(ScaleFontSize(settings.Answer.Size, width, height, screenWidth, screenHeight));
    layout.AnswerFont = JokeFont(settings.Answer, layout.AnswerBaseSize);
}

void MeasureJokeTexts(TJokeLayout& layout, TPGCanvas& canvas, const std::string& question,
                      const std::string& answer) {
    // Narrower than the drawing column, leaving room for the 3-D copies either side.
    const int width = std::max(1, layout.TextWidth - 2 * kReliefOffset);
    TRect rect{0, 0, width, layout.Height};
    canvas.Font = layout.QuestionFont;
    layout.QuestionHeight = canvas.DrawText(question, rect, kJokeTextFlags | DT_CALCRECT);
    rect = TRect{0, 0, width, layout.Height};
    canvas.Font = layout.AnswerFont;
    layout.AnswerHeight = canvas.DrawText(answer, rect, kJokeTextFlags | DT_CALCRECT);
}

void LayoutJoke(TJokeLayout& layout, TPGCanvas& canvas, const std::string& question,
                const std::string& answer) {
    layout.QuestionFont.Size = layout.QuestionBaseSize;
    layout.AnswerFont.Size = layout.AnswerBaseSize;
    const int limit = layout.Height * 8 / 10;
    for (;;) {
        MeasureJokeTexts(layout, canvas, question, answer);
        if (layout.QuestionHeight + layout.AnswerHeight <= limit) break;
        // Both shrink together, even when only one text is long; 1 point is the floor.
        if (layout.QuestionFont.Size <= 1 && layout.AnswerFont.Size <= 1) break;
        layout.QuestionFont.Size = std::max(1, layout.QuestionFont.Size - 1);
        layout.AnswerFont.Size = std::max(1, layout.AnswerFont.Size - 1);
    }
    layout.QuestionTarget = (layout.Height - layout.QuestionHeight - layout.AnswerHeight) / 2;
    layout.AnswerTarget = layout.QuestionTarget + layout.QuestionHeight + 6;
}

void DrawJokeText(TPixelGraphic& target, int top, int height, int left, int textWidth, TColor color,
                  const TPGFont& font, const std::string& text, bool threeD) {
    TPGCanvas& canvas = target.Canvas();
    canvas.Font = font;
    // The dark copy starts at (left, top), so the face lies one copy's offset inside.
    const TRect face{left + kReliefOffset, top + kReliefOffset, left + kReliefOffset + textWidth,
                     top + kReliefOffset + height};
    DrawJokeTextLayers(canvas, text, face, color, threeD, kSaverRelief);
}

}  // namespace quipix
