// Resampling a rectangle to another size (StretchCopy, AssignStretched).
//
// Resampling is separable: a destination pixel is the row-weighted sum of per-row
// column sums, each of them already divided by its denominator, so a source row's
// column sums are computed once and reused by every destination row that needs it.
#include <cstring>

#include "imaging/pixel_graphic_impl.h"

namespace quipix {

namespace {

enum class Sampling { Nearest, Direct, TwoTap, Area };

Sampling ChooseSampling(TStretchMode mode, std::int64_t from, std::int64_t to) {
    if (mode == smFast) return Sampling::Nearest;
    if (from == to) return Sampling::Direct;
    const bool shrinking = to < from;
    if (mode == smMedium) return shrinking ? Sampling::TwoTap : Sampling::Area;
    return shrinking ? Sampling::Area : Sampling::TwoTap;
}

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

// The destination rows of one resampling, top to bottom. Each is the row-weighted
// sum of per-row column sums; rows are asked in ascending order, so the column sums
// of the two latest source rows are kept and the lower one is the one to replace.
template <class SourceRows>
class RowResampler {
public:
    RowResampler(SourceRows& source, const AxisSamples& cols, const AxisSamples& rows)
        : source_(source), cols_(cols), rows_(rows), colDiv_(cols.denominator), rowDiv_(rows.denominator) {
        const int n = cols.usableLast - cols.usableFirst + 1;
        const AxisSamples::Taps& lastTaps = cols.taps[std::size_t(cols.usableLast)];
        spanFirst_ = cols.taps[std::size_t(cols.usableFirst)].first;
        spanCount_ = lastTaps.first + lastTaps.count - spanFirst_;
        slots_[0].sums.resize(3 * std::size_t(n));
        slots_[1].sums.resize(3 * std::size_t(n));
        out_.resize(3 * std::size_t(n));
    }

    int Count() const { return int(out_.size() / 3); }

    // Blue, green, red bytes of the usable columns of destination row j (counted
    // from the clip start).
    const std::uint8_t* Row(std::size_t j) {
        const AxisSamples::Taps& t = rows_.taps[j];
        const std::uint32_t* w = &rows_.weights[t.weightAt];
        const std::size_t m = out_.size();
        if (t.count == 1) {
            const std::uint32_t* h = SumsOf(t.first);
            for (std::size_t i = 0; i < m; ++i) out_[i] = std::uint8_t(rowDiv_(std::uint64_t(w[0]) * h[i]));
        } else if (t.count == 2) {
            const std::uint32_t* h0 = SumsOf(t.first);
            const std::uint32_t* h1 = SumsOf(t.first + 1);
            for (std::size_t i = 0; i < m; ++i)
                out_[i] = std::uint8_t(rowDiv_(std::uint64_t(w[0]) * h0[i] + std::uint64_t(w[1]) * h1[i]));
        } else {
            acc_.assign(m, 0);
            for (int k = 0; k < t.count; ++k) {
                const std::uint32_t* h = SumsOf(t.first + k);
                for (std::size_t i = 0; i < m; ++i) acc_[i] += std::uint64_t(w[k]) * h[i];
            }
            for (std::size_t i = 0; i < m; ++i) out_[i] = std::uint8_t(rowDiv_(acc_[i]));
        }
        return out_.data();
    }

private:
    const std::uint32_t* SumsOf(int r) {
        if (slots_[0].row == r) return slots_[0].sums.data();
        if (slots_[1].row == r) return slots_[1].sums.data();
        Slot& s = slots_[0].row < slots_[1].row ? slots_[0] : slots_[1];
        ColumnSums(source_.Row(r, spanFirst_, spanCount_), spanFirst_, cols_, colDiv_, s.sums.data());
        s.row = r;
        return s.sums.data();
    }

    struct Slot {
        int row = -1;
        std::vector<std::uint32_t> sums;
    };
    SourceRows& source_;
    const AxisSamples& cols_;
    const AxisSamples& rows_;
    const Divider colDiv_, rowDiv_;
    int spanFirst_ = 0, spanCount_ = 0;
    Slot slots_[2];
    std::vector<std::uint8_t> out_;
    std::vector<std::uint64_t> acc_;
};

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
            SourceRows sourceRows(source);
            RowResampler resampler(sourceRows, cols, rows);
            const int x0 = int(cx0) + cols.usableFirst;
            const int first = int(cy0) + rows.usableFirst, last = int(cy0) + rows.usableLast;
            for (int y = first; y <= last; ++y) {
                const std::uint8_t* out = resampler.Row(std::size_t(y - cy0));
                if (dither) dither->NextRow();
                WriteSpan(y, x0, resampler.Count(), out, (y & 1) == 0, dither.get());
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

}  // namespace quipix
