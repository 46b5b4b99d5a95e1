// BMP pixel decoding: bit-field rows (16 and 32 bits) and the RLE8 / RLE4 codes.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/readers/bmp_internal.h"
#include "imaging/readers/decode_support.h"

namespace quipix::bmp {

void Raise(const std::string& text) { throw EPGBMPFileFormatReader("BMP: " + text); }

namespace {

// One channel's mask, normalised once per file.
struct Channel {
    std::uint32_t mask = 0;
    int shiftRight = 0;  // negative: shift left
    int add = 0;         // added to non-zero values (16-bit files only)

    Channel(std::uint32_t m, bool sixteenBit) : mask(m) {
        if (m == 0) return;  // a zero mask gives a zero channel
        const int low = std::countr_zero(m);
        const int high = 31 - std::countl_zero(m);
        const int width = high - low + 1;
        // Narrow masks put their top bit on bit 7; wider ones only drop their low zero
        // bits and are clamped below.
        shiftRight = width > 8 ? low : high - 7;
        if (sixteenBit && width <= 8) add = 1 << (8 - width);
    }

    std::uint8_t operator()(std::uint32_t value) const {
        const std::uint32_t v = value & mask;
        if (v == 0) return 0;
        const std::uint32_t c = (shiftRight >= 0 ? v >> shiftRight : v << -shiftRight) + add;
        return std::uint8_t(std::min<std::uint32_t>(c, 255));
    }
};

}  // namespace

namespace {

// The byte of a 32-bit pixel that a mask of eight bits on a byte boundary selects
// (the masks almost every writer uses), or -1 for any other mask.
int MaskByte(std::uint32_t mask) {
    for (int k = 0; k < 4; ++k)
        if (mask == 0xFFu << (8 * k)) return k;
    return -1;
}

// One row of 32-bit pixels whose channels are whole bytes: plain byte moves, which
// give what the masks give (a full byte needs no shift, no rounding and no clamp).
template <int B, int G, int R>
void CopyBytes(const std::uint8_t* in, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[B];
        out[1] = in[G];
        out[2] = in[R];
    }
}

void CopyBytes(const std::uint8_t* in, std::uint8_t* out, int width, int b, int g, int r) {
    if (b == 0 && g == 1 && r == 2) return CopyBytes<0, 1, 2>(in, out, width);
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[b];
        out[1] = in[g];
        out[2] = in[r];
    }
}

// One row's pixels with less than full alpha composited over the background.
void CompositeRow(std::uint8_t* p, const std::uint8_t* alpha, int width, const int back[3]) {
    for (int x = 0; x < width; ++x, p += 3) {
        const int k = alpha[x];
        if (k == 255) continue;
        for (int c = 0; c < 3; ++c) p[c] = decode::Blend(p[c], back[c], k);
    }
}

}  // namespace

void ReadBitFieldRows(TPGStream& stream, TPixelGraphic& image, decode::FreshPicture& fresh,
                      const void* sender, int bits, const std::uint32_t masks[4], PGColor background) {
    const int width = image.Width();
    const int height = image.Height();
    const bool sixteen = bits == 16;
    const Channel red(masks[0], sixteen), green(masks[1], sixteen), blue(masks[2], sixteen),
        alpha(masks[3], sixteen);
    const int rb = sixteen ? -1 : MaskByte(masks[0]), gb = sixteen ? -1 : MaskByte(masks[1]),
              bb = sixteen ? -1 : MaskByte(masks[2]), ab = masks[3] ? MaskByte(masks[3]) : 0;
    const bool wholeBytes = rb >= 0 && gb >= 0 && bb >= 0 && ab >= 0;
    const std::size_t rowBytes = std::size_t((std::int64_t(bits) * width + 31) / 32 * 4);
    std::vector<std::uint8_t> row(rowBytes);
    const int back[3] = {PGBlue(background), PGGreen(background), PGRed(background)};
    // Alpha counts once some pixel has any: writers that leave every alpha byte empty
    // mean an opaque picture. Until then the rows read had none, so at that point
    // they become the background (alpha 0), and each row after is composited as it
    // comes. Rows the file lacks stay black.
    std::vector<std::uint8_t> a(masks[3] ? std::size_t(width) : 0);
    bool anyAlpha = false;
    for (int i = 0; i < height; ++i) {
        // Rows are stored bottom-up in both the file and the buffer.
        const std::size_t got = decode::ReadPadded(stream, row.data(), rowBytes);
        if (got == 0) break;
        std::uint8_t* out = image.ScanLine(height - 1 - i);
        const std::uint8_t* in = row.data();
        std::uint8_t any = 0, every = 255;  // some alpha, and all alpha, of the row
        if (wholeBytes) {
            CopyBytes(in, out, width, bb, gb, rb);
            for (std::size_t x = 0; x < a.size(); ++x) {
                a[x] = in[4 * x + std::size_t(ab)];
                any |= a[x];
                every &= a[x];
            }
        } else {
            for (int x = 0; x < width; ++x, in += bits / 8, out += 3) {
                const std::uint32_t v = sixteen ? decode::U16LE(in) : decode::U32LE(in);
                out[0] = blue(v);
                out[1] = green(v);
                out[2] = red(v);
                if (!a.empty()) {
                    a[std::size_t(x)] = alpha(v);
                    any |= a[std::size_t(x)];
                    every &= a[std::size_t(x)];
                }
            }
        }
        if (!anyAlpha && any) {
            anyAlpha = true;
            const std::vector<std::uint8_t> none(std::size_t(width), 0);
            for (int j = 0; j < i; ++j)
                CompositeRow(image.ScanLine(height - 1 - j), none.data(), width, back);
        }
        if (anyAlpha && every != 255) CompositeRow(image.ScanLine(height - 1 - i), a.data(), width, back);
        fresh.Written(height - 1 - i);
        if (image.Progress(sender, i, height)) break;
        if (got < rowBytes) break;
    }
    fresh.Finish();
}

