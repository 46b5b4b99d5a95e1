// The fixed palettes and the choice of a palette index for a colour: direct formulas
// for the grey ramps and colour cubes, and for arbitrary palettes an exact search
// behind a cache of 32 x 64 x 32 colour cells seeded from the palette itself.
#include <cstring>

#include "imaging/exceptions.h"
#include "imaging/pixel_graphic_impl.h"

namespace quipix {

const std::array<PGColor, 16> kSystemColors = {
    PGRGB(0, 0, 0),       PGRGB(128, 0, 0),   PGRGB(0, 128, 0),   PGRGB(128, 128, 0),
    PGRGB(0, 0, 128),     PGRGB(128, 0, 128), PGRGB(0, 128, 128), PGRGB(192, 192, 192),
    PGRGB(128, 128, 128), PGRGB(255, 0, 0),   PGRGB(0, 255, 0),   PGRGB(255, 255, 0),
    PGRGB(0, 0, 255),     PGRGB(255, 0, 255), PGRGB(0, 255, 255), PGRGB(255, 255, 255)};

namespace {

PGColor Grey(int v) { return PGRGB(v, v, v); }

// Grey i of the 236-step ramp: 255 i / 235 rounded, so the ramp runs 0 .. 255.
int Gray236Level(int i) { return (510 * i + 235) / 470; }

std::vector<PGColor> GreyRamp(int count, int (*level)(int)) {
    std::vector<PGColor> t;
    for (int i = 0; i < count; ++i) t.push_back(Grey(level(i)));
    return t;
}

std::vector<PGColor> Cube(int n) {
    std::vector<PGColor> t;
    const int d = n - 1;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b)
                t.push_back(PGRGB((r * 255 + d - 1) / d, (g * 255 + d - 1) / d, (b * 255 + d - 1) / d));
    return t;
}

// Our 252-colour display palette: the system colours, the 6 x 6 x 6 cube, and 20
// greys that fall between the cube's six.
std::vector<PGColor> Special252() {
    std::vector<PGColor> t(kSystemColors.begin(), kSystemColors.end());
    for (PGColor c : Cube(6)) t.push_back(c);
    for (int k = 1; k <= 20; ++k) t.push_back(Grey((k * 255 * 2 + 21) / 42));
    return t;
}

std::array<std::vector<PGColor>, pSpecial252 + 1> BuildTables() {
    std::array<std::vector<PGColor>, pSpecial252 + 1> t;
    t[pBlackWhite] = {Grey(0), Grey(255)};
    t[pSysGray4] = {Grey(0), Grey(128), Grey(192), Grey(255)};
    t[pSys16].assign(kSystemColors.begin(), kSystemColors.end());
    t[pGray4] = GreyRamp(4, [](int i) { return i * 255 / 3; });
    t[pGray16] = GreyRamp(16, [](int i) { return i * 255 / 15; });
    t[pGray236] = GreyRamp(236, Gray236Level);
    t[pGray256] = GreyRamp(256, [](int i) { return i; });
    t[pSpecial125] = Cube(5);
    t[pSpecial216] = Cube(6);
    t[pSpecial252] = Special252();
    return t;
}

// The 236-step grey nearest to L / 3 (lowest index on a tie).
int Gray236Index(int lum) {
    const int guess = lum * 235 / 765;
    int best = 0, bestDist = 1 << 30;
    for (int i = std::max(guess - 2, 0); i <= std::min(guess + 2, 235); ++i) {
        const int dist = std::abs(3 * Gray236Level(i) - lum);
        if (dist < bestDist) best = i, bestDist = dist;
    }
    return best;
}

}  // namespace

const std::vector<PGColor>& FixedPalette(TPaletteIdent ident) {
    static const auto tables = BuildTables();
    static const std::vector<PGColor> none;
    return ident >= pBlackWhite && ident <= pSpecial252 ? tables[ident] : none;
}

int TPixelGraphic::NearestPaletteIndex(PGColor color) {
    Lookup lookup(*this);
    return lookup(color);
}

