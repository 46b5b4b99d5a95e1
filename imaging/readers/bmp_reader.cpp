// Windows and OS/2 bitmaps (bmp, dib, rle): header checks, palettes and plain rows.
// The bit-field and run-length decoders live in bmp_decode.cpp.
//
// Headers: the OS/2 core header (12 bytes), the Windows info header (40) and its later
// forms with the colour masks inside (52, 56, V4 108, V5 124), and the OS/2 2.x header
// (16 to 64 bytes, its missing fields zero). Colour space and profile fields are not
// used: the pixels are taken as they are, and a V5 profile is never read.
//
// A file that ends early is not an error: the pixels not in the file stay black.
// The pixel data starts after the colour table, or at the file header's offset when
// that points further on (some writers leave a gap there).
#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/bmp_internal.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

using decode::LE16;
using decode::LE32;
using decode::LE32Signed;

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaxHeaderSize = 124;  // V5

enum Compression : std::uint32_t { kRGB = 0, kRLE8 = 1, kRLE4 = 2, kBitFields = 3 };

// The headers as they lie in the file.
struct FileHeader {  // BITMAPFILEHEADER
    std::uint8_t type[2];
    LE32 size;
    LE16 reserved[2];
    LE32 offBits;
};
static_assert(sizeof(FileHeader) == 14);

struct CoreHeader {  // BITMAPCOREHEADER
    LE32 size;
    LE16 width, height, planes, bitCount;
};
static_assert(sizeof(CoreHeader) == kCoreHeaderSize);

// The Windows info header in its largest form (V5): every shorter one is its
// beginning, read with zeros after it. OS/2 2.x shares its first 40 bytes.
struct InfoHeader {  // BITMAPV5HEADER
    LE32 size;
    LE32Signed width, height;
    LE16 planes, bitCount;
    LE32 compression, sizeImage, xPelsPerMeter, yPelsPerMeter, clrUsed, clrImportant;
    LE32 masks[4];                // red, green, blue, alpha (sizes 52 and up)
    std::uint8_t colorSpace[68];  // colour space, gamma, intent and profile: not used

    // An OS/2 2.x header's compression 3 is Huffman coding, and it has no masks.
    bool Os2() const { return size != kInfoHeaderSize && size != 52 && size != 56 && size <= 64; }
};
static_assert(sizeof(InfoHeader) == kMaxHeaderSize);

bool AcceptedHeaderSize(std::uint32_t size) {
    return size == kCoreHeaderSize || (size >= 16 && size <= 64) || size == 108 || size == kMaxHeaderSize;
}

void CheckCore(const CoreHeader& h) {
    if (h.planes != 1) bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapCoreHeader.bcPlanes"));
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24)
        bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapCoreHeader.bcBitCount"));
}

void CheckInfo(const InfoHeader& h) {
    if (h.planes != 1) bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapInfoHeader.biPlanes"));
    switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapInfoHeader.biBitCount"));
    }
    const bool ok = h.compression == kRGB ||
                    (h.compression == kBitFields && !h.Os2() && (h.bitCount == 16 || h.bitCount == 32)) ||
                    (h.compression == kRLE4 && h.bitCount == 4 && h.height >= 0) ||
                    (h.compression == kRLE8 && h.bitCount == 8 && h.height >= 0);
    if (!ok) bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapInfoHeader.biCompression"));
}

// Reads the file header and peeks at the size of the info header behind it.
std::uint32_t ReadFileHeader(TPGStream& stream, std::uint32_t& offBits) {
    FileHeader fh;
    decode::ReadPadded(stream, &fh, sizeof fh);
    offBits = fh.offBits;
    LE32 sizeField;
    const std::size_t got = decode::ReadPadded(stream, &sizeField, sizeof sizeField);
    stream.Seek(stream.Position() - std::int64_t(got));
    const std::uint32_t size = sizeField;
    if (!AcceptedHeaderSize(size))
        bmp::Raise(GetPGLangStr(msg::InvalidSizeOf, "BitmapInfoHeader/BitmapCoreHeader"));
    return size;
}

void CheckSize(std::int64_t width, std::int64_t height, TPGPixelFormat format, std::int64_t minEncoded,
               std::int64_t available) {
    // SetSize reports a negative width.
    if (width >= 0) decode::CheckPictureSize(width, height, format, minEncoded, available, bmp::Raise);
}

