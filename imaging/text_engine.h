// The text-engine seam: the canvas asks an engine to lay text out and to render it
// as an 8-bit coverage mask, and blends the mask into its own pixels. The Qt engine
// lives in imaging/qt; a Windows build would supply a GDI one.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "imaging/canvas.h"

namespace quipix {

struct TextExtent {
    int Width = 0;   // widest line
    int Height = 0;  // all lines
};

struct TextMask {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Coverage;  // Width * Height, top row first, 0..255
};

class TextEngine {
public:
    virtual ~TextEngine() = default;
    // Lays text out in a column `width` pixels wide (DT_* flags of canvas.h; without
    // DT_WORDBREAK lines are only broken at explicit line breaks).
    virtual TextExtent Measure(const TPGFont& font, std::string_view text, int width,
                               unsigned flags) = 0;
    // Renders the same layout into a mask of width x height; mask (0, 0) is the
    // top-left corner of the layout rectangle; what falls outside is cut off.
    virtual void Render(const TPGFont& font, std::string_view text, int width, int height,
                        unsigned flags, TextMask& mask) = 0;
};

// The process-wide engine; the canvas draws no text while none is installed.
void SetTextEngine(std::shared_ptr<TextEngine> engine);
TextEngine* CurrentTextEngine();

}  // namespace quipix
