// Copies between pictures of any formats: 1:1 rectangles (CopyRect), resampled
// rectangles (StretchCopy), and the writing of colours into palette pictures, by
// nearest entry or with serpentine Floyd-Steinberg error diffusion.
//
// Resampling is separable: a destination pixel is the row-weighted sum of per-row
// column sums, each of them already divided by its denominator, so a source row's
// column sums are computed once and reused by every destination row that needs it.
#include <cstring>

#include "imaging/canvas.h"
#include "imaging/exceptions.h"
#include "imaging/pixel_graphic_impl.h"

namespace quipix {

// --- reading source rows ---

TPixelGraphic::SourceRows::SourceRows(const TPixelGraphic& source) : src(source) {
    if (source.format_ == pgpf24Bit) return;
    const bool identity = source.paletteIdent_ == pTrueColor;
    for (int i = 0; i < 256; ++i) {
        const PGColor c =
            identity ? PGColor(i) : (i < source.PaletteCount() ? source.palette_[std::size_t(i)] : 0);
        table[3 * i] = std::uint8_t(PGBlue(c));
        table[3 * i + 1] = std::uint8_t(PGGreen(c));
        table[3 * i + 2] = std::uint8_t(PGRed(c));
    }
}

const std::uint8_t* TPixelGraphic::SourceRows::Row(int y, int x, int n) {
    const std::uint8_t* row = src.RowPtr(y);
    if (src.format_ == pgpf24Bit) return row + 3 * std::size_t(x);
    temp.resize(3 * std::size_t(n));
    std::uint8_t* out = temp.data();
    if (src.format_ == pgpf8Bit) {
        for (int i = 0; i < n; ++i, out += 3) std::memcpy(out, &table[3 * row[x + i]], 3);
    } else {
        const bool four = src.format_ == pgpf4Bit;
        for (int i = 0; i < n; ++i, out += 3) {
            const int c = x + i;
            const unsigned v =
                four ? ((c & 1) ? row[c >> 1] & 0x0F : row[c >> 1] >> 4) : (row[c >> 3] >> (7 - (c & 7))) & 1;
            std::memcpy(out, &table[3 * v], 3);
        }
    }
    return temp.data();
}

// --- writing colours ---

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
    // The loop below is one long chain of dependent steps (each pixel's error feeds the
    // next), so it keeps the error carried ahead in registers and reads the index and
    // seven times the entry's colour from one cache word: the error carried ahead is
    // then 7 r - 7 e, with 7 r made while the word loads. The one-colour memo cannot
    // change an answer of the cache or of the formulas, so it is only brought up to
    // date at the end.
    const std::int16_t* lim = d->lim;
    const int* const current = d->current + 3;  // column x at current[3 * x]
    int* const next = d->next + 3;
    const bool identity = d->identity;
    const std::uint64_t* cells = nullptr;
    if (paletteIdent_ == pUnknown && cacheEnabled_) {
        if (cacheNeedsSeeding_) SeedCache();
        cells = cache_.get();
    }
    const std::uint32_t* entries = d->entries.data();
    // A cache word (CellWord); for true-colour images the colour itself.
    auto find = [&](PGColor c, int r, int g, int b) -> std::uint64_t {
        if (cells) {
            const std::uint64_t word = cells[CellOf(r, g, b)];
            if (word & kCellSet) return word;
        }
        const int index = NearestUncached(c);
        return identity ? c : CellWord(index, entries[index & 0xFF]);
    };
    PGColor lastColor = 0;
    std::uint64_t lastFound = 0;
    if (d->allGrey) {
        // Grey palettes: the error of the luminance, carried in the green slots.
        const bool weighted = rgbWeighting_;
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
    } else {
        // The next row's slots are fresh for this row and complete once the pixel
        // after them is done: they are summed in registers and stored once.
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
    }
    lastColor_ = lastColor;
    lastIndex_ = identity ? int(lastFound) : int(lastFound & 0xFF);
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

// --- 1:1 copy ---

void TPixelGraphic::CopyRect(int dstX, int dstY, const TPixelGraphic& source, int srcX, int srcY, int width,
                             int height) {
    if (&source == this) {  // overlapping rows: copy from a snapshot
        TPixelGraphic snapshot;
        snapshot.CopyPicture(this);
        CopyRect(dstX, dstY, snapshot, srcX, srcY, width, height);
        return;
    }
    if (width_ <= 0 || height_ <= 0 || source.width_ <= 0 || source.height_ <= 0) return;
    const std::int64_t x0 = std::max({std::int64_t(dstX), std::int64_t(0), std::int64_t(dstX) - srcX});
    const std::int64_t x1 = std::min({std::int64_t(dstX) + width - 1, std::int64_t(width_) - 1,
                                      std::int64_t(dstX) - srcX + source.width_ - 1});
    if (x0 > x1) {
        NotifyChange();
        return;
    }
    auto dither = StartDither();
    ProgressStart();
    const int first = int(std::max<std::int64_t>(dstY, 0));
    const int last = int(std::min<std::int64_t>(std::int64_t(dstY) + height - 1, height_ - 1));
    CopyRows(dstX, dstY, source, srcX, srcY, int(x0), int(x1 - x0 + 1), first, last, dither.get(), first,
             last - first);
    ProgressEnd();
    NotifyChange();
}

bool TPixelGraphic::CopyRows(int dstX, int dstY, const TPixelGraphic& source, int srcX, int srcY, int x0,
                             int n, int first, int last, DitherState* dither, int progressBase,
                             int progressMax) {
    const int sx = int(std::int64_t(x0) - dstX + srcX);
    const bool direct = format_ == pgpf24Bit && source.format_ == pgpf24Bit;
    SourceRows rows(source);
    for (int y = first; y <= last; ++y) {
        const std::int64_t sy = std::int64_t(y) - dstY + srcY;
        if (sy < 0 || sy >= source.height_) continue;
        if (direct) {
            std::memcpy(RowPtr(y) + 3 * std::size_t(x0), source.RowPtr(int(sy)) + 3 * std::size_t(sx),
                        3 * std::size_t(n));
        } else {
            if (dither) dither->NextRow();
            WriteSpan(y, x0, n, rows.Row(int(sy), sx, n), (y & 1) == 0, dither);
        }
        if (OnProgress && Progress(this, y - progressBase, progressMax)) return false;
    }
    return true;
}

void TPixelGraphic::AssignRows(const TPixelGraphic& source, int firstRow, int rowCount) {
    if (&source == this || source.width_ != width_ || source.height_ != height_ || source.buffer_.empty())
        return;
    if (width_ <= 0 || height_ <= 0 || buffer_.empty()) return;
    const int first = std::max(firstRow, 0);
    const int last = int(std::min<std::int64_t>(std::int64_t(firstRow) + rowCount - 1, height_ - 1));
    if (first > last) return;
    std::unique_ptr<DitherState> dither;
    if (first == bandNextRow_ && &source == bandSource_) dither = std::move(bandDither_);
    if (!dither) dither = StartDither();
    bandDither_.reset();
    bandNextRow_ = -1;
    ProgressStart();
    // Progress counts rows of the whole picture, as one AssignStretched reports them.
    const bool finished = CopyRows(0, 0, source, 0, 0, 0, width_, first, last, dither.get(), 0, height_ - 1);
    ProgressEnd();
    NotifyChange();
    if (finished && last + 1 < height_) {
        bandDither_ = std::move(dither);
        bandNextRow_ = last + 1;
        bandSource_ = &source;
    }
}

// --- resampling ---

namespace {

enum class Sampling { Nearest, Direct, TwoTap, Area };

Sampling ChooseSampling(TStretchMode mode, std::int64_t from, std::int64_t to) {
    if (mode == smFast) return Sampling::Nearest;
    if (from == to) return Sampling::Direct;
    const bool shrinking = to < from;
    if (mode == smMedium) return shrinking ? Sampling::TwoTap : Sampling::Area;
    return shrinking ? Sampling::Area : Sampling::TwoTap;
}

// Exact truncating division by a fixed denominator for numerators up to 255 times
// the denominator: a multiply and a shift instead of a divide per channel.
struct Divider {
    explicit Divider(std::uint64_t divisor) : d(divisor) {
        if (d < (std::uint64_t(1) << 22)) {
            while ((std::uint64_t(1) << shift) < 255 * d * d) ++shift;
            mul = ((std::uint64_t(1) << shift) + d - 1) / d;
        }
    }
    std::uint32_t operator()(std::uint64_t n) const {
        return std::uint32_t(mul ? (n * mul) >> shift : n / d);
    }
    std::uint64_t d;
    std::uint64_t mul = 0;
    unsigned shift = 0;
};

// The source taps of every destination position of one axis inside the clip.
struct AxisSamples {
    struct Taps {
        int first = 0, count = 0;  // source positions first .. first + count - 1
        std::size_t weightAt = 0;  // their weights in `weights`
    };
    std::vector<Taps> taps;  // per destination position, from the clip start
    std::vector<std::uint32_t> weights;
    std::uint64_t denominator = 1;
    int usableFirst = 0, usableLast = -1;  // contiguous usable positions, from the clip start
};

// b source positions from srcStart map onto f destination positions from dstStart;
// positions clipFirst .. clipLast are sampled. A sample is usable when its taps lie
// inside 0 .. size - 1; two-tap enlarging clamps a single stray tap instead.
AxisSamples SampleAxis(TStretchMode mode, std::int64_t dstStart, std::int64_t f, std::int64_t srcStart,
                       std::int64_t b, int size, std::int64_t clipFirst, std::int64_t clipLast) {
    AxisSamples a;
    const Sampling how = ChooseSampling(mode, b, f);
    a.denominator = how == Sampling::TwoTap ? std::uint64_t(2 * f)
                    : how == Sampling::Area ? std::uint64_t(b)
                                            : 1;
    a.taps.resize(std::size_t(clipLast - clipFirst + 1));
    auto inside = [size](std::int64_t s) { return s >= 0 && s < size; };
    bool ended = false;
    for (std::int64_t pos = clipFirst; pos <= clipLast; ++pos) {
        const std::int64_t k = pos - dstStart;
        std::int64_t s0 = 0, s1 = 0;
        // Weights: the first tap, every tap between (area only) and the last tap.
        std::uint64_t wFirst = 1, wMiddle = 0, wLast = 0;
        switch (how) {
        case Sampling::Nearest:
            s0 = s1 = srcStart + b * k / f;
            break;
        case Sampling::Direct:
            s0 = s1 = srcStart + k;
            break;
        case Sampling::TwoTap: {
            const std::int64_t x = b + 2 * k * b;
            s0 = srcStart + (x - f) / (2 * f);
            s1 = srcStart + (x + f) / (2 * f);
            const bool in0 = inside(s0), in1 = inside(s1);
            if (!(in0 && in1) && f > b && in0 != in1) {
                s0 = std::clamp<std::int64_t>(s0, 0, size - 1);
                s1 = std::clamp<std::int64_t>(s1, 0, size - 1);
            }
            if (f + 2 * f * (s0 - srcStart) == x || s0 == s1) {
                s1 = s0;
                wFirst = std::uint64_t(2 * f);
            } else {
                wFirst = std::uint64_t(3 * f + 2 * f * (s0 - srcStart) - x);
                wLast = std::uint64_t(2 * f + x - f - 2 * f * (s1 - srcStart));
            }
            break;
        }
        case Sampling::Area: {
            const std::int64_t q = b * (k + 1);
            s0 = srcStart + b * k / f;
            s1 = srcStart + q / f - (q % f == 0 ? 1 : 0);
            if (s0 == s1) {
                wFirst = std::uint64_t(b);
            } else {
                wFirst = std::uint64_t(f * (s0 - srcStart + 1) - b * k);
                wMiddle = std::uint64_t(f);
                wLast = std::uint64_t(q - f * (s1 - srcStart));
            }
            break;
        }
        }
        const std::size_t j = std::size_t(pos - clipFirst);
        if (!inside(s0) || !inside(s1)) {
            if (a.usableLast >= 0) ended = true;
            continue;
        }
        if (ended) continue;  // usable positions are contiguous; keep the first run only
        a.taps[j] = {int(s0), int(s1 - s0 + 1), a.weights.size()};
        a.weights.push_back(std::uint32_t(wFirst));
        for (std::int64_t i = s0 + 1; i < s1; ++i) a.weights.push_back(std::uint32_t(wMiddle));
        if (s1 > s0) a.weights.push_back(std::uint32_t(wLast));
        if (a.usableLast < 0) a.usableFirst = int(j);
        a.usableLast = int(j);
    }
    return a;
}

// One source row's column sums for the usable destination columns, blue, green, red.
void ColumnSums(const std::uint8_t* span, int spanFirst, const AxisSamples& cols, const Divider& div,
                std::uint32_t* out) {
    for (int j = cols.usableFirst; j <= cols.usableLast; ++j, out += 3) {
        const AxisSamples::Taps& t = cols.taps[std::size_t(j)];
        const std::uint8_t* p = span + 3 * std::size_t(t.first - spanFirst);
        const std::uint32_t* w = &cols.weights[t.weightAt];
        if (t.count == 1) {
            out[0] = div(std::uint64_t(w[0]) * p[0]);
            out[1] = div(std::uint64_t(w[0]) * p[1]);
            out[2] = div(std::uint64_t(w[0]) * p[2]);
        } else if (t.count == 2) {
            out[0] = div(std::uint64_t(w[0]) * p[0] + std::uint64_t(w[1]) * p[3]);
            out[1] = div(std::uint64_t(w[0]) * p[1] + std::uint64_t(w[1]) * p[4]);
            out[2] = div(std::uint64_t(w[0]) * p[2] + std::uint64_t(w[1]) * p[5]);
        } else {
            std::uint64_t s0 = 0, s1 = 0, s2 = 0;
            for (int i = 0; i < t.count; ++i, p += 3) {
                s0 += std::uint64_t(w[i]) * p[0];
                s1 += std::uint64_t(w[i]) * p[1];
                s2 += std::uint64_t(w[i]) * p[2];
            }
            out[0] = div(s0);
            out[1] = div(s1);
            out[2] = div(s2);
        }
    }
}

}  // namespace

void TPixelGraphic::StretchCopy(int dstX, int dstY, int dstWidth, int dstHeight, const TPixelGraphic& source,
                                int srcX, int srcY, int srcWidth, int srcHeight) {
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        CopyRect(dstX, dstY, source, srcX, srcY, dstWidth, dstHeight);
        return;
    }
    if (width_ < 1 || height_ < 1 || source.width_ < 1 || source.height_ < 1 || buffer_.empty() ||
        source.buffer_.empty())
        return;
    // An empty source or destination rectangle has nothing to sample (and would
    // divide by zero).
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1) return;
    if (&source == this) {
        TPixelGraphic snapshot;
        snapshot.CopyPicture(this);
        StretchCopy(dstX, dstY, dstWidth, dstHeight, snapshot, srcX, srcY, srcWidth, srcHeight);
        return;
    }
    const std::int64_t cx0 = std::max<std::int64_t>(dstX, 0);
    const std::int64_t cx1 = std::min<std::int64_t>(std::int64_t(dstX) + dstWidth - 1, width_ - 1);
    const std::int64_t cy0 = std::max<std::int64_t>(dstY, 0);
    const std::int64_t cy1 = std::min<std::int64_t>(std::int64_t(dstY) + dstHeight - 1, height_ - 1);
    auto dither = StartDither();
    ProgressStart();
    if (cx0 <= cx1 && cy0 <= cy1) {
        const AxisSamples cols =
            SampleAxis(StretchMode, dstX, dstWidth, srcX, srcWidth, source.width_, cx0, cx1);
        const AxisSamples rows =
            SampleAxis(StretchMode, dstY, dstHeight, srcY, srcHeight, source.height_, cy0, cy1);
        if (cols.usableLast >= 0 && rows.usableLast >= 0) {
            const Divider colDiv(cols.denominator), rowDiv(rows.denominator);
            const int n = cols.usableLast - cols.usableFirst + 1;
            const int x0 = int(cx0) + cols.usableFirst;
            const AxisSamples::Taps& lastTaps = cols.taps[std::size_t(cols.usableLast)];
            const int spanFirst = cols.taps[std::size_t(cols.usableFirst)].first;
            const int spanCount = lastTaps.first + lastTaps.count - spanFirst;
            SourceRows sourceRows(source);

            // Column sums of the two latest source rows; rows are asked in ascending
            // order, so the lower one is the one to replace.
            struct Slot {
                int row = -1;
                std::vector<std::uint32_t> sums;
            } slots[2];
            slots[0].sums.resize(3 * std::size_t(n));
            slots[1].sums.resize(3 * std::size_t(n));
            auto sumsOf = [&](int r) -> const std::uint32_t* {
                if (slots[0].row == r) return slots[0].sums.data();
                if (slots[1].row == r) return slots[1].sums.data();
                Slot& s = slots[0].row < slots[1].row ? slots[0] : slots[1];
                ColumnSums(sourceRows.Row(r, spanFirst, spanCount), spanFirst, cols, colDiv, s.sums.data());
                s.row = r;
                return s.sums.data();
            };

            std::vector<std::uint8_t> out(3 * std::size_t(n));
            std::vector<std::uint64_t> acc;
            const int first = int(cy0) + rows.usableFirst, last = int(cy0) + rows.usableLast;
            for (int y = first; y <= last; ++y) {
                const AxisSamples::Taps& t = rows.taps[std::size_t(y - cy0)];
                const std::uint32_t* w = &rows.weights[t.weightAt];
                const std::size_t m = out.size();
                if (t.count == 1) {
                    const std::uint32_t* h = sumsOf(t.first);
                    for (std::size_t i = 0; i < m; ++i)
                        out[i] = std::uint8_t(rowDiv(std::uint64_t(w[0]) * h[i]));
                } else if (t.count == 2) {
                    const std::uint32_t* h0 = sumsOf(t.first);
                    const std::uint32_t* h1 = sumsOf(t.first + 1);
                    for (std::size_t i = 0; i < m; ++i)
                        out[i] =
                            std::uint8_t(rowDiv(std::uint64_t(w[0]) * h0[i] + std::uint64_t(w[1]) * h1[i]));
                } else {
                    acc.assign(m, 0);
                    for (int k = 0; k < t.count; ++k) {
                        const std::uint32_t* h = sumsOf(t.first + k);
                        for (std::size_t i = 0; i < m; ++i) acc[i] += std::uint64_t(w[k]) * h[i];
                    }
                    for (std::size_t i = 0; i < m; ++i) out[i] = std::uint8_t(rowDiv(acc[i]));
                }
                if (dither) dither->NextRow();
                WriteSpan(y, x0, n, out.data(), (y & 1) == 0, dither.get());
                if (OnProgress && Progress(this, y - int(cy0), int(cy1 - cy0))) break;
            }
        }
    }
    ProgressEnd();
    NotifyChange();
}

void TPixelGraphic::AssignStretched(const TPixelGraphic& source) {
    StretchCopy(0, 0, width_, height_, source, 0, 0, source.width_, source.height_);
}

void AdoptPictureCopy(std::unique_ptr<TPixelGraphic>& own, const TPixelGraphic& source) {
    if (!own) {
        own = std::make_unique<TPixelGraphic>();
        own->CopyPicture(&source);
        return;
    }
    if (own.get() == &source) return;
    TPixelGraphic& p = *own;
    TPixelGraphic::NotifyEvent onChange = std::move(p.OnChange);
    p.OnChange = nullptr;
    while (p.UpdateCount() > 0) p.EndUpdate();
    // What a new picture starts with and CopyPicture does not set.
    p.OnProgress = nullptr;
    p.OnProgressStartEvent = nullptr;
    p.OnProgressEndEvent = nullptr;
    p.FastDCT = false;
    p.Canvas().Font = TPGFont{};
    p.Canvas().Brush = TPGBrush{};
    p.CopyPicture(&source);
    p.OnChange = std::move(onChange);
}

}  // namespace quipix