class BMPReader : public TFileFormatReader {
public:
    explicit BMPReader(const std::string& extension) : TFileFormatReader(extension, "Bitmap", true) {}

    bool IsSignature(std::span<const std::uint8_t> h) const override {
        return h.size() >= 2 && h[0] == 'B' && h[1] == 'M';
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) bmp::Raise(GetPGLangStr(msg::Invalid, "Index"));
        const std::int64_t start = stream.Position();
        std::uint32_t offBits = 0;
        const std::uint32_t headerSize = ReadFileHeader(stream, offBits);
        decode::ProgressScope progress(image);
        pixelStart_ = start + offBits;
        if (headerSize == kCoreHeaderSize)
            ReadCore(stream, image);
        else
            ReadInfo(stream, image, headerSize);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) bmp::Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        std::uint32_t offBits = 0;
        TImageInfo info;
        int bits = 0;
        const std::uint32_t headerSize = ReadFileHeader(stream, offBits);
        if (headerSize == kCoreHeaderSize) {
            const CoreHeader h = ReadCoreHeader(stream);
            CheckCore(h);
            info.Width = h.width;
            info.Height = h.height;
            bits = h.bitCount;
            info.Info1 = "OS/2";
        } else {
            const InfoHeader h = ReadInfoHeader(stream, headerSize);
            CheckInfo(h);
            info.Width = h.width;
            info.Height = h.height;
            bits = h.bitCount;
            info.Info1 = h.Os2() ? "OS/2" : "Windows";
            if (h.compression == kRGB) info.Info1 += ", RGB";
            if (h.compression == kRLE8) info.Info1 += ", RLE8";
            if (h.compression == kRLE4) info.Info1 += ", RLE4";
            if (h.height < 0) info.Info1 += ", Top-Down";
        }
        info.Count = 1;
        info.Bits = bits;
        static constexpr decode::ColorCount kColors[] = {{1, "2"}, {4, "16"}, {8, "256"}, {16, "64K"}};
        info.ColorText = decode::ColorCountText(kColors, bits, "16.7M");
        return info;
    }

