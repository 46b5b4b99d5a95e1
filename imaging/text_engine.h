// The text-engine seam: the canvas asks an engine to lay text out and to render it
// as an 8-bit coverage mask, and blends the mask into its own pixels. The Qt engine
// lives in qt/qt_text_engine, the GDI one of the Windows build in win32/gdi_text_engine.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/canvas.h"

namespace quipix {

struct TextExtent {
    int Width = 0;   // widest line
    int Height = 0;  // all lines
};

// Coverage of a laid-out text. The mask covers only the part of the layout
// rectangle where ink can fall; (Left, Top) is its place in that rectangle.
struct TextMask {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Coverage;  // Width * Height, top row first, 0..255
    // Per row, the first and one-past-last column with any coverage (equal when the
    // row is blank), so blending skips the empty parts.
    std::vector<int> SpanStart;
    std::vector<int> SpanEnd;
};

class TextEngine {
public:
    virtual ~TextEngine() = default;
    // Lays text out in a column `width` pixels wide (DT_* flags of canvas.h). Without
    // DT_WORDBREAK lines break only at explicit line breaks; with DT_SINGLELINE not
    // even there. A single line always has the font's line height, even when empty.
    virtual TextExtent Measure(const TPGFont& font, std::string_view text, int width, unsigned flags) = 0;
    // Renders the same layout in a rectangle of width x height; nothing outside it.
    // The font's colour plays no part. The result may be shared with later calls.
    virtual std::shared_ptr<const TextMask> Render(const TPGFont& font, std::string_view text, int width,
                                                   int height, unsigned flags) = 0;
};

// The common part of the engines: the last few layouts and masks are kept, because
// the saver draws the same text three times per tick (the 3-D layers) and again on the
// next tick; a tick that changes nothing then allocates nothing. An engine supplies
// the layout and the rendering.
class CachingTextEngine : public TextEngine {
public:
    TextExtent Measure(const TPGFont& font, std::string_view text, int width, unsigned flags) final;
    std::shared_ptr<const TextMask> Render(const TPGFont& font, std::string_view text, int width, int height,
                                           unsigned flags) final;

protected:
    // An engine's layout derives from this; the base fills in what it was made from.
    struct Layout {
        virtual ~Layout() = default;
        TPGFont Font;  // its colour plays no part
        std::string Text;
        int Width = 0;       // 0 without DT_WORDBREAK: the width plays no part then
        unsigned Flags = 0;  // DT_WORDBREAK and DT_SINGLELINE only
        TextExtent Extent;
    };
    // Called with the width and flags as the layout keeps them.
    virtual std::unique_ptr<Layout> BuildLayout(const TPGFont& font, std::string_view text, int width,
                                                unsigned flags) = 0;
    // Renders a layout of this engine in a rectangle of width x height.
    virtual std::shared_ptr<const TextMask> BuildMask(const Layout& layout, int width, int height,
                                                      unsigned flags) = 0;
    // Sets each row's span from the mask's coverage.
    static void FindSpans(TextMask& mask);

private:
    struct MaskEntry {
        TPGFont font;
        std::string text;
        int width, height;
        unsigned flags;
        std::shared_ptr<const TextMask> mask;
    };
    const Layout& GetLayout(const TPGFont& font, std::string_view text, int width, unsigned flags);
    std::deque<std::unique_ptr<Layout>> layouts_;
    std::list<MaskEntry> masks_;
};

// Joke text is bytes: UTF-8 where the whole text is valid UTF-8 (a leading byte-order
// mark dropped), else Windows-1252, so old files written on Windows still show their
// accents and curly quotes. Every engine decodes through this, so they agree.
std::u16string DecodeText(std::string_view bytes);

// The lines a decoded text starts with, before any word wrap: CR LF, CR and LF each
// end a line; a break at the very end starts no further line, so no text has no
// lines. With singleLine the breaks become spaces and there is always one line.
std::vector<std::u16string> SplitTextLines(std::u16string_view text, bool singleLine);

// The process-wide engine; the canvas draws no text while none is installed.
void SetTextEngine(std::shared_ptr<TextEngine> engine);
TextEngine* CurrentTextEngine();

}  // namespace quipix
