// The picture library's pixel image: buffer and size, pixel access, the palette and
// its identification, change notification and whole-picture copies. Colour mapping
// lives in palette_mapping.cpp, rectangle copies and resampling in pixel_copy.cpp,
// palette reduction in optimized_palette.cpp.
#include "imaging/pixel_graphic.h"

#include <cstring>
#include <new>

#include "imaging/canvas.h"
#include "imaging/exceptions.h"
#include "imaging/pixel_graphic_impl.h"

namespace quipix {

double PGDisplayGamma = 2.2;
bool PGGammaCorrection = true;

namespace {

// A bitmap larger than this is refused like a failed section (hostile sizes).
constexpr std::int64_t kMaxBufferBytes = std::int64_t(1) << 30;

class UpdateBracket {
public:
    explicit UpdateBracket(TPixelGraphic& image) : image_(image) { image_.BeginUpdate(); }
    ~UpdateBracket() { image_.EndUpdate(); }

private:
    TPixelGraphic& image_;
};

}  // namespace

int PixelFormatBits(TPGPixelFormat format) {
    switch (format) {
    case pgpf1Bit:
        return 1;
    case pgpf4Bit:
        return 4;
    case pgpf8Bit:
        return 8;
    default:
        return 24;
    }
}

int PaletteCapacity(TPGPixelFormat format) {
    switch (format) {
    case pgpf1Bit:
        return 2;
    case pgpf4Bit:
        return 16;
    case pgpf8Bit:
        return 256;
    default:
        return 0;
    }
}

TPGPixelFormat PixelFormatFromBitCount(int bits) {
    switch (bits) {
    case 1:
        return pgpf1Bit;
    case 4:
        return pgpf4Bit;
    case 8:
        return pgpf8Bit;
    case 24:
        return pgpf24Bit;
    default:
        throw EPGInvalidBitCountNum("Invalid value for BitCountNum");
    }
}

std::int64_t PixelStride(int width, TPGPixelFormat format) {
    return (std::int64_t(PixelFormatBits(format)) * width + 31) / 32 * 4;
}

int Luminance(PGColor c, bool rgbWeighting) {
    return LuminanceOf(PGRed(c), PGGreen(c), PGBlue(c), rgbWeighting);
}

TPixelGraphic::TPixelGraphic() : Gamma(PGDisplayGamma) {}

TPixelGraphic::~TPixelGraphic() = default;

// --- size and format ---

void TPixelGraphic::SetSize(int width, int height, TPGPixelFormat format) {
    if (width < 0) throw EPGInvalidSize("Negative width");
    if (height < 0) throw EPGInvalidSize("Negative height");
    if (width == width_ && height == height_ && format == format_) {
        Clear();
        return;
    }
    Reshape(width, height, format, true);
    NotifyChange();
}

void TPixelGraphic::SetSizeUncleared(int width, int height, TPGPixelFormat format) {
    if (width < 0) throw EPGInvalidSize("Negative width");
    if (height < 0) throw EPGInvalidSize("Negative height");
    Reshape(width, height, format, false);
    NotifyChange();
}

// A picture that changes size keeps its buffer's memory (until it becomes empty): the
// saver's work picture alternates between a text strip and the whole screen, and
// fresh memory of that size costs page faults on every first touch.
void TPixelGraphic::Reshape(int width, int height, TPGPixelFormat format, bool clear) {
    bandNextRow_ = -1;
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = 0;
    const std::int64_t stride = PixelStride(width, format);
    if (stride <= 0 || height <= 0) {
        PixelBuffer().swap(buffer_);
        return;
    }
    // A failed allocation leaves a consistent empty picture, never a size without
    // pixels behind it.
    if (stride > kMaxBufferBytes / height) {
        PixelBuffer().swap(buffer_);
        width_ = height_ = 0;
        throw EPixelGraphic("CreateDIBSection failed");
    }
    const int capacity = PaletteCapacity(format);
    if (PaletteCount() > capacity) {
        SetPaletteCount(capacity);
        if (format == pgpf24Bit) paletteIdent_ = pTrueColor;
    }
    const std::size_t bytes = std::size_t(stride * height);
    if (bytes > buffer_.capacity()) {
        PixelBuffer().swap(buffer_);  // nothing worth moving
        if (spare_.capacity() >= bytes)
            buffer_.swap(spare_);
        else
            PixelBuffer().swap(spare_);  // never hold both
    }
    try {
        if (clear)
            buffer_.assign(bytes, 0);
        else
            buffer_.resize(bytes);  // the caller overwrites every byte
    } catch (const std::bad_alloc&) {
        PixelBuffer().swap(buffer_);
        width_ = height_ = 0;
        throw EPixelGraphic("CreateDIBSection failed");
    }
    stride_ = int(stride);
}

void TPixelGraphic::SetWidth(int width) {
    if (width != width_) SetSize(width, height_, format_);
}

void TPixelGraphic::SetHeight(int height) {
    if (height != height_) SetSize(width_, height, format_);
}

void TPixelGraphic::SetPixelFormat(TPGPixelFormat format) {
    if (format != format_) SetSize(width_, height_, format);
}

// --- background colour and clearing ---

PGColor TPixelGraphic::BackGroundColor() const {
    return format_ == pgpf24Bit ? backgroundValue_ : PaletteEntries(int(backgroundValue_));
}

void TPixelGraphic::SetBackGroundColor(PGColor color) {
    backgroundValue_ = format_ == pgpf24Bit ? color : std::uint32_t(NearestPaletteIndex(color));
}

void TPixelGraphic::Clear() {
    if (buffer_.empty() || width_ <= 0 || height_ <= 0) return;
    const std::uint32_t v = backgroundValue_;
    if (v == 0) {
        std::memset(buffer_.data(), 0, buffer_.size());
    } else if (format_ == pgpf8Bit) {
        for (int y = 0; y < height_; ++y) std::memset(RowPtr(y), int(v & 0xFF), std::size_t(width_));
    } else if (format_ == pgpf24Bit) {
        std::uint8_t* first = RowPtr(0);
        for (int x = 0; x < width_; ++x) {
            first[3 * x] = std::uint8_t(v >> 16);
            first[3 * x + 1] = std::uint8_t(v >> 8);
            first[3 * x + 2] = std::uint8_t(v);
        }
        for (int y = 1; y < height_; ++y) std::memcpy(RowPtr(y), first, std::size_t(width_) * 3);
    } else {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) PutValue(x, y, v);
    }
    NotifyChange();
}

