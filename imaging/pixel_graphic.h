// TPixelGraphic: the one picture type of the program. A device-independent pixel
// buffer of 1, 4, 8 or 24 bits per pixel with an optional palette.
//
// Buffer layout (binding: ScanLine exposes it and readers fill rows directly):
// rows bottom-up, stride ((bits * Width + 31) / 32) * 4 bytes, row Y at
// buffer + stride * (Height - 1 - Y), 24-bit pixels stored blue, green, red.
// Colours exchanged with the image are 0x00BBGGRR (red in the low byte).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quipix {

using PGColor = std::uint32_t;  // 0x00BBGGRR

constexpr PGColor PGRGB(int r, int g, int b) {
    return PGColor(r & 0xFF) | (PGColor(g & 0xFF) << 8) | (PGColor(b & 0xFF) << 16);
}
constexpr int PGRed(PGColor c) { return int(c & 0xFF); }
constexpr int PGGreen(PGColor c) { return int((c >> 8) & 0xFF); }
constexpr int PGBlue(PGColor c) { return int((c >> 16) & 0xFF); }

enum TPGPixelFormat { pgpf1Bit = 0, pgpf4Bit = 1, pgpf8Bit = 2, pgpf24Bit = 3 };

enum TPaletteIdent {
    pNone = 0,
    pTrueColor,
    pUnknown,
    pBlackWhite,
    pSysGray4,
    pSys16,
    pGray4,
    pGray16,
    pGray236,
    pGray256,
    pSpecial125,
    pSpecial216,
    pSpecial252,
    pOptimized252Sys16,
    pSource
};

enum TPGWarningAction { pgwaIgnore = 0, pgwaOKBox = 1, pgwaOKCancelBox = 2, pgwaRaise = 3 };
enum TStretchMode { smFast = 0, smMedium = 1, smPrecise = 2 };

int PixelFormatBits(TPGPixelFormat format);
int PaletteCapacity(TPGPixelFormat format);
// 1, 4, 8 and 24 give the four formats; anything else raises EPGInvalidBitCountNum.
TPGPixelFormat PixelFormatFromBitCount(int bits);
// Row stride in bytes for a width and format, 64-bit so hostile sizes cannot overflow.
std::int64_t PixelStride(int width, TPGPixelFormat format);

// Luminance 0..765 of a colour, weighted or plain R + G + B.
int Luminance(PGColor c, bool rgbWeighting);

// The entries of a fixed palette kind (pBlackWhite .. pSpecial252); empty otherwise.
const std::vector<PGColor>& FixedPalette(TPaletteIdent ident);

// The library-wide display gamma, sRGB's 2.2 as every screen today has it, and the
// switch for gamma correction on load.
extern double PGDisplayGamma;
extern bool PGGammaCorrection;

class TPGCanvas;
class TPGStream;
class TPixelGraphic;

// Colour counts of 24-bit pictures on the 32 x 64 x 32 grid that CreateOptimizedPalette
// uses, gathered in row bands so that the counting of a large picture can be spread
// over several short steps.
class TPGColorHistogram {
public:
    // Counts rows firstRow .. firstRow + rowCount - 1 of a 24-bit picture (clipped to
    // the picture; other formats count nothing).
    void AddRows(const TPixelGraphic& source, int firstRow, int rowCount);
    void Clear();
    // True while no pixel has been counted.
    bool Empty() const { return pixels_ == 0; }

private:
    friend class TPixelGraphic;
    std::vector<std::uint32_t> counts_;
    std::int64_t pixels_ = 0;
};

class TPixelGraphic {
public:
    // Sender is the object reporting (the image itself, or a reader).
    using ProgressEvent = std::function<void(const void* sender, int step, int max, bool& abort)>;
    using NotifyEvent = std::function<void(TPixelGraphic& sender)>;

    TPixelGraphic();
    ~TPixelGraphic();
    TPixelGraphic(const TPixelGraphic&) = delete;
    TPixelGraphic& operator=(const TPixelGraphic&) = delete;

    // --- size and format ---
    void SetSize(int width, int height, TPGPixelFormat format);
    // SetSize for a reader that writes the pixels itself: they are left undefined,
    // and decode::FreshPicture clears whatever the reader leaves unwritten.
    void SetSizeUncleared(int width, int height, TPGPixelFormat format);
    int Width() const { return width_; }
    int Height() const { return height_; }
    TPGPixelFormat PixelFormat() const { return format_; }
    void SetWidth(int width);
    void SetHeight(int height);
    void SetPixelFormat(TPGPixelFormat format);
    bool Empty() const { return buffer_.empty(); }
    int Stride() const { return stride_; }
    std::size_t BufferSize() const { return buffer_.size(); }
    // Memory the buffer holds, which a smaller size keeps (see Reshape).
    std::size_t BufferCapacity() const { return buffer_.capacity(); }
    std::uint8_t* Buffer() { return buffer_.data(); }
    const std::uint8_t* Buffer() const { return buffer_.data(); }

