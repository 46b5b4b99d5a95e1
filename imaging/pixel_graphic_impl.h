// Pieces of TPixelGraphic shared by its source files and kept out of the public
// header: the nearest-colour lookup used inside pixel loops, the dithering state and
// the conversion of source rows to blue, green, red bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "imaging/pixel_graphic.h"

namespace quipix {

// Exact truncating division by a fixed denominator for numerators up to 256 times
// the denominator (sums of weighted bytes, rounded): a multiply and a shift instead
// of a divide per channel.
struct Divider {
    explicit Divider(std::uint64_t divisor) : d(divisor) {
        if (d < (std::uint64_t(1) << 22)) {
            while ((std::uint64_t(1) << shift) < 256 * d * d) ++shift;
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

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

inline int LuminanceOf(int r, int g, int b, bool weighted) {
    return weighted ? (897 * r + 1761 * g + 342 * b) / 1000 : r + g + b;
}

// Cell of the 32 x 64 x 32 colour grid (5 bits red, 6 green, 5 blue).
inline unsigned ColorCell(PGColor c) { return ((c & 0xF8) << 8) | ((c >> 5) & 0x7E0) | ((c >> 19) & 0x1F); }
inline unsigned CellOf(int r, int g, int b) {
    return (unsigned(r >> 3) << 11) | (unsigned(g >> 2) << 5) | unsigned(b >> 3);
}

// A cell of the nearest-colour cache: the index in the low byte, then seven times the
// entry's red, green and blue, 11 bits each (the dithering loop carries seven
// sixteenths of the error ahead, and this takes a multiply off its chain), and the
// "set" bit.
constexpr std::uint64_t kCellSet = std::uint64_t(1) << 41;
inline std::uint64_t CellWord(int index, PGColor entry) {
    return std::uint64_t(index & 0xFF) | (std::uint64_t(7 * PGRed(entry)) << 8) |
           (std::uint64_t(7 * PGGreen(entry)) << 19) | (std::uint64_t(7 * PGBlue(entry)) << 30) | kCellSet;
}

// The sixteen system colours, first entries of several fixed palettes.
extern const std::array<PGColor, 16> kSystemColors;

// NearestPaletteIndex for loops: the memo and the cache pointers live in locals (row
// writes through byte pointers would otherwise force them to be reloaded), and are
// written back when the lookup ends.
struct TPixelGraphic::Lookup {
    explicit Lookup(TPixelGraphic& image) : image_(image) {
        if (image.paletteIdent_ == pUnknown && image.cacheEnabled_) {
            if (image.cacheNeedsSeeding_) image.SeedCache();
            cache_ = image.cache_.get();
        }
        last_ = image.lastColor_;
        lastIndex_ = image.lastIndex_;
        valid_ = image.memoValid_;
    }
    ~Lookup() {
        image_.lastColor_ = last_;
        image_.lastIndex_ = lastIndex_;
        image_.memoValid_ = valid_;
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    int operator()(PGColor c) {
        if (valid_ && c == last_) return lastIndex_;
        int index;
        const unsigned cell = ColorCell(c);
        if (cache_ && (cache_[cell] & kCellSet))
            index = int(cache_[cell] & 0xFF);
        else
            index = image_.NearestUncached(c);
        last_ = c;
        lastIndex_ = index;
        valid_ = true;
        return index;
    }

private:
    TPixelGraphic& image_;
    const std::uint64_t* cache_ = nullptr;
    PGColor last_;
    int lastIndex_;
    bool valid_;
};

// Floyd-Steinberg state of one copy. Errors are kept in sixteenths; one column of
// padding on either side lets the "ahead" and "behind" slots exist at the edges.
struct TPixelGraphic::DitherState {
    static constexpr int kMaxStored = 16 * 255;  // seven, five, three and one sixteenths of 255

    std::vector<int> rows;
    int* current = nullptr;  // column x at current[3 * (x + 1)], red, green, blue
    int* next = nullptr;
    // Limit applied to a stored error: Lim(stored / 16 rounded half away from zero).
    std::vector<std::int16_t> limTable;
    const std::int16_t* lim = nullptr;  // indexed -kMaxStored .. kMaxStored
    bool allGrey = false;
    bool identity = false;                     // true-colour ident: the index is the colour itself
    std::array<std::uint32_t, 256> entries{};  // palette colours by index

    // The current row is only read (the error carried ahead stays in registers).
    void NextRow() {
        std::swap(current, next);
        std::fill(next, next + rows.size() / 2, 0);
    }
};

// Colours of a source image's rows as blue, green, red bytes: 24-bit rows are used
// in place, palette rows go through a 256-entry table (indices without an entry read
// as black, so a copy never stops half way on a bad pixel).
struct TPixelGraphic::SourceRows {
    explicit SourceRows(const TPixelGraphic& source);
    // Bytes of columns x .. x + n - 1 of row y (all inside the source).
    const std::uint8_t* Row(int y, int x, int n);

    const TPixelGraphic& src;
    std::array<std::uint8_t, 256 * 3> table{};
    std::vector<std::uint8_t> temp;
};

}  // namespace quipix