// --- pixel access ---

std::uint32_t TPixelGraphic::GetValue(int x, int y) const {
    const std::uint8_t* row = RowPtr(y);
    switch (format_) {
    case pgpf1Bit:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case pgpf4Bit:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case pgpf8Bit:
        return row[x];
    default: {
        const std::uint8_t* p = row + 3 * std::size_t(x);
        return PGRGB(p[2], p[1], p[0]);
    }
    }
}

void TPixelGraphic::PutValue(int x, int y, std::uint32_t value) {
    std::uint8_t* row = RowPtr(y);
    switch (format_) {
    case pgpf1Bit: {
        const std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
        row[x >> 3] = value == 1 ? row[x >> 3] | bit : row[x >> 3] & ~bit;
        break;
    }
    case pgpf4Bit: {
        std::uint8_t& b = row[x >> 1];
        b = (x & 1) ? std::uint8_t((b & 0xF0) | (value & 0x0F))
                    : std::uint8_t((b & 0x0F) | ((value & 0x0F) << 4));
        break;
    }
    case pgpf8Bit:
        row[x] = std::uint8_t(value);
        break;
    default: {
        std::uint8_t* p = row + 3 * std::size_t(x);
        p[0] = std::uint8_t(value >> 16);
        p[1] = std::uint8_t(value >> 8);
        p[2] = std::uint8_t(value);
    }
    }
}