    // --- background colour and clearing ---
    PGColor BackGroundColor() const;
    void SetBackGroundColor(PGColor color);
    std::uint32_t BackGroundValue() const { return backgroundValue_; }
    void Clear();

    // --- pixel access (row 0 at the top) ---
    PGColor Pixels(int x, int y) const;
    void SetPixels(int x, int y, PGColor color);
    std::uint32_t PixelValues(int x, int y) const;
    void SetPixelValues(int x, int y, std::uint32_t value);
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;

    // --- canvas ---
    TPGCanvas& Canvas();

    // --- change notification ---
    void BeginUpdate();
    void EndUpdate();
    void NotifyChange();
    // As NotifyChange, for a drawing that knows the area it changed (right and bottom
    // exclusive, clipped to the image). Inside an update bracket nothing fires and
    // EndUpdate reports the whole image.
    void NotifyChangeArea(int left, int top, int right, int bottom);
    // The area the current OnChange call reports: the whole image unless the change
    // came from NotifyChangeArea. Lets a viewer repaint only what changed.
    struct ChangedArea {
        int Left = 0, Top = 0, Right = 0, Bottom = 0;
    };
    const ChangedArea& LastChange() const { return lastChange_; }
    int UpdateCount() const { return updateCount_; }

    // --- palette ---
    int PaletteCount() const { return int(palette_.size()); }
    void SetPaletteCount(int count);
    PGColor PaletteEntries(int index) const;
    void SetPaletteEntries(int index, PGColor color);
    const std::vector<PGColor>& Palette() const { return palette_; }
    TPaletteIdent PaletteIdent() const { return paletteIdent_; }
    void SetPaletteIdent(TPaletteIdent ident);
    void IdentifyPalette();
    bool AllGrey() const { return allGrey_; }
    bool PaletteReserved() const { return paletteReserved_; }
    void SetPaletteReserved(bool reserved);
    bool PaletteDirty() const { return paletteDirty_; }

    // --- colour mapping, copies, resampling, palette reduction ---
    int NearestPaletteIndex(PGColor color);
    void CopyPicture(const TPixelGraphic* source);
    void CopyRect(int dstX, int dstY, const TPixelGraphic& source, int srcX, int srcY, int width, int height);
    void StretchCopy(int dstX, int dstY, int dstWidth, int dstHeight, const TPixelGraphic& source, int srcX,
                     int srcY, int srcWidth, int srcHeight);
    void AssignStretched(const TPixelGraphic& source);
    void CreateOptimizedPalette(const TPixelGraphic& source, int maxColors, bool addSystemColors);
    // The palette CreateOptimizedPalette gives for a 24-bit source whose rows were
    // counted; nothing counted is taken as an empty source.
    void CreateOptimizedPalette(const TPGColorHistogram& histogram, int maxColors, bool addSystemColors);
    // AssignStretched from a source of this picture's size, done in row bands: each
    // call copies rows firstRow .. firstRow + rowCount - 1, and a call that starts at
    // the row after the previous call's band, from the same source, carries the
    // dithering errors on, so the bands together give exactly what one
    // AssignStretched gives. Any other call starts afresh. A source of another size
    // copies nothing.
    void AssignRows(const TPixelGraphic& source, int firstRow, int rowCount);

    // --- loading ---
    void LoadPictureFile(const std::string& fileName);
    void LoadPictureStream(TPGStream& stream);
    void LoadFromStream(TPGStream& stream, const std::string& extension, int index);

    // --- progress (readers and long operations report through these) ---
    void ProgressStart();
    void ProgressEnd();
    // Calls OnProgress; returns true when the handler asked to abort.
    bool Progress(const void* sender, int step, int max);

    // --- settings ---
    bool Dither = true;
    std::uint8_t DitherErrorLimit = 32;
    bool DitherErrorLimitAuto = true;
    bool DitherErrorLimitSoft = true;
    TStretchMode StretchMode = smPrecise;
    TPGWarningAction ReadWarningAction = pgwaOKCancelBox;
    TPGWarningAction SaveColorResWarningAction = pgwaOKCancelBox;
    bool RangeCheck = false;
    double Gamma;  // PGDisplayGamma at creation
    bool Transparent = false;
    bool FastDCT = false;
    // The size a load is stretched to afterwards (0: its own size). A picture larger
    // than that in both directions may then be read reduced, never below it, which
    // saves the time and memory of pixels no one would see; an upright target, swapped
    // for a picture stored sideways.
    int ShownWidth = 0;
    int ShownHeight = 0;
    // The stretch goes to exactly that size whatever the picture's shape (a
    // background): a JPEG larger in both directions is then read at that size.
    bool ShownStretched = false;
    // The ICC profile a reader found in the file; the load converts the pixels from
    // it to sRGB and drops it.
    std::vector<std::uint8_t> ColorProfile;
    bool RGBWeighting() const { return rgbWeighting_; }
    void SetRGBWeighting(bool on);
    bool NearestColorCache() const { return cacheEnabled_; }
    void SetNearestColorCache(bool on);

