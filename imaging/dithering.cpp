// Writing colours into palette pictures: by nearest entry, or with serpentine
// Floyd-Steinberg error diffusion (the error rows, the limit table and the loops).
#include <cstring>

#include "imaging/pixel_graphic_impl.h"

namespace quipix {

std::unique_ptr<TPixelGraphic::DitherState> TPixelGraphic::StartDither() {
    if (!Dither || format_ == pgpf24Bit) return nullptr;
    int limit = DitherErrorLimit;
    bool soft = DitherErrorLimitSoft;
    if (DitherErrorLimitAuto) {
        soft = true;
        switch (paletteIdent_) {
        case pBlackWhite:
            limit = 255;
            break;
        case pSysGray4:
        case pSys16:
        case pGray4:
            limit = 128;
            break;
        case pGray236:
            limit = 3;
            break;
        case pGray256:
            limit = 2;
            break;
        case pSpecial125:
        case pSpecial252:
            limit = 104;
            break;
        case pSpecial216:
            limit = 86;
            break;
        default:
            limit = 32;
        }
    }
    int lim[256];
    for (int i = 0; i < 256; ++i) {
        lim[i] = i;
        if (limit != 255 && i >= limit) lim[i] = limit;
        if (soft && i >= limit / 2 && i <= 3 * limit / 2 && i < 255) lim[i] = i / 2 + limit / 4;
    }
    auto d = std::make_unique<DitherState>();
    constexpr int kMax = DitherState::kMaxStored;
    d->limTable.resize(2 * kMax + 1);
    for (int s = -kMax; s <= kMax; ++s) {
        const int v = lim[(std::abs(s) + 8) / 16];  // sixteenths, rounded half away from zero
        d->limTable[std::size_t(s + kMax)] = std::int16_t(s < 0 ? -v : v);
    }
    d->lim = d->limTable.data() + kMax;
    const std::size_t rowSize = (std::size_t(width_) + 2) * 3;
    d->rows.assign(2 * rowSize, 0);
    d->current = d->rows.data();
    d->next = d->rows.data() + rowSize;
    allGrey_ = std::all_of(palette_.begin(), palette_.end(),
                           [](PGColor c) { return PGRed(c) == PGGreen(c) && PGGreen(c) == PGBlue(c); });
    d->allGrey = allGrey_;
    d->identity = paletteIdent_ == pTrueColor;
    for (std::size_t i = 0; i < palette_.size() && i < 256; ++i) d->entries[i] = palette_[i] & 0xFFFFFF;
    return d;
}

namespace {

template <int Bits>
inline void StoreIndex(std::uint8_t* row, int x, int value) {
    if constexpr (Bits == 8) {
        row[x] = std::uint8_t(value);
    } else if constexpr (Bits == 4) {
        std::uint8_t& b = row[x >> 1];
        b = (x & 1) ? std::uint8_t((b & 0xF0) | (value & 0x0F))
                    : std::uint8_t((b & 0x0F) | ((value & 0x0F) << 4));
    } else {
        const std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
        row[x >> 3] = value == 1 ? std::uint8_t(row[x >> 3] | bit) : std::uint8_t(row[x >> 3] & ~bit);
    }
}

// Clamp255 for the dithering chain: values rarely leave 0 .. 255, so a branch that is
// almost never taken costs less latency than a conditional move on every pixel.
inline int ClampRare(int v) {
    if (__builtin_expect(unsigned(v) > 255u, 0)) v = v < 0 ? 0 : 255;
    return v;
}

// The state one dithered span reads and writes, gathered once per span.
struct DitherSpan {
    const std::int16_t* lim;
    const int* current;  // column x at current[3 * x]
    int* next;
    const std::uint32_t* entries;
    bool identity;
    int step;  // +1 left to right, -1 right to left
    // The last colour looked up and its cache word, for the one-colour memo.
    PGColor lastColor = 0;
    std::uint64_t lastFound = 0;
};

// Grey palettes: the error of the luminance, carried in the green slots.
template <int Bits, class Find>
void DitherGreySpan(DitherSpan& s, std::uint8_t* row, int x0, int n, int first, const std::uint8_t* bgr,
                    bool weighted, Find&& find) {
    // Locals, since row writes through a byte pointer could otherwise change them.
    const int step = s.step;
    const std::int16_t* lim = s.lim;
    const int* const current = s.current;
    int* const next = s.next;
    const std::uint32_t* const entries = s.entries;
    const bool identity = s.identity;
    PGColor lastColor = 0;
    std::uint64_t lastFound = 0;
    int aheadG = 0;
    for (int k = 0, i = first; k < n; ++k, i += step) {
        const int x = x0 + i;
        int* nxt = next + 3 * x;
        const std::uint8_t* p = bgr + 3 * i;
        const int v =
            Clamp255(LuminanceOf(p[2], p[1], p[0], weighted) / 3 + lim[current[3 * x + 1] + aheadG]);
        lastColor = PGRGB(v, v, v);
        lastFound = find(lastColor, v, v, v);
        const int index = identity ? int(lastFound) : int(lastFound & 0xFF);
        StoreIndex<Bits>(row, x, index);
        const int err = identity ? 0 : v - PGGreen(entries[index]);
        aheadG = 7 * err;
        nxt[1 - 3 * step] += 3 * err;
        nxt[1] += 5 * err;
        nxt[1 + 3 * step] += err;
    }
    s.lastColor = lastColor;
    s.lastFound = lastFound;
}

// Colour palettes: each channel's error on its own. The next row's slots are fresh
// for this row and complete once the pixel after them is done: they are summed in
// registers and stored once.
template <int Bits, class Find>
void DitherColourSpan(DitherSpan& s, std::uint8_t* row, int x0, int n, int first, const std::uint8_t* bgr,
                      Find&& find) {
    const int step = s.step;
    const std::int16_t* lim = s.lim;
    const int* const current = s.current;
    int* const next = s.next;
    const std::uint32_t* const entries = s.entries;
    const bool identity = s.identity;
    PGColor lastColor = 0;
    std::uint64_t lastFound = 0;
    int aheadR = 0, aheadG = 0, aheadB = 0;     // for the current row, one ahead
    int belowR = 0, belowG = 0, belowB = 0;     // next row at x, so far
    int behindR = 0, behindG = 0, behindB = 0;  // next row one behind x, so far
    const int back = -3 * step;
    for (int k = 0, i = first; k < n; ++k, i += step) {
        const int x = x0 + i;
        const int* cur = current + 3 * x;
        const std::uint8_t* p = bgr + 3 * i;
        const int r = ClampRare(p[2] + lim[cur[0] + aheadR]);
        const int g = ClampRare(p[1] + lim[cur[1] + aheadG]);
        const int b = ClampRare(p[0] + lim[cur[2] + aheadB]);
        lastColor = PGRGB(r, g, b);
        lastFound = find(lastColor, r, g, b);
        if (identity) {
            StoreIndex<Bits>(row, x, int(lastFound));
            continue;
        }
        const int index = int(lastFound & 0xFF);
        StoreIndex<Bits>(row, x, index);
        aheadR = 7 * r - int((lastFound >> 8) & 0x7FF);
        aheadG = 7 * g - int((lastFound >> 19) & 0x7FF);
        aheadB = 7 * b - int((lastFound >> 30) & 0x7FF);
        // The errors themselves only feed the next row, off the chain.
        const PGColor e = entries[index];
        const int er = r - PGRed(e), eg = g - PGGreen(e), eb = b - PGBlue(e);
        int* nxt = next + 3 * x;
        nxt[back] = behindR + 3 * er;
        nxt[back + 1] = behindG + 3 * eg;
        nxt[back + 2] = behindB + 3 * eb;
        behindR = belowR + 5 * er;
        behindG = belowG + 5 * eg;
        behindB = belowB + 5 * eb;
        belowR = er;
        belowG = eg;
        belowB = eb;
    }
    if (!identity) {
        int* nxt = next + 3 * (x0 + first + (n - 1) * step);
        nxt[0] = behindR;
        nxt[1] = behindG;
        nxt[2] = behindB;
        nxt[-back] = belowR;
        nxt[1 - back] = belowG;
        nxt[2 - back] = belowB;
    }
    s.lastColor = lastColor;
    s.lastFound = lastFound;
}

}  // namespace

template <int Bits>
void TPixelGraphic::WritePaletteSpan(std::uint8_t* row, int x0, int n, const std::uint8_t* bgr,
                                     bool leftToRight, DitherState* d) {
    const int step = leftToRight ? 1 : -1;
    const int first = leftToRight ? 0 : n - 1;
    if (!d) {
        Lookup lookup(*this);
        for (int k = 0, i = first; k < n; ++k, i += step) {
            const std::uint8_t* p = bgr + 3 * i;
            StoreIndex<Bits>(row, x0 + i, lookup(PGRGB(p[2], p[1], p[0])));
        }
        return;
    }
    // The dithering loops are one long chain of dependent steps (each pixel's error
    // feeds the next), so they keep the error carried ahead in registers and read the
    // index and seven times the entry's colour from one cache word: the error carried
    // ahead is then 7 r - 7 e, with 7 r made while the word loads. The one-colour memo
    // cannot change an answer of the cache or of the formulas, so it is only brought
    // up to date at the end.
    DitherSpan span{d->lim, d->current + 3, d->next + 3, d->entries.data(), d->identity, step};
    const std::uint64_t* cells = nullptr;
    if (paletteIdent_ == pUnknown && cacheEnabled_) {
        if (cacheNeedsSeeding_) SeedCache();
        cells = cache_.get();
    }
    const bool identity = span.identity;
    const std::uint32_t* entries = span.entries;
    // A cache word (CellWord); for true-colour images the colour itself.
    auto find = [&](PGColor c, int r, int g, int b) -> std::uint64_t {
        if (cells) {
            const std::uint64_t word = cells[CellOf(r, g, b)];
            if (word & kCellSet) return word;
        }
        const int index = NearestUncached(c);
        return identity ? c : CellWord(index, entries[index & 0xFF]);
    };
    if (d->allGrey)
        DitherGreySpan<Bits>(span, row, x0, n, first, bgr, rgbWeighting_, find);
    else
        DitherColourSpan<Bits>(span, row, x0, n, first, bgr, find);
    lastColor_ = span.lastColor;
    lastIndex_ = identity ? int(span.lastFound) : int(span.lastFound & 0xFF);
    memoValid_ = true;
}

void TPixelGraphic::WriteSpan(int y, int x0, int n, const std::uint8_t* bgr, bool leftToRight,
                              DitherState* dither) {
    if (n <= 0) return;
    std::uint8_t* row = RowPtr(y);
    switch (format_) {
    case pgpf24Bit:
        std::memcpy(row + 3 * std::size_t(x0), bgr, 3 * std::size_t(n));
        break;
    case pgpf8Bit:
        WritePaletteSpan<8>(row, x0, n, bgr, leftToRight, dither);
        break;
    case pgpf4Bit:
        WritePaletteSpan<4>(row, x0, n, bgr, leftToRight, dither);
        break;
    case pgpf1Bit:
        WritePaletteSpan<1>(row, x0, n, bgr, leftToRight, dither);
        break;
    }
}

}  // namespace quipix