std::uint32_t TPixelGraphic::PixelValues(int x, int y) const {
    if (x >= 0 && x < width_ && y >= 0 && y < height_) return GetValue(x, y);
    if (RangeCheck) throw EPGXYIndexOutOfRange("X, Y index out of range");
    return backgroundValue_;
}

void TPixelGraphic::SetPixelValues(int x, int y, std::uint32_t value) {
    if (x >= 0 && x < width_ && y >= 0 && y < height_)
        PutValue(x, y, value);
    else if (RangeCheck)
        throw EPGXYIndexOutOfRange("X, Y index out of range");
}

PGColor TPixelGraphic::Pixels(int x, int y) const {
    const std::uint32_t v = PixelValues(x, y);
    return format_ == pgpf24Bit ? v : PaletteEntries(int(v));
}

void TPixelGraphic::SetPixels(int x, int y, PGColor color) {
    if (format_ != pgpf24Bit) color = PGColor(NearestPaletteIndex(color));
    SetPixelValues(x, y, color);
}

std::uint8_t* TPixelGraphic::ScanLine(int y) { return buffer_.empty() ? nullptr : RowPtr(y); }

const std::uint8_t* TPixelGraphic::ScanLine(int y) const { return buffer_.empty() ? nullptr : RowPtr(y); }

TPGCanvas& TPixelGraphic::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TPGCanvas>(*this);
    return *canvas_;
}

// --- change notification ---

void TPixelGraphic::BeginUpdate() { ++updateCount_; }

void TPixelGraphic::EndUpdate() {
    // An unbalanced EndUpdate must not silence every later notification.
    if (updateCount_ > 0) --updateCount_;
    NotifyChange();
}

void TPixelGraphic::NotifyChange() {
    if (updateCount_ != 0 || !OnChange) return;
    lastChange_ = {0, 0, width_, height_};
    OnChange(*this);
}

void TPixelGraphic::NotifyChangeArea(int left, int top, int right, int bottom) {
    if (updateCount_ != 0 || !OnChange) return;
    lastChange_ = {std::clamp(left, 0, width_), std::clamp(top, 0, height_), std::clamp(right, 0, width_),
                   std::clamp(bottom, 0, height_)};
    if (lastChange_.Right < lastChange_.Left) lastChange_.Right = lastChange_.Left;
    if (lastChange_.Bottom < lastChange_.Top) lastChange_.Bottom = lastChange_.Top;
    OnChange(*this);
}

void TPixelGraphic::ProgressStart() {
    if (OnProgressStartEvent) OnProgressStartEvent();
}

void TPixelGraphic::ProgressEnd() {
    if (OnProgressEndEvent) OnProgressEndEvent();
}

bool TPixelGraphic::Progress(const void* sender, int step, int max) {
    bool abort = false;
    if (OnProgress) OnProgress(sender, step, max, abort);
    return abort;
}

// --- palette ---

void TPixelGraphic::PaletteChanged() {
    bandNextRow_ = -1;  // errors measured against the old entries
    memoValid_ = false;
    paletteDirty_ = true;
    cacheNeedsSeeding_ = true;
}

void TPixelGraphic::SetPaletteCount(int count) {
    const int limit = format_ == pgpf24Bit ? 256 : PaletteCapacity(format_);
    if (count < 0 || count > limit) throw EPGInvalidPaletteIndex("Invalid palette index");
    if (count != PaletteCount()) {
        palette_.resize(std::size_t(count), 0);
        paletteIdent_ = count > 0 ? pUnknown : pNone;
    }
    PaletteChanged();
}

PGColor TPixelGraphic::PaletteEntries(int index) const {
    if (paletteIdent_ == pTrueColor) return PGColor(index);
    if (index < 0 || index >= PaletteCount()) throw EPGInvalidPaletteIndex("Invalid palette index");
    return palette_[std::size_t(index)];
}