    NotifyEvent OnChange;
    ProgressEvent OnProgress;
    std::function<void()> OnProgressStartEvent;
    std::function<void()> OnProgressEndEvent;

private:
    friend class TPGCanvas;
    struct DitherState;  // error rows and limit table of one dithered copy
    struct Lookup;       // NearestPaletteIndex with its memo held in registers
    struct SourceRows;   // source rows as blue, green, red bytes

    // Grows the pixel buffer without zeroing it: every path that grows it either
    // clears it or overwrites every byte.
    template <class T>
    struct DefaultInitAllocator : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = DefaultInitAllocator<U>;
        };
        DefaultInitAllocator() = default;
        template <class U>
        DefaultInitAllocator(const DefaultInitAllocator<U>&) {}
        template <class U, class... Args>
        void construct(U* p, Args&&... args) {
            if constexpr (sizeof...(Args) == 0)
                ::new (static_cast<void*>(p)) U;
            else
                ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    using PixelBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

    std::uint8_t* RowPtr(int y) { return buffer_.data() + std::size_t(stride_) * (height_ - 1 - y); }
    const std::uint8_t* RowPtr(int y) const {
        return buffer_.data() + std::size_t(stride_) * (height_ - 1 - y);
    }
    // SetSize's work without its checks and notification; clear false leaves the
    // pixels undefined for a caller that overwrites them all.
    void Reshape(int width, int height, TPGPixelFormat format, bool clear);
    std::uint32_t GetValue(int x, int y) const;
    void PutValue(int x, int y, std::uint32_t value);
    void PaletteChanged();  // memo invalid, palette dirty, cache dropped
    int NearestUncached(PGColor color);
    int ExactNearestIndex(PGColor color) const;
    void SeedCache();
    std::unique_ptr<DitherState> StartDither();
    // The 1:1 copy of CopyRect for rows first .. last, with a dithering state made by
    // the caller; false when OnProgress asked to stop.
    bool CopyRows(int dstX, int dstY, const TPixelGraphic& source, int srcX, int srcY, int x0, int n,
                  int first, int last, DitherState* dither, int progressBase, int progressMax);
    void SetOptimizedPalette(std::vector<PGColor> colors, int maxColors, bool addSystemColors);
    void SetEmptySourcePalette(int maxColors);
    // Writes n colours (blue, green, red bytes for columns x0 .. x0 + n - 1) into row y,
    // visiting them left to right or right to left; dithered when a state is given.
    void WriteSpan(int y, int x0, int n, const std::uint8_t* bgr, bool leftToRight, DitherState* dither);
    template <int Bits>
    void WritePaletteSpan(std::uint8_t* row, int x0, int n, const std::uint8_t* bgr, bool leftToRight,
                          DitherState* dither);

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    TPGPixelFormat format_ = pgpf24Bit;
    PixelBuffer buffer_;
    // During a load, the memory of the picture being replaced, which the new size
    // takes when it fits: reloading a picture of the same size then touches no fresh
    // pages.
    PixelBuffer spare_;
    std::uint32_t backgroundValue_ = 0;
    std::vector<PGColor> palette_;
    TPaletteIdent paletteIdent_ = pTrueColor;
    bool allGrey_ = false;
    bool paletteReserved_ = false;
    bool paletteDirty_ = false;
    bool rgbWeighting_ = true;
    bool cacheEnabled_ = true;
    int updateCount_ = 0;
    ChangedArea lastChange_;

    // Nearest-colour cache: one word per 5-6-5 cell (layout in pixel_graphic_impl.h)
    // holding the index, what the dithering loop needs of the entry, and a "set" bit.
    std::unique_ptr<std::uint64_t[]> cache_;
    bool cacheNeedsSeeding_ = true;
    PGColor lastColor_ = 0;
    int lastIndex_ = 0;
    bool memoValid_ = false;

    std::unique_ptr<TPGCanvas> canvas_;

    // AssignRows: the errors carried to the next band, the row it must start at (-1:
    // none) and the source it came from (compared, never read).
    std::unique_ptr<DitherState> bandDither_;
    int bandNextRow_ = -1;
    const TPixelGraphic* bandSource_ = nullptr;
};

// Makes own a copy of source as a fresh picture would be, reusing own's buffer when
// there is one, so that handing over a picture of the same size allocates nothing.
// own's pointer stays the same; its change handler is kept but not called by the copy.
void AdoptPictureCopy(std::unique_ptr<TPixelGraphic>& own, const TPixelGraphic& source);

}  // namespace quipix