private:
    static CoreHeader ReadCoreHeader(TPGStream& stream) {
        CoreHeader h;
        decode::ReadPadded(stream, &h, sizeof h);
        return h;
    }

    // size: the header's own, already accepted.
    static InfoHeader ReadInfoHeader(TPGStream& stream, std::uint32_t size) {
        InfoHeader h{};
        decode::ReadPadded(stream, &h, size);
        return h;
    }

    void ReadCore(TPGStream& stream, TPixelGraphic& image) {
        const CoreHeader h = ReadCoreHeader(stream);
        CheckCore(h);
        const TPGPixelFormat format = PixelFormatFromBitCount(h.bitCount);
        const std::int64_t stride = PixelStride(h.width, format);
        CheckSize(h.width, h.height, format, stride * h.height, stream.Remaining());
        image.SetSize(h.width, h.height, format);
        const int capacity = PaletteCapacity(format);
        image.SetPaletteCount(capacity);
        if (capacity == 0) {
            image.SetPaletteIdent(pTrueColor);
        } else {
            std::vector<std::uint8_t> table(std::size_t(capacity) * 3);
            decode::ReadPadded(stream, table.data(), table.size());
            for (int i = 0; i < capacity; ++i) {
                const std::uint8_t* e = &table[std::size_t(i) * 3];
                image.SetPaletteEntries(i, PGRGB(e[2], e[1], e[0]));
            }
        }
        SkipToPixels(stream);
        ReadWholeBuffer(stream, image);
    }

    void ReadInfo(TPGStream& stream, TPixelGraphic& image, std::uint32_t headerSize) {
        const InfoHeader h = ReadInfoHeader(stream, headerSize);
        CheckInfo(h);
        if (h.height == INT_MIN) bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapInfoHeader.biHeight"));
        const int height = h.height < 0 ? -h.height : h.height;
        const int bits = h.bitCount;
        const bool rle = h.compression == kRLE8 || h.compression == kRLE4;
        const TPGPixelFormat format = bits > 8 ? pgpf24Bit : PixelFormatFromBitCount(bits);
        const int capacity = PaletteCapacity(format);
        if (bits <= 8 && h.clrUsed > std::uint32_t(capacity))
            bmp::Raise(GetPGLangStr(msg::Invalid, "BitmapInfoHeader.biClrUsed"));

        // Fewest bytes the pixels fit in: full rows, or two RLE bytes per 255 pixels.
        const std::int64_t pixels = std::int64_t(h.width) * height;
        const std::int64_t fileRow = (std::int64_t(bits) * h.width + 31) / 32 * 4;
        CheckSize(h.width, height, format, rle ? pixels / 128 : decode::SaturatingMul(fileRow, height),
                  stream.Remaining());

        // Bit-field rows are converted whole, so their picture need not be cleared.
        std::optional<decode::FreshPicture> fresh;
        if (bits == 16 || bits == 32)
            fresh.emplace(image, h.width, height, format, std::size_t(h.width) * 3);
        else
            image.SetSize(h.width, height, format);
        std::uint32_t masks[4] = {0, 0, 0, 0};
        if (bits > 8) {
            image.SetPaletteIdent(pTrueColor);
            if (h.compression == kBitFields && h.size >= 52) {
                // The later headers carry the masks, alpha included from 56 bytes on.
                std::copy(h.masks, h.masks + (h.size >= 56 ? 4 : 3), masks);
            } else if (h.compression == kBitFields) {
                LE32 m[3];
                decode::ReadPadded(stream, m, sizeof m);
                std::copy(m, m + 3, masks);
            } else if (bits == 16) {
                masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
            } else {
                masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
            }
            if (h.clrUsed > 0) stream.Skip(std::int64_t(h.clrUsed) * 4);
        } else {
            const int count = h.clrUsed != 0 ? int(h.clrUsed) : capacity;
            image.SetPaletteCount(count);
            std::vector<std::uint8_t> table(std::size_t(count) * 4);
            decode::ReadPadded(stream, table.data(), table.size());
            for (int i = 0; i < count; ++i) {
                const std::uint8_t* e = &table[std::size_t(i) * 4];
                image.SetPaletteEntries(i, PGRGB(e[2], e[1], e[0]));
            }
        }
        SkipToPixels(stream);
        if (image.Empty()) return;

        if (bits == 16 || bits == 32) {
            bmp::ReadBitFieldRows(stream, image, *fresh, this, bits, masks, image.BackGroundColor());
        } else if (rle) {
            // The data is held in memory once; never more than the stream still has.
            const std::int64_t n = std::min<std::int64_t>(h.sizeImage, stream.Remaining());
            std::vector<std::uint8_t> data(std::size_t(std::max<std::int64_t>(n, 0)));
            data.resize(stream.Read(data.data(), data.size()));
            bmp::DecodeRle(data, h.compression == kRLE4, image, this);
        } else {
            ReadWholeBuffer(stream, image);
        }
        if (h.height < 0) decode::FlipRows(image);
    }

    // Continues at the file header's pixel offset when it lies past the colour table
    // and inside the file; otherwise the pixels follow the table directly.
    void SkipToPixels(TPGStream& stream) const {
        if (pixelStart_ > stream.Position() && pixelStart_ < stream.Size()) stream.Seek(pixelStart_);
    }

    // The file's rows have the buffer's own layout: read them straight in, in ten
    // slices with progress when there is more than a little.
    void ReadWholeBuffer(TPGStream& stream, TPixelGraphic& image) {
        if (image.Empty()) return;
        std::uint8_t* buffer = image.ScanLine(image.Height() - 1);
        const std::size_t total = image.BufferSize();
        if (total <= 100) {
            stream.Read(buffer, total);
            return;
        }
        const std::size_t slice = total / 10;
        std::size_t done = 0;
        for (int step = 1; step <= 10; ++step) {
            const std::size_t n = step == 10 ? total - done : slice;
            const std::size_t got = stream.Read(buffer + done, n);
            done += got;
            if (got < n) return;
            if (image.Progress(this, step, 10)) return;
        }
    }

    std::int64_t pixelStart_ = 0;
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakeBMPReader(const std::string& extension) {
    return std::make_unique<BMPReader>(extension);
}

}  // namespace quipix
