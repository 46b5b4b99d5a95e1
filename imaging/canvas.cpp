// TPGCanvas: text, fills and picture drawing straight on a TPixelGraphic's buffer.
// Text coverage comes from the text engine; everything else is plain row work.
#include "imaging/canvas.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/text_engine.h"

namespace quipix {

namespace {

TRect Intersect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
}

bool IsEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

TRect Union(const TRect& a, const TRect& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
}

// Exact round(v / 255) for v in 0..255 * 255, without a division.
inline std::uint8_t Div255(unsigned v) {
    v += 128;
    return std::uint8_t((v + (v >> 8)) >> 8);
}

inline std::uint8_t Blend(unsigned dst, unsigned src, unsigned a) {
    return Div255(dst * (255 - a) + src * a);
}

}  // namespace

TRect TPGCanvas::ImageRect() const { return {0, 0, owner_.Width(), owner_.Height()}; }

void TPGCanvas::Changed(const TRect& area) {
    owner_.NotifyChangeArea(area.Left, area.Top, area.Right, area.Bottom);
}

void TPGCanvas::FillClipped(const TRect& r, PGColor color) {
    if (IsEmpty(r) || owner_.Empty()) return;
    if (owner_.PixelFormat() == pgpf24Bit) {
        const std::uint8_t px[3] = {std::uint8_t(PGBlue(color)), std::uint8_t(PGGreen(color)),
                                    std::uint8_t(PGRed(color))};
        for (int y = r.Top; y < r.Bottom; ++y) {
            std::uint8_t* p = owner_.ScanLine(y) + std::size_t(r.Left) * 3;
            for (int x = r.Left; x < r.Right; ++x, p += 3) std::memcpy(p, px, 3);
        }
        return;
    }
    const int index = owner_.NearestPaletteIndex(color);
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) owner_.SetPixelValues(x, y, std::uint32_t(index));
}

TRect TPGCanvas::BlendMask(const TextMask& mask, int x, int y, PGColor color) {
    const TRect area = Intersect(ImageRect(), {x, y, x + mask.Width, y + mask.Height});
    if (IsEmpty(area) || owner_.Empty()) return {};
    const bool spans = int(mask.SpanStart.size()) == mask.Height && int(mask.SpanEnd.size()) == mask.Height;
    const bool trueColor = owner_.PixelFormat() == pgpf24Bit;
    const unsigned sr = unsigned(PGRed(color)), sg = unsigned(PGGreen(color)), sb = unsigned(PGBlue(color));
    const int fullIndex = trueColor ? 0 : owner_.NearestPaletteIndex(color);

    TRect touched{area.Right, area.Bottom, area.Left, area.Top};
    for (int py = area.Top; py < area.Bottom; ++py) {
        const int my = py - y;
        int from = area.Left - x, to = area.Right - x;
        if (spans) {
            from = std::max(from, mask.SpanStart[std::size_t(my)]);
            to = std::min(to, mask.SpanEnd[std::size_t(my)]);
        }
        if (from >= to) continue;
        const std::uint8_t* cov = mask.Coverage.data() + std::size_t(my) * std::size_t(mask.Width);
        if (trueColor) {
            std::uint8_t* row = owner_.ScanLine(py);
            for (int mx = from; mx < to; ++mx) {
                const unsigned a = cov[mx];
                if (a == 0) continue;
                std::uint8_t* p = row + std::size_t(x + mx) * 3;
                if (a == 255) {
                    p[0] = std::uint8_t(sb);
                    p[1] = std::uint8_t(sg);
                    p[2] = std::uint8_t(sr);
                } else {
                    p[0] = Blend(p[0], sb, a);
                    p[1] = Blend(p[1], sg, a);
                    p[2] = Blend(p[2], sr, a);
                }
            }
        } else {
            for (int mx = from; mx < to; ++mx) {
                const unsigned a = cov[mx];
                if (a == 0) continue;
                const int px = x + mx;
                if (a == 255) {
                    owner_.SetPixelValues(px, py, std::uint32_t(fullIndex));
                    continue;
                }
                const PGColor d = owner_.Pixels(px, py);
                const PGColor c = PGRGB(Blend(unsigned(PGRed(d)), sr, a), Blend(unsigned(PGGreen(d)), sg, a),
                                        Blend(unsigned(PGBlue(d)), sb, a));
                owner_.SetPixelValues(px, py, std::uint32_t(owner_.NearestPaletteIndex(c)));
            }
        }
        touched.Left = std::min(touched.Left, x + from);
        touched.Right = std::max(touched.Right, x + to);
        touched.Top = std::min(touched.Top, py);
        touched.Bottom = std::max(touched.Bottom, py + 1);
    }
    return IsEmpty(touched) ? TRect{} : touched;
}