int TPixelGraphic::ExactNearestIndex(PGColor color) const {
    if (palette_.empty()) throw EPGNoPalette("No palette");
    const int r = PGRed(color), g = PGGreen(color), b = PGBlue(color);
    int best = 0, bestDist = 1 << 30;
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        const PGColor e = palette_[i];
        const int dr = PGRed(e) - r, dg = PGGreen(e) - g, db = PGBlue(e) - b;
        const int dist = dr * dr + dg * dg + db * db;
        if (dist < bestDist) best = int(i), bestDist = dist;
    }
    return best;
}

// Every index answer but the memo. For arbitrary palettes with the cache on, a cell
// that seeding left open gets the exact answer for the first colour asked in it.
int TPixelGraphic::NearestUncached(PGColor c) {
    const int r = PGRed(c), g = PGGreen(c), b = PGBlue(c);
    switch (paletteIdent_) {
    case pNone:
        throw EPGNoPalette("No palette");
    case pTrueColor:
        return int(c & 0xFFFFFF);
    case pUnknown: {
        if (!cacheEnabled_) return ExactNearestIndex(c);
        if (cacheNeedsSeeding_) SeedCache();
        const unsigned cell = ColorCell(c);
        if (cache_[cell] & kCellSet) return int(cache_[cell] & 0xFF);
        const int index = ExactNearestIndex(c);
        cache_[cell] = CellWord(index, palette_[std::size_t(index)]);
        return index;
    }
    default:
        break;
    }
    const int lum = LuminanceOf(r, g, b, rgbWeighting_);
    switch (paletteIdent_) {
    case pBlackWhite:
        return (lum + 1) / 384;
    case pSysGray4:
        return lum <= 192 ? 0 : lum <= 480 ? 1 : lum <= 670 ? 2 : 3;
    case pGray4:
        return (lum + 127) / 255;
    case pGray16:
        return (lum + 25) / 51;
    case pGray236:
        return Gray236Index(lum);
    case pGray256:
        return (lum + 1) / 3;
    case pSpecial125: {
        // 224 lies nearer to 255 than to 192, which the rounding below would miss.
        auto step = [](int v) { return ((v == 224 ? 225 : v) + 31) / 64; };
        return step(r) * 25 + step(g) * 5 + step(b);
    }
    case pSpecial216:
        return ((r + 24) / 51) * 36 + ((g + 24) / 51) * 6 + (b + 24) / 51;
    default:
        return ExactNearestIndex(c);  // pSys16, pSpecial252: the plain search is exact
    }
}

// Seeds the cache from the palette: each entry claims the still-free cells on the
// surface of the cubes of half-size 0 to 4 around its own cell, nearer shells first.
void TPixelGraphic::SeedCache() {
    if (!cache_) cache_ = std::make_unique<std::uint64_t[]>(65536);
    std::memset(cache_.get(), 0, 65536 * sizeof(std::uint64_t));
    for (int d = 0; d <= 4; ++d) {
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            const PGColor e = palette_[i];
            const int cr = PGRed(e) >> 3, cg = PGGreen(e) >> 2, cb = PGBlue(e) >> 3;
            for (int r = std::max(cr - d, 0); r <= std::min(cr + d, 31); ++r) {
                for (int g = std::max(cg - d, 0); g <= std::min(cg + d, 63); ++g) {
                    const bool faceRG = std::abs(r - cr) == d || std::abs(g - cg) == d;
                    for (int b = std::max(cb - d, 0); b <= std::min(cb + d, 31); ++b) {
                        if (!faceRG && std::abs(b - cb) != d) continue;
                        const unsigned cell = (unsigned(r) << 11) | (unsigned(g) << 5) | unsigned(b);
                        if (cache_[cell] & kCellSet) continue;
                        cache_[cell] = CellWord(int(i), e);
                    }
                }
            }
        }
    }
    cacheNeedsSeeding_ = false;
}

}  // namespace quipix
