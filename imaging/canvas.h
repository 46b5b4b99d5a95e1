// TPGCanvas: the drawing surface on a TPixelGraphic's own pixels. Text is laid out
// and rasterised by the text engine (see text_engine.h) and blended in here.
#pragma once

#include <string>
#include <string_view>

#include "imaging/pixel_graphic.h"

namespace quipix {

struct TPGFont {
    std::string Name = "Arial";
    int Size = 10;  // points; pixels follow the engine's logical DPI
    bool Bold = false;
    bool Italic = false;
    PGColor Color = 0;
    bool operator==(const TPGFont&) const = default;
};

enum class TBrushStyle { Solid, Clear };

struct TPGBrush {
    TBrushStyle Style = TBrushStyle::Solid;
    PGColor Color = 0xFFFFFF;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

// Flags of DrawText, with the meanings and numbers of the Windows text call of the
// same names. Where the Windows headers came first their own macros stand.
#ifndef DT_CENTER
enum : unsigned {
    DT_CENTER = 0x0001,
    DT_WORDBREAK = 0x0010,
    DT_SINGLELINE = 0x0020,
    DT_CALCRECT = 0x0400,
    DT_NOPREFIX = 0x0800,
};
#endif

struct TextMask;

class TPGCanvas {
public:
    explicit TPGCanvas(TPixelGraphic& owner) : owner_(owner) {}

    TPGFont Font;
    TPGBrush Brush;

    // Draws text into rect, lines centred with DT_CENTER, wrapped at word boundaries
    // with DT_WORDBREAK; CR LF, CR and LF start new lines; with DT_NOPREFIX an
    // ampersand is drawn as itself. Nothing is drawn outside rect. With DT_CALCRECT
    // nothing is drawn: rect's right and bottom are set to the laid-out block.
    // Returns the height of the text.
    int DrawText(std::string_view text, TRect& rect, unsigned flags);
    // Draws one line with its top-left corner at (x, y), the brush behind it unless
    // clear. Line-break characters are not interpreted.
    void TextOut(int x, int y, std::string_view text);
    int TextWidth(std::string_view text);
    // The font's line height, whatever the text.
    int TextHeight(std::string_view text);
    // Fills rect with the brush colour (nothing with a clear brush).
    void FillRect(const TRect& rect);
    // Draws picture 1:1 with its top-left corner at (x, y), opaque, clipped. Into a
    // palette image every colour takes its nearest entry, without dithering.
    void Draw(int x, int y, const TPixelGraphic& picture);

    // Every drawing method reports the area it touched to the owner through
    // NotifyChangeArea, so a viewer repaints only that. Text is blended with its
    // coverage: in 24-bit images c = dst + (font - dst) * a / 255; in palette images
    // the blended colour's nearest entry is written.

private:
    // Blends a coverage mask in colour with its top-left corner at (x, y); returns
    // the area it changed.
    TRect BlendMask(const TextMask& mask, int x, int y, PGColor color);
    // Fills r (already clipped) with colour; 24-bit rows are filled directly.
    void FillClipped(const TRect& r, PGColor color);
    TRect ImageRect() const;
    void Changed(const TRect& area);
    TPixelGraphic& owner_;
};

}  // namespace quipix