int TPGCanvas::DrawText(std::string_view text, TRect& rect, unsigned flags) {
    TextEngine* engine = CurrentTextEngine();
    if (!engine) return 0;
    const int width = std::max(0, rect.Width());
    const TextExtent extent = engine->Measure(Font, text, width, flags);
    if (flags & DT_CALCRECT) {
        rect.Right = rect.Left + extent.Width;
        rect.Bottom = rect.Top + extent.Height;
        return extent.Height;
    }
    const int height = std::max(0, rect.Height());
    const TRect clip = Intersect(ImageRect(), {rect.Left, rect.Top, rect.Left + width, rect.Top + height});
    TRect changed;
    if (Brush.Style == TBrushStyle::Solid) {
        // The opaque background covers the text block, as a text call in opaque mode
        // paints behind its lines.
        const int left = (flags & DT_CENTER) ? rect.Left + (width - extent.Width) / 2 : rect.Left;
        changed = Intersect(clip, {left, rect.Top, left + extent.Width, rect.Top + extent.Height});
        FillClipped(changed, Brush.Color);
    }
    if (!IsEmpty(clip) && extent.Height > 0) {
        const auto mask = engine->Render(Font, text, width, height, flags);
        if (mask)
            changed =
                Union(changed, BlendMask(*mask, rect.Left + mask->Left, rect.Top + mask->Top, Font.Color));
    }
    Changed(changed);
    return extent.Height;
}

void TPGCanvas::TextOut(int x, int y, std::string_view text) {
    TextEngine* engine = CurrentTextEngine();
    if (!engine) return;
    const TextExtent extent = engine->Measure(Font, text, 0, DT_SINGLELINE);
    TRect changed;
    if (Brush.Style == TBrushStyle::Solid) {
        changed = Intersect(ImageRect(), {x, y, x + extent.Width, y + extent.Height});
        FillClipped(changed, Brush.Color);
    }
    // Room to the right for glyphs that overhang their advance (italics), but no
    // further than the image reaches: the line is left-aligned, so a narrower
    // rectangle only cuts it off.
    const int width = std::min(extent.Width + extent.Height / 2, owner_.Width() - x);
    if (width > 0 && y < owner_.Height() && y + extent.Height > 0) {
        const auto mask = engine->Render(Font, text, width, extent.Height, DT_SINGLELINE);
        if (mask) changed = Union(changed, BlendMask(*mask, x + mask->Left, y + mask->Top, Font.Color));
    }
    Changed(changed);
}

int TPGCanvas::TextWidth(std::string_view text) {
    TextEngine* engine = CurrentTextEngine();
    return engine ? engine->Measure(Font, text, 0, DT_SINGLELINE).Width : 0;
}

int TPGCanvas::TextHeight(std::string_view text) {
    TextEngine* engine = CurrentTextEngine();
    return engine ? engine->Measure(Font, text, 0, DT_SINGLELINE).Height : 0;
}

void TPGCanvas::FillRect(const TRect& rect) {
    TRect area;
    if (Brush.Style == TBrushStyle::Solid) {
        area = Intersect(ImageRect(), rect);
        FillClipped(area, Brush.Color);
    }
    Changed(area);
}

void TPGCanvas::Draw(int x, int y, const TPixelGraphic& picture) {
    if (&picture == &owner_) {
        // Source and target share rows: draw from a snapshot.
        TPixelGraphic copy;
        copy.CopyPicture(&picture);
        Draw(x, y, copy);
        return;
    }
    const TRect area = Intersect(ImageRect(), {x, y, x + picture.Width(), y + picture.Height()});
    if (!IsEmpty(area) && !owner_.Empty() && !picture.Empty()) {
        if (owner_.PixelFormat() == pgpf24Bit && picture.PixelFormat() == pgpf24Bit) {
            const std::size_t bytes = std::size_t(area.Width()) * 3;
            for (int py = area.Top; py < area.Bottom; ++py)
                std::memcpy(owner_.ScanLine(py) + std::size_t(area.Left) * 3,
                            picture.ScanLine(py - y) + std::size_t(area.Left - x) * 3, bytes);
        } else {
            for (int py = area.Top; py < area.Bottom; ++py)
                for (int px = area.Left; px < area.Right; ++px)
                    owner_.SetPixels(px, py, picture.Pixels(px - x, py - y));
        }
    }
    Changed(area);
}

}  // namespace quipix
