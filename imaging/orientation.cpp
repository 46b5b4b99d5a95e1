// Orientation: the EXIF tag's value read from an APP1 payload, and the picture turned
// and mirrored to match it in every pixel format.
#include "imaging/orientation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/readers/decode_support.h"

namespace quipix {
namespace {

// Pixel access by format: whole bytes for 8 and 24 bits, bits within a byte below.
template <int Bits>
struct Px {
    static std::uint32_t Get(const std::uint8_t* row, int x) {
        if constexpr (Bits == 24) {
            const std::uint8_t* p = row + 3 * std::size_t(x);
            return p[0] | (p[1] << 8) | (std::uint32_t(p[2]) << 16);
        } else if constexpr (Bits == 8) {
            return row[x];
        } else {
            constexpr int perByte = 8 / Bits;
            const int shift = 8 - Bits * (x % perByte + 1);
            return (row[x / perByte] >> shift) & ((1u << Bits) - 1);
        }
    }
    static void Set(std::uint8_t* row, int x, std::uint32_t v) {
        if constexpr (Bits == 24) {
            std::uint8_t* p = row + 3 * std::size_t(x);
            p[0] = std::uint8_t(v);
            p[1] = std::uint8_t(v >> 8);
            p[2] = std::uint8_t(v >> 16);
        } else if constexpr (Bits == 8) {
            row[x] = std::uint8_t(v);
        } else {
            constexpr int perByte = 8 / Bits;
            const int shift = 8 - Bits * (x % perByte + 1);
            const std::uint8_t mask = std::uint8_t(((1u << Bits) - 1) << shift);
            std::uint8_t& b = row[x / perByte];
            b = std::uint8_t((b & ~mask) | ((v << shift) & mask));
        }
    }
};

// Picture rows of a copy of the old buffer, in the picture's own row order.
struct SourceRows {
    const std::uint8_t* row0;
    std::ptrdiff_t step;
    const std::uint8_t* Row(int y) const { return row0 + step * y; }
};

// Source rows are read as target columns, so the target is filled in bands of rows
// that keep the reads of one source row together in the cache.
// Mirrors one row in place.
template <int Bits>
void MirrorRow(std::uint8_t* row, int width) {
    for (int a = 0, b = width - 1; a < b; ++a, --b) {
        const std::uint32_t va = Px<Bits>::Get(row, a);
        Px<Bits>::Set(row, a, Px<Bits>::Get(row, b));
        Px<Bits>::Set(row, b, va);
    }
}

// Mirroring (2) and the half turn (3) work in place, row by row.
template <int Bits>
void MirrorInPlace(TPixelGraphic& image, bool halfTurn) {
    const int w = image.Width(), h = image.Height();
    if (halfTurn) decode::FlipRows(image);
    for (int y = 0; y < h; ++y) MirrorRow<Bits>(image.ScanLine(y), w);
}

// The transposing orientations 5 and 6 (7 and 8 are mirrored first): target pixel
// (x, y) is source column y of source row x, or of row H - 1 - x for 6.
template <int Bits>
void Remap(const SourceRows& src, int srcHeight, TPixelGraphic& dst, int orientation) {
    const int w = dst.Width(), h = dst.Height();
    const bool flipX = orientation == 6;
    constexpr int kBand = 32;
    std::uint8_t* rows[kBand];
    for (int y0 = 0; y0 < h; y0 += kBand) {
        const int n = std::min(kBand, h - y0);
        for (int i = 0; i < n; ++i) rows[i] = dst.ScanLine(y0 + i);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* s = src.Row(flipX ? srcHeight - 1 - x : x);
            for (int i = 0; i < n; ++i) Px<Bits>::Set(rows[i], x, Px<Bits>::Get(s, y0 + i));
        }
    }
}

}  // namespace

void ApplyOrientation(TPixelGraphic& image, int orientation) {
    if (orientation < 2 || orientation > 8 || image.Empty()) return;
    const int w = image.Width(), h = image.Height();
    if (orientation == 4) {
        decode::FlipRows(image);
        return;
    }
    image.BeginUpdate();
    // 7 and 8 are 6 and 5 of the mirrored picture; turning columns read backwards
    // costs more than mirroring first.
    if (orientation <= 3 || orientation >= 7) {
        switch (image.PixelFormat()) {
        case pgpf1Bit:
            MirrorInPlace<1>(image, orientation == 3);
            break;
        case pgpf4Bit:
            MirrorInPlace<4>(image, orientation == 3);
            break;
        case pgpf8Bit:
            MirrorInPlace<8>(image, orientation == 3);
            break;
        default:
            MirrorInPlace<24>(image, orientation == 3);
            break;
        }
        if (orientation <= 3) {
            image.EndUpdate();
            return;
        }
        orientation = orientation == 7 ? 6 : 5;
    }
    const std::uint8_t* base = image.Buffer();
    const std::ptrdiff_t row0 = image.ScanLine(0) - base;
    const std::ptrdiff_t step = h > 1 ? image.ScanLine(1) - image.ScanLine(0) : 0;
    const std::vector<std::uint8_t> copy(base, base + image.BufferSize());
    const SourceRows src{copy.data() + row0, step};
    image.SetSize(h, w, image.PixelFormat());
    switch (image.PixelFormat()) {
    case pgpf1Bit:
        Remap<1>(src, h, image, orientation);
        break;
    case pgpf4Bit:
        Remap<4>(src, h, image, orientation);
        break;
    case pgpf8Bit:
        Remap<8>(src, h, image, orientation);
        break;
    default:
        Remap<24>(src, h, image, orientation);
        break;
    }
    image.EndUpdate();
}

int ExifOrientation(std::span<const std::uint8_t> app1) {
    static const std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (app1.size() < 14 || std::memcmp(app1.data(), kExif, 6) != 0) return 1;
    const std::span<const std::uint8_t> t = app1.subspan(6);
    bool big;
    if (t[0] == 'M' && t[1] == 'M')
        big = true;
    else if (t[0] == 'I' && t[1] == 'I')
        big = false;
    else
        return 1;
    const auto u16 = [&](std::size_t at) { return big ? decode::U16BE(&t[at]) : decode::U16LE(&t[at]); };
    const auto u32 = [&](std::size_t at) { return big ? decode::U32BE(&t[at]) : decode::U32LE(&t[at]); };
    if (u16(2) != 42) return 1;
    const std::uint64_t ifd = u32(4);
    if (ifd + 2 > t.size()) return 1;
    const std::size_t count = u16(std::size_t(ifd));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = ifd + 2 + 12 * std::uint64_t(i);
        if (at + 12 > t.size()) break;
        const std::size_t e = std::size_t(at);
        if (u16(e) != 274) continue;
        // A SHORT of count 1, held in the first two bytes of the value field.
        if (u16(e + 2) != 3 || u32(e + 4) != 1) return 1;
        const int v = u16(e + 8);
        return ValidOrientation(v) ? v : 1;
    }
    return 1;
}

std::string OrientationText(int orientation) {
    static const char* const kTexts[] = {
        "as stored",
        "mirrored left to right",
        "turned 180 degrees",
        "mirrored top to bottom",
        "mirrored along the main diagonal",
        "turned 90 degrees clockwise",
        "mirrored along the other diagonal",
        "turned 90 degrees anticlockwise",
    };
    const int o = ValidOrientation(orientation) ? orientation : 1;
    return std::to_string(o) + " (" + kTexts[o - 1] + ")";
}

}  // namespace quipix
