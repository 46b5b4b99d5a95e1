// Background and colour drawing shared by the saver and the dialog's previews.
#include "common/background.h"

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace quipix {

PGColor ResolveColor(TColor color) {
    // System-colour constants carry the high bit and the colour index in the low byte.
    if (color < 0) return platform::SysColor(color & 0xFF) & 0xFFFFFF;
    return PGColor(color) & 0xFFFFFF;
}

PGColor AdjustColor(TColor color, int percent) {
    const PGColor rgb = ResolveColor(color);
    const int goal = percent > 0 ? 255 : 0;
    // Widened so that a silly percent cannot overflow the product.
    const std::int64_t amount = percent < 0 ? -std::int64_t(percent) : percent;
    auto move = [&](int v) {
        const std::int64_t r = v + (std::int64_t(goal - v) * amount) / 100;
        return int(r < 0 ? 0 : r > 255 ? 255 : r);
    };
    return PGRGB(move(PGRed(rgb)), move(PGGreen(rgb)), move(PGBlue(rgb)));
}

void LoadBackgroundPicture(TPixelGraphic& picture, const std::string& path, int shownWidth, int shownHeight) {
    if (path.empty()) return;
    try {
        picture.ReadWarningAction = pgwaRaise;
        picture.ShownWidth = shownWidth;
        picture.ShownHeight = shownHeight;
        picture.ShownStretched = true;
        picture.LoadPictureFile(path);
    } catch (...) {
        // A picture that cannot be read shows as black; the user is not told.
        picture.SetSize(0, 0, pgpf24Bit);
        picture.SetSize(100, 100, pgpf24Bit);
    }
}

namespace {

void DrawGradient(TPixelGraphic& target, TColor from, TColor to) {
    const int w = target.Width();
    const int h = target.Height();
    if (w <= 0 || h <= 0) return;
    // The stored bytes are used as they are, without resolving system colours.
    const int fr = PGRed(PGColor(from)), fg = PGGreen(PGColor(from)), fb = PGBlue(PGColor(from));
    const int dr = PGRed(PGColor(to)) - fr, dg = PGGreen(PGColor(to)) - fg, db = PGBlue(PGColor(to)) - fb;
    const bool direct = target.PixelFormat() == pgpf24Bit;
    target.BeginUpdate();
    for (int y = 0; y < h; ++y) {
        // Signed arithmetic truncating toward zero, as the colour steps are defined.
        const int r = fr + int(std::int64_t(y) * dr / h);
        const int g = fg + int(std::int64_t(y) * dg / h);
        const int b = fb + int(std::int64_t(y) * db / h);
        if (direct) {
            std::uint8_t* row = target.ScanLine(y);
            row[0] = std::uint8_t(b);
            row[1] = std::uint8_t(g);
            row[2] = std::uint8_t(r);
            // Doubling copies fill the row from its first pixel.
            std::size_t filled = 3;
            const std::size_t total = std::size_t(w) * 3;
            while (filled < total) {
                const std::size_t n = filled < total - filled ? filled : total - filled;
                std::memcpy(row + filled, row, n);
                filled += n;
            }
        } else {
            const PGColor c = PGRGB(r, g, b);
            for (int x = 0; x < w; ++x) target.SetPixels(x, y, c);
        }
    }
    target.EndUpdate();
}

void DrawPicture(TPixelGraphic& target, bool tiled, const TPixelGraphic& picture) {
    target.SetBackGroundColor(0);
    target.Clear();
    const int pw = picture.Width();
    const int ph = picture.Height();
    if (picture.Empty() || pw <= 0 || ph <= 0) return;
    if (!tiled) {
        target.AssignStretched(picture);
        return;
    }
    const int w = target.Width();
    const int h = target.Height();
    target.BeginUpdate();
    // Column by column; the last column and row may lie partly or wholly outside.
    for (int i = 0; i <= w / pw; ++i)
        for (int j = 0; j <= h / ph; ++j) target.CopyRect(i * pw, j * ph, picture, 0, 0, pw, ph);
    target.EndUpdate();
}

}  // namespace

void DrawBackground(TPixelGraphic& target, int type, TColor solid, TColor from, TColor to, bool tiled,
                    const TPixelGraphic& backgroundPicture) {
    switch (type) {
    case background_type::Solid:
        target.SetBackGroundColor(PGColor(solid) & 0xFFFFFF);
        target.Clear();
        break;
    case background_type::Gradient:
        DrawGradient(target, from, to);
        break;
    case background_type::Picture:
        DrawPicture(target, tiled, backgroundPicture);
        break;
    default:
        break;
    }
}

}  // namespace quipix
