// The layers of a joke text.
#include "common/joke_text.h"

#include "common/background.h"

namespace quipix {

namespace {

constexpr int kLightPercent = 30;
constexpr int kDarkPercent = -50;

TRect Moved(const TRect& r, int by) { return {r.Left + by, r.Top + by, r.Right + by, r.Bottom + by}; }

}  // namespace

void DrawJokeTextLayers(TPGCanvas& canvas, const std::string& text, const TRect& face, TColor color,
                        bool threeD, TTextRelief relief) {
    canvas.Brush.Style = TBrushStyle::Clear;
    auto layer = [&](TRect rect, PGColor c) {
        canvas.Font.Color = c;
        canvas.DrawText(text, rect, kJokeTextFlags);
    };
    if (threeD) {
        const bool raised = relief == TTextRelief::Raised;
        layer(Moved(face, -kReliefOffset), AdjustColor(color, raised ? kLightPercent : kDarkPercent));
        layer(Moved(face, kReliefOffset), AdjustColor(color, raised ? kDarkPercent : kLightPercent));
    }
    layer(face, ResolveColor(color));
}

}  // namespace quipix