void TPixelGraphic::SetPaletteEntries(int index, PGColor color) {
    if (paletteIdent_ == pNone || paletteIdent_ == pTrueColor) throw EPGNoPalette("No palette");
    if (index < 0 || index >= PaletteCount()) throw EPGInvalidPaletteIndex("Invalid palette index");
    palette_[std::size_t(index)] = color & 0xFFFFFF;
    paletteIdent_ = pUnknown;
    PaletteChanged();
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent ident) {
    if (ident == paletteIdent_) return;
    switch (ident) {
    case pNone:
    case pTrueColor:
        palette_.clear();
        break;
    case pUnknown:
        break;
    case pOptimized252Sys16:
    case pSource:
        return;  // choices of the image control, never held by a picture
    default: {
        const std::vector<PGColor>& table = FixedPalette(ident);
        if (format_ != pgpf24Bit && int(table.size()) > PaletteCapacity(format_))
            throw EPGInvalidPaletteIndex("Invalid palette index");
        palette_ = table;
    }
    }
    paletteIdent_ = ident;
    PaletteChanged();
}

void TPixelGraphic::IdentifyPalette() {
    allGrey_ = format_ != pgpf24Bit && std::all_of(palette_.begin(), palette_.end(), [](PGColor c) {
                   return PGRed(c) == PGGreen(c) && PGGreen(c) == PGBlue(c);
               });
    static constexpr TPaletteIdent kOrder[] = {pBlackWhite, pGray4, pSysGray4,   pGray16,     pGray236,
                                               pGray256,    pSys16, pSpecial216, pSpecial125, pSpecial252};
    TPaletteIdent found = palette_.empty() ? (format_ == pgpf24Bit ? pTrueColor : pNone) : pUnknown;
    for (TPaletteIdent ident : kOrder) {
        if (FixedPalette(ident) == palette_) {
            found = ident;
            break;
        }
    }
    paletteIdent_ = found;
    PaletteChanged();
}

void TPixelGraphic::SetPaletteReserved(bool reserved) {
    if (reserved == paletteReserved_) return;
    paletteReserved_ = reserved;
    paletteDirty_ = true;
}

void TPixelGraphic::SetRGBWeighting(bool on) {
    rgbWeighting_ = on;
    memoValid_ = false;
}

void TPixelGraphic::SetNearestColorCache(bool on) {
    cacheEnabled_ = on;
    memoValid_ = false;
    NotifyChange();
}

// --- whole-picture copy ---

void TPixelGraphic::CopyPicture(const TPixelGraphic* source) {
    if (source == this) return;  // SetSize would clear the very pixels to be copied
    UpdateBracket bracket(*this);
    if (!source) {
        SetSize(0, 0, pgpf24Bit);
        return;
    }
    // The same size needs no clearing: every byte is overwritten below.
    if (source->width_ != width_ || source->height_ != height_ || source->format_ != format_)
        Reshape(source->width_, source->height_, source->format_, false);
    if (!buffer_.empty()) std::memcpy(buffer_.data(), source->buffer_.data(), buffer_.size());
    palette_ = source->palette_;
    paletteIdent_ = source->paletteIdent_;
    backgroundValue_ = source->backgroundValue_;
    Dither = source->Dither;
    DitherErrorLimit = source->DitherErrorLimit;
    DitherErrorLimitAuto = source->DitherErrorLimitAuto;
    DitherErrorLimitSoft = source->DitherErrorLimitSoft;
    cacheEnabled_ = source->cacheEnabled_;
    Gamma = source->Gamma;
    rgbWeighting_ = source->rgbWeighting_;
    StretchMode = source->StretchMode;
    Transparent = source->Transparent;
    RangeCheck = source->RangeCheck;
    ReadWarningAction = source->ReadWarningAction;
    SaveColorResWarningAction = source->SaveColorResWarningAction;
    SetPaletteReserved(false);
    IdentifyPalette();
}

}  // namespace quipix
