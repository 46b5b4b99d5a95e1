// A frame's pixels: its picture's rows converted at the frame's level, the fill around
// them, for a window's 32-bit rows or a host's own 24-bit copy.
#include "saver/scene_frame.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quipix {

namespace {

std::uint32_t Xrgb(int r, int g, int b) {
    return 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
}

// c * level div 255 for every byte value c.
using ScaleTable = std::array<std::uint8_t, 256>;
void MakeScaleTable(int level, ScaleTable& table) {
    for (int c = 0; c < 256; ++c) table[std::size_t(c)] = std::uint8_t(c * level / 255);
}

std::uint32_t FillXrgb(PGColor fill, int level) {
    return Xrgb(PGRed(fill) * level / 255, PGGreen(fill) * level / 255, PGBlue(fill) * level / 255);
}

void FillXrgbRow(std::uint32_t* d, int n, std::uint32_t pixel) { std::fill(d, d + n, pixel); }

}  // namespace

TRect IntersectRect(const TRect& a, const TRect& b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
}

TRect UniteRect(const TRect& a, const TRect& b) {
    if (EmptyRect(a)) return b;
    if (EmptyRect(b)) return a;
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
}

void ConvertFrameRows(const TSceneFrame& frame, const TRect& area, std::uint8_t* out, std::size_t stride) {
    if (EmptyRect(area)) return;
    const int level = std::clamp(frame.Level, 0, 255);
    const std::uint32_t fill = FillXrgb(frame.Fill, level);
    const TPixelGraphic* p = frame.Picture;
    const TRect covered =
        p && !p->Empty()
            ? IntersectRect(area, {frame.Left, frame.Top, frame.Left + p->Width(), frame.Top + p->Height()})
            : TRect{};
    PaletteTable table{};
    if (!EmptyRect(covered) && p->PixelFormat() != pgpf24Bit) MakePaletteTable(*p, table, level);
    const int width = area.Width();
    for (int y = area.Top; y < area.Bottom; ++y, out += stride) {
        auto* d = reinterpret_cast<std::uint32_t*>(out);
        if (EmptyRect(covered) || y < covered.Top || y >= covered.Bottom) {
            FillXrgbRow(d, width, fill);
            continue;
        }
        FillXrgbRow(d, covered.Left - area.Left, fill);
        ConvertPixelGraphicRows(*p, table, covered.Left - frame.Left, covered.Right - frame.Left,
                                y - frame.Top, y - frame.Top + 1,
                                out + std::size_t(covered.Left - area.Left) * 4, stride, level);
        FillXrgbRow(d + (covered.Right - area.Left), area.Right - covered.Right, fill);
    }
}

void RenderFrameArea(const TSceneFrame& frame, const TRect& area, TPixelGraphic& target) {
    const TRect r = IntersectRect(area, {0, 0, target.Width(), target.Height()});
    if (EmptyRect(r) || target.PixelFormat() != pgpf24Bit) return;
    const int level = std::clamp(frame.Level, 0, 255);
    ScaleTable scale{};
    MakeScaleTable(level, scale);
    const PGColor f = frame.Fill;
    const std::uint8_t fill[3] = {scale[std::size_t(PGBlue(f))], scale[std::size_t(PGGreen(f))],
                                  scale[std::size_t(PGRed(f))]};
    const TPixelGraphic* p = frame.Picture;
    const TRect covered =
        p && !p->Empty()
            ? IntersectRect(r, {frame.Left, frame.Top, frame.Left + p->Width(), frame.Top + p->Height()})
            : TRect{};
    PaletteTable table{};
    std::vector<std::uint32_t> xrgb;
    if (!EmptyRect(covered) && p->PixelFormat() != pgpf24Bit) {
        MakePaletteTable(*p, table, level);
        xrgb.resize(std::size_t(covered.Width()));
    }
    auto fillSpan = [&](std::uint8_t* d, int n) {
        for (int i = 0; i < n; ++i, d += 3) std::memcpy(d, fill, 3);
    };
    for (int y = r.Top; y < r.Bottom; ++y) {
        std::uint8_t* row = target.ScanLine(y);
        if (EmptyRect(covered) || y < covered.Top || y >= covered.Bottom) {
            fillSpan(row + std::size_t(r.Left) * 3, r.Width());
            continue;
        }
        fillSpan(row + std::size_t(r.Left) * 3, covered.Left - r.Left);
        std::uint8_t* d = row + std::size_t(covered.Left) * 3;
        const int sy = y - frame.Top;
        if (p->PixelFormat() == pgpf24Bit) {
            const std::uint8_t* s = p->ScanLine(sy) + std::size_t(covered.Left - frame.Left) * 3;
            const std::size_t n = std::size_t(covered.Width()) * 3;
            if (level == 255)
                std::memcpy(d, s, n);
            else
                for (std::size_t i = 0; i < n; ++i) d[i] = scale[s[i]];
        } else {
            // Through the same table as ConvertFrameRows, so that values past the
            // palette show as they do there.
            ConvertPixelGraphicRows(*p, table, covered.Left - frame.Left, covered.Right - frame.Left, sy,
                                    sy + 1, reinterpret_cast<std::uint8_t*>(xrgb.data()), xrgb.size() * 4,
                                    level);
            for (const std::uint32_t px : xrgb) {
                d[0] = std::uint8_t(px);
                d[1] = std::uint8_t(px >> 8);
                d[2] = std::uint8_t(px >> 16);
                d += 3;
            }
        }
        fillSpan(row + std::size_t(covered.Right) * 3, r.Right - covered.Right);
    }
}

}  // namespace quipix
