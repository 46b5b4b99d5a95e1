// 1:1 copies between pictures of any formats (CopyRect, the banded AssignRows) and
// the reading of source rows as blue, green, red bytes that every copy shares.
#include <cstring>

#include "imaging/canvas.h"
#include "imaging/exceptions.h"
#include "imaging/pixel_graphic_impl.h"

namespace quipix {

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
    p.ShownWidth = p.ShownHeight = 0;
    p.ShownStretched = false;
    p.Canvas().Font = TPGFont{};
    p.Canvas().Brush = TPGBrush{};
    p.CopyPicture(&source);
    p.OnChange = std::move(onChange);
}

}  // namespace quipix