namespace {

// Writes pixels of one row, ignoring every column outside the image.
class RleTarget {
public:
    RleTarget(TPixelGraphic& image, bool rle4) : image_(image), rle4_(rle4) {}

    void SelectRow(std::int64_t y) {
        row_ = (y >= 0 && y < image_.Height()) ? image_.ScanLine(int(y)) : nullptr;
    }
    void Put(std::int64_t x, std::uint8_t value) {
        if (!row_ || x < 0 || x >= image_.Width()) return;
        if (!rle4_) {
            row_[x] = value;
        } else if (x & 1) {
            row_[x >> 1] = std::uint8_t((row_[x >> 1] & 0xF0) | (value & 0x0F));
        } else {
            row_[x >> 1] = std::uint8_t((row_[x >> 1] & 0x0F) | (value << 4));
        }
    }
    // An RLE8 run of one value, written as one block.
    void Fill(std::int64_t x, std::int64_t count, std::uint8_t value) {
        if (!row_) return;
        const std::int64_t from = std::max<std::int64_t>(x, 0);
        const std::int64_t to = std::min<std::int64_t>(x + count, image_.Width());
        if (from < to) std::memset(row_ + from, value, std::size_t(to - from));
    }

private:
    TPixelGraphic& image_;
    bool rle4_;
    std::uint8_t* row_ = nullptr;
};

}  // namespace

void DecodeRle(std::span<const std::uint8_t> data, bool rle4, TPixelGraphic& image, const void* sender) {
    const std::size_t size = data.size();
    const std::uint8_t* d = data.data();
    RleTarget target(image, rle4);
    // Coordinates are 64-bit: each code moves them by at most 255, so they cannot
    // overflow however long the data.
    std::int64_t x = 0;
    std::int64_t y = std::int64_t(image.Height()) - 1;
    target.SelectRow(y);
    // Progress in tenths of the data; data under ten bytes counts one step per byte.
    const std::size_t tenth = std::max<std::size_t>(size / 10, 1);
    std::size_t lastStep = 0;
    std::size_t pos = 0;
    while (pos + 1 < size) {
        const std::uint8_t n = d[pos];
        const std::uint8_t c = d[pos + 1];
        if (n > 0) {
            if (!rle4) {
                target.Fill(x, n, c);
            } else {
                for (int i = 0; i < n; ++i) target.Put(x + i, (i & 1) ? c & 0x0F : c >> 4);
            }
            x += n;
            pos += 2;
        } else if (c == 0) {
            x = 0;
            target.SelectRow(--y);
            pos += 2;
        } else if (c == 1) {
            break;
        } else if (c == 2) {
            if (size - pos < 4) break;
            x += d[pos + 2];
            y -= d[pos + 3];
            target.SelectRow(y);
            pos += 4;
        } else {
            const std::size_t bytes = rle4 ? (c + 1u) / 2 : c;
            const std::uint8_t* src = d + pos + 2;
            // An absolute run cut off by the end of the data writes what is there.
            const std::size_t have = std::min(bytes, size - pos - 2);
            for (int i = 0; i < c; ++i) {
                const std::size_t b = rle4 ? std::size_t(i) / 2 : std::size_t(i);
                if (b >= have) break;
                target.Put(x + i, !rle4 ? src[b] : (i & 1) ? src[b] & 0x0F : src[b] >> 4);
            }
            x += c;
            pos += bytes + 2;
            if (pos & 1) ++pos;
        }
        const std::size_t step = std::min<std::size_t>(pos / tenth, 10);
        if (step > lastStep) {
            lastStep = step;
            if (image.Progress(sender, int(step), 10)) break;
        }
    }
}

}  // namespace quipix::bmp
