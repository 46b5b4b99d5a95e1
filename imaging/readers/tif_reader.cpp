// TIFF files (tif, tiff): the first image of the file, in strips, uncompressed,
// PackBits, LZW or Deflate, as 1-, 4-, 8- or 16-bit grey, 1-, 4- or 8-bit palette,
// RGB, RGBA or CMYK of 8 or 16 bits a sample, turned upright by its Orientation tag.
// Only the first directory is read, so a directory chain that loops cannot hang.
//
// Offsets are relative to where the TIFF data starts in the stream. Multi-valued
// tags are read from the directory entry itself when they fit in its four bytes.
// The LZW and Deflate decoders live in tif_decode.cpp.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/messages.h"
#include "imaging/orientation.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"
#include "imaging/readers/tif_internal.h"

namespace quipix {
namespace {

using tif::Raise;
using tif::RaiseFull;

enum Tag : std::uint16_t {
    kNewSubfileType = 254,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kPlanarConfiguration = 284,
    kPredictor = 317,
    kColorMap = 320,
    kICCProfile = 34675,
};

enum FieldType : std::uint16_t { kByte = 1, kShort = 3, kLong = 4 };
enum Photometric : std::uint32_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRGB = 2, kPalette = 3, kCMYK = 5 };
enum Compression : std::uint32_t {
    kNone = 1,
    kLZW = 5,
    kDeflate = 8,
    kPackBits = 32773,
    kOldDeflate = 32946
};

const std::string kStripCountText = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

// The file header and a directory entry as they lie in the file; their numbers are
// in the byte order the header's first two bytes name.
struct FileHeader {
    std::uint8_t byteOrder[2];  // "II" little-endian, "MM" big-endian
    std::uint8_t magic[2];      // 42
    std::uint8_t firstDirectory[4];
};
static_assert(sizeof(FileHeader) == 8);

struct Entry {
    std::uint8_t tag[2], type[2], count[4];
    std::uint8_t value[4];  // the value itself when it fits, else its offset
};
static_assert(sizeof(Entry) == 12);

// The first image file directory and the tag values the reader uses.
class Directory {
public:
    Directory(TPGStream& stream, int index) : stream_(stream), start_(stream.Position()) {
        FileHeader h;
        stream.ReadExact(&h, sizeof h);
        if (h.byteOrder[0] == 'M' && h.byteOrder[1] == 'M')
            bigEndian_ = true;
        else if (!(h.byteOrder[0] == 'I' && h.byteOrder[1] == 'I'))
            Raise(GetPGLangStr(msg::NotAFile, "TIF"));
        if (U16(h.magic) != 42) Raise(GetPGLangStr(msg::NotAFile, "TIF"));
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        stream.Seek(start_ + U32(h.firstDirectory));
        std::uint8_t c[2];
        stream.ReadExact(c, sizeof c);
        const std::size_t bytes = U16(c) * sizeof(Entry);
        if (std::int64_t(bytes) > stream.Remaining()) throw EReadError();
        std::vector<Entry> raw(bytes / sizeof(Entry));
        stream.ReadExact(raw.data(), bytes);
        for (const Entry& e : raw) entries_[U16(e.tag)] = e;  // a repeated tag: the later entry wins

        if (Single(kPlanarConfiguration) > 1) Raise(GetPGLangStr(msg::Invalid, "PlanarConfiguration"));
        Single(kNewSubfileType);
        width = Single(kImageWidth);
        height = Single(kImageLength);
        compression = Single(kCompression);
        photometric = Single(kPhotometric);
        // Absent, the format says one sample of one bit.
        samples = Has(kSamplesPerPixel) ? Single(kSamplesPerPixel) : 1;
        if (samples != 1 && samples != 3 && samples != 4) Raise("Invalid SamplesPerPixel");
        bits = Has(kBitsPerSample) ? List(kBitsPerSample) : std::vector<std::uint32_t>(samples, 1);
        if (bits.size() != samples) Raise("Invalid count of SamplesPerPixel");
        if (!LayoutAccepted()) Raise("Invalid SamplesPerPixel");
        stripOffsets = List(kStripOffsets);
        rowsPerStrip = Single(kRowsPerStrip);
        if (rowsPerStrip == 0) {
            if (stripOffsets.size() > 1) Raise("Invalid RowsPerStrip");
            rowsPerStrip = height;
        }
        stripByteCounts = List(kStripByteCounts);
        colorMap = List(kColorMap);
        fillOrder = Single(kFillOrder);
        predictor = Single(kPredictor);
        orientation = int(Single(kOrientation));
        profile = Blob(kICCProfile);
    }

    std::int64_t Start() const { return start_; }
    bool BigEndian() const { return bigEndian_; }

    std::uint32_t width = 0, height = 0, compression = 0, photometric = 0, samples = 0;
    std::uint32_t rowsPerStrip = 0, fillOrder = 0, predictor = 0;
    int orientation = 0;
    std::vector<std::uint32_t> bits, stripOffsets, stripByteCounts, colorMap;
    std::vector<std::uint8_t> profile;  // the ICC profile, empty when none

private:
    std::uint16_t U16(const std::uint8_t* p) const {
        return bigEndian_ ? decode::U16BE(p) : decode::U16LE(p);
    }
    std::uint32_t U32(const std::uint8_t* p) const {
        return bigEndian_ ? decode::U32BE(p) : decode::U32LE(p);
    }

    static int ElementSize(std::uint16_t type) {
        switch (type) {
        case kByte:
            return 1;
        case kShort:
            return 2;
        case kLong:
            return 4;
        default:
            Raise("Unsupported field Type: " + std::to_string(type));
        }
    }

    std::uint32_t Element(std::uint16_t type, const std::uint8_t* p) const {
        return type == kByte ? p[0] : type == kShort ? U16(p) : U32(p);
    }

    bool Has(std::uint16_t tag) const { return entries_.count(tag) != 0; }

    std::uint32_t Single(std::uint16_t tag) const {
        const auto it = entries_.find(tag);
        if (it == entries_.end()) return 0;
        const std::uint16_t type = U16(it->second.type);
        ElementSize(type);
        return Element(type, it->second.value);
    }

    std::vector<std::uint32_t> List(std::uint16_t tag) {
        const auto it = entries_.find(tag);
        if (it == entries_.end()) return {};
        const Entry& e = it->second;
        const std::uint16_t type = U16(e.type);
        const std::uint32_t count = U32(e.count);
        const int size = ElementSize(type);
        const std::int64_t total = std::int64_t(count) * size;
        std::vector<std::uint8_t> raw;
        const std::uint8_t* p = e.value;
        if (total > 4) {
            // Checked before allocating: the list must lie inside the stream.
            stream_.Seek(start_ + U32(e.value));
            if (total > stream_.Remaining()) throw EReadError();
            raw.resize(std::size_t(total));
            stream_.ReadExact(raw.data(), raw.size());
            p = raw.data();
        }
        std::vector<std::uint32_t> out(count);
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = Element(type, p + i * std::size_t(size));
        return out;
    }

    // A tag's bytes as they are; none where they would lie past the end of the file.
    std::vector<std::uint8_t> Blob(std::uint16_t tag) {
        const auto it = entries_.find(tag);
        if (it == entries_.end()) return {};
        const std::uint32_t count = U32(it->second.count);
        if (count <= 4) return {it->second.value, it->second.value + count};
        stream_.Seek(start_ + U32(it->second.value));
        if (count > stream_.Remaining()) return {};
        std::vector<std::uint8_t> bytes(count);
        stream_.ReadExact(bytes.data(), bytes.size());
        return bytes;
    }

    bool LayoutAccepted() const {
        // Colour samples are all 8 or all 16 bits; 16-bit ones keep their high byte.
        const bool even =
            (bits[0] == 8 || bits[0] == 16) &&
            std::all_of(bits.begin(), bits.end(), [&](std::uint32_t b) { return b == bits[0]; });
        switch (photometric) {
        case kWhiteIsZero:
        case kBlackIsZero:
            return samples == 1 && (bits[0] == 1 || bits[0] == 4 || bits[0] == 8 || bits[0] == 16);
        case kPalette:
            return samples == 1 && (bits[0] == 1 || bits[0] == 4 || bits[0] == 8);
        case kRGB:
            return (samples == 3 || samples == 4) && even;
        case kCMYK:
            return samples == 4 && even;
        default:
            return false;
        }
    }

    TPGStream& stream_;
    std::int64_t start_;
    bool bigEndian_ = false;
    std::map<std::uint16_t, Entry> entries_;
};

void CheckCompression(std::uint32_t compression) {
    switch (compression) {
    case kNone:
    case kPackBits:
    case kLZW:
    case kDeflate:
    case kOldDeflate:
        return;
    case 2:
        Raise("Unsupported compression CCITT 1D");
    case 3:
        Raise("Unsupported compression Group 3 Fax");
    case 4:
        Raise("Unsupported compression Group 4 Fax");
    case 6:
        Raise("Unsupported compression JPEG");
    default:
        Raise("Unsupported compression " + std::to_string(compression));
    }
}

// PackBits codes until the row is full; a run that would overflow it is an error.
// With FillOrder 2 every byte of the strip, codes included, has its bits reversed.
// Kept out of the row loop: inlined there, its loop loses registers and speed.
[[gnu::noinline]] void DecodePackBitsRow(decode::ByteSource& source, std::uint8_t* row, std::size_t size,
                                         int r, bool reverse) {
    // Runs are taken from the window while it holds a code and the longest run (128
    // bytes) after it, so one check per run suffices; it is gathered anew when not.
    constexpr std::size_t kLongest = 129;
    std::size_t filled = 0;
    while (filled < size) {
        const std::span<const std::uint8_t> window = source.Window(kLongest);
        if (window.empty()) source.RaiseEnd();
        const std::uint8_t* in = window.data();
        const std::uint8_t* const end = in + window.size();
        do {
            const int n = std::int8_t(reverse ? tif::ReversedBits(*in) : *in);
            if (n == -128) {
                ++in;
                continue;
            }
            const std::size_t count = n >= 0 ? std::size_t(n) + 1 : std::size_t(1 - n);
            if (count > size - filled)
                RaiseFull("TIFF (PackBits): " + GetPGLangStr(msg::InvalidRowByteCount, std::to_string(r)));
            const std::size_t used = n >= 0 ? count + 1 : 2;
            if (std::size_t(end - in) < used) source.RaiseEnd();
            // With room in the row and the window, blocks of 16 or 128 bytes: a copy
            // of fixed size is a few vector moves, one of any size a slow string
            // move. The bytes past the run are written again by the runs that follow.
            std::uint8_t* const out = row + filled;
            if (size - filled < 128 || std::size_t(end - in) < kLongest) {
                if (n >= 0)
                    std::memcpy(out, in + 1, count);
                else
                    std::memset(out, in[1], count);
            } else if (n >= 0 && count <= 16) {
                std::memcpy(out, in + 1, 16);
            } else if (n >= 0) {
                std::memcpy(out, in + 1, 128);
            } else if (count <= 16) {
                std::memset(out, in[1], 16);
            } else {
                std::memset(out, in[1], 128);
            }
            in += used;
            filled += count;
        } while (filled < size && std::size_t(end - in) >= kLongest);
        source.Take(std::size_t(in - window.data()));
    }
    if (reverse) tif::ReverseBits(row, size);
}

// in holds samples of at most 8 bits (16-bit ones are narrowed before); for three
// samples it may be out itself.
void ConvertRow(const Directory& d, const std::uint8_t* in, std::uint8_t* out, int width) {
    const bool whiteIsZero = d.photometric == kWhiteIsZero;
    const std::uint32_t sampleBits = std::min<std::uint32_t>(d.bits[0], 8);
    switch (sampleBits * d.samples) {
    case 1:
    case 4: {
        const std::size_t bytes = (std::size_t(width) * sampleBits + 7) / 8;
        for (std::size_t i = 0; i < bytes; ++i) out[i] = whiteIsZero ? std::uint8_t(~in[i]) : in[i];
        break;
    }
    case 8:
        for (int x = 0; x < width; ++x) out[x] = whiteIsZero ? std::uint8_t(255 - in[x]) : in[x];
        break;
    case 24:
        decode::SwapRedBlue(in, out, std::size_t(width));
        break;
    default:  // 32
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            if (d.photometric == kCMYK) {
                const int k = in[3];
                out[0] = std::uint8_t(std::max(255 - in[2] - k, 0));
                out[1] = std::uint8_t(std::max(255 - in[1] - k, 0));
                out[2] = std::uint8_t(std::max(255 - in[0] - k, 0));
            } else {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
        break;
    }
}

class TIFReader : public TFileFormatReader {
public:
    explicit TIFReader(const std::string& extension)
        : TFileFormatReader(extension, "Tagged Image File Format", true) {}

    bool IsSignature(std::span<const std::uint8_t> h) const override {
        if (h.size() < 4) return false;
        return (h[0] == 0x49 && h[1] == 0x49 && h[2] == 0x2A && h[3] == 0x00) ||
               (h[0] == 0x4D && h[1] == 0x4D && h[2] == 0x00 && h[3] == 0x2A);
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        Directory d(stream, index);
        CheckCompression(d.compression);
        CheckStripCount(d, image.ReadWarningAction);
        const bool lzw = d.compression == kLZW;
        const bool deflate = d.compression == kDeflate || d.compression == kOldDeflate;
        // The predictor belongs to the codecs that define it, and only to whole bytes.
        const bool predictor = (lzw || deflate) && d.predictor == 2;
        if ((lzw || deflate) && d.predictor > 2) Raise(GetPGLangStr(msg::InvalidValueFor, "Predictor"));
        if (predictor && d.bits[0] < 8) Raise(GetPGLangStr(msg::InvalidValueFor, "Predictor"));

        const bool wide = d.bits[0] == 16;
        const TPGPixelFormat format =
            d.samples == 1 ? PixelFormatFromBitCount(wide ? 8 : int(d.bits[0])) : pgpf24Bit;
        const std::int64_t rowBytes = (std::int64_t(d.bits[0]) * d.samples * d.width + 7) / 8;
        const std::int64_t raw = decode::SaturatingMul(rowBytes, d.height);
        // The most a byte of each encoding can expand to, near enough.
        const std::int64_t minEncoded = d.compression == kPackBits ? raw / 64
                                        : (lzw || deflate)         ? raw / 2048
                                                                   : raw;
        decode::CheckPictureSize(d.width, d.height, format, minEncoded, stream.Size() - d.Start(), Raise);
        if (rowBytes > decode::kMaxBufferBytes) Raise(GetPGLangStr(msg::OutOfRange, "Image size"));
        // Colour rows are converted whole, so their picture need not be cleared first.
        std::optional<decode::FreshPicture> fresh;
        if (format == pgpf24Bit)
            fresh.emplace(image, int(d.width), int(d.height), format, std::size_t(d.width) * 3);
        else
            image.SetSize(int(d.width), int(d.height), format);
        SetPalette(d, image, format);
        if (image.Empty()) return;

        {
            decode::FreshPicture* rows = fresh ? &*fresh : nullptr;
            const decode::ProgressScope progress(image, rows);
            ReadRows(stream, d, image, std::size_t(rowBytes), predictor, rows);
        }
        ApplyOrientation(image, d.orientation);
        image.ColorProfile = std::move(d.profile);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        Directory d(stream, index);
        TImageInfo info;
        info.Count = 1;
        info.Width = int(d.width);
        info.Height = int(d.height);
        std::uint64_t bits = 0;
        for (std::uint32_t b : d.bits) bits += b;
        info.Bits = int(std::min<std::uint64_t>(bits, 1u << 30));
        info.ColorText = bits > 23 ? "16.7 M" : decode::Pow2Text(int(bits));
        info.Info1 = d.BigEndian() ? "M, " : "I, ";
        switch (d.compression) {
        case 1:
            info.Info1 += "Uncompr.";
            break;
        case 2:
            info.Info1 += "CCITT 1D";
            break;
        case 3:
            info.Info1 += "Group 3 F.";
            break;
        case 4:
            info.Info1 += "Group 4 F.";
            break;
        case 5:
            info.Info1 += "LZW";
            break;
        case 6:
            info.Info1 += "JPEG";
            break;
        case kDeflate:
        case kOldDeflate:
            info.Info1 += "Deflate";
            break;
        case kPackBits:
            info.Info1 += "PackBits";
            break;
        default:
            break;
        }
        switch (d.photometric) {
        case kWhiteIsZero:
            info.Info1 += ", WhiteIsZero";
            break;
        case kBlackIsZero:
            info.Info1 += ", BlackIsZero";
            break;
        case kRGB:
            info.Info1 += ", RGB";
            break;
        case kPalette:
            info.Info1 += ", RGB Palette";
            break;
        case kCMYK:
            info.Info1 += ", CMYK";
            break;
        default:
            Raise("Unsupported photometric interpretation " + std::to_string(d.photometric));
        }
        if (d.compression >= 2 && d.compression <= 6 && d.compression != kLZW)
            info.Info2 = "(Unsupported compression)";
        info.Orientation = ValidOrientation(d.orientation) ? d.orientation : 1;
        return info;
    }

private:
    void ReadRows(TPGStream& stream, const Directory& d, TPixelGraphic& image, std::size_t rowBytes,
                  bool predictor, decode::FreshPicture* fresh) {
        const bool reverse = d.fillOrder == 2;
        const bool wide = d.bits[0] == 16;
        std::unique_ptr<tif::RowDecoder> decoder;
        if (d.compression == kLZW) decoder = tif::MakeLzwDecoder(stream, reverse);
        if (d.compression == kDeflate || d.compression == kOldDeflate)
            decoder = tif::MakeDeflateDecoder(stream, reverse);
        // RGB rows are decoded straight into the picture and turned around there; a
        // row left unfinished is cleared with the others not marked written.
        const bool inPicture = fresh && d.samples == 3 && !wide;
        std::vector<std::uint8_t> buffer(inPicture ? 0 : rowBytes);
        decode::ByteSource window(stream, 64 * 1024, RaiseFull,
                                  "TIFF: " + GetPGLangStr(msg::UnexpectedEndOfFile));
        const bool counted = d.stripByteCounts.size() == d.stripOffsets.size();
        const int height = int(d.height);
        std::int64_t position = 0;
        for (int r = 0; r < height; ++r) {
            if (std::uint32_t(r) % d.rowsPerStrip == 0) {
                const std::size_t strip = std::uint32_t(r) / d.rowsPerStrip;
                if (strip >= d.stripOffsets.size()) RaiseFull(kStripCountText);
                position = d.Start() + d.stripOffsets[strip];
                if (position >= stream.Size()) Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
                const std::size_t rows = std::min<std::size_t>(d.rowsPerStrip, std::size_t(height - r));
                if (decoder)
                    decoder->StartStrip(position, counted ? d.stripByteCounts[strip] : -1, rows * rowBytes);
                else
                    window.SeekTo(position);
            }
            std::uint8_t* const row = inPicture ? image.ScanLine(r) : buffer.data();
            if (decoder) {
                decoder->Row(row, rowBytes);
            } else if (d.compression == kPackBits) {
                DecodePackBitsRow(window, row, rowBytes, r, reverse);
            } else {
                stream.Seek(position);
                stream.ReadExact(row, rowBytes);
                position += std::int64_t(rowBytes);
                if (reverse) tif::ReverseBits(row, rowBytes);
            }
            if (predictor)
                tif::UndoHorizontalPredictor(row, rowBytes, int(d.samples), int(d.bits[0]), d.BigEndian());
            if (wide) tif::NarrowTo8Bits(row, rowBytes / 2, d.BigEndian());
            ConvertRow(d, row, image.ScanLine(r), int(d.width));
            if (fresh) fresh->Written(r);
            if (image.Progress(this, r, height)) break;
        }
    }

    // The strips must cover the height. A single strip that does not is a warning
    // handled by the picture's warning action; reading then goes on with one strip.
    static void CheckStripCount(Directory& d, TPGWarningAction action) {
        const std::uint64_t rps = d.rowsPerStrip == 0 ? 1 : d.rowsPerStrip;
        const std::uint64_t expected = (std::uint64_t(d.height) + rps - 1) / rps;
        if (expected == d.stripOffsets.size()) return;
        if (d.stripOffsets.size() != 1) RaiseFull(kStripCountText);
        const auto raise = [](const std::string&) { RaiseFull(kStripCountText); };
        // The box shows the whole message; every way of failing raises that message.
        HandleReadWarning(action, "TIFF-Warning", "", kStripCountText, raise);
        if (action == pgwaOKBox) RaiseFull(kStripCountText);
        d.rowsPerStrip = d.height;
    }

    static void SetPalette(const Directory& d, TPixelGraphic& image, TPGPixelFormat format) {
        // A 1-bit palette picture without a colour map is shown black and white.
        if (format == pgpf1Bit && !(d.photometric == kPalette && d.colorMap.size() >= 6)) {
            image.SetPaletteIdent(pBlackWhite);
            return;
        }
        if (format == pgpf24Bit) return;
        const bool four = format == pgpf4Bit;
        switch (d.photometric) {
        case kWhiteIsZero:
        case kBlackIsZero:
            image.SetPaletteIdent(four ? pGray16 : pGray256);
            break;
        case kPalette: {
            // All reds, then all greens, then all blues, 16 bits each.
            const std::size_t n = d.colorMap.size() / 3;
            const int count = int(std::min<std::size_t>(n, std::size_t(PaletteCapacity(format))));
            image.SetPaletteCount(count);
            for (int i = 0; i < count; ++i) {
                const std::size_t k = std::size_t(i);
                image.SetPaletteEntries(
                    i, PGRGB(int(d.colorMap[k] >> 8) & 0xFF, int(d.colorMap[n + k] >> 8) & 0xFF,
                             int(d.colorMap[2 * n + k] >> 8) & 0xFF));
            }
            break;
        }
        default:
            Raise(four ? "Unsupported 4 Bits/Pixel" : "Unsupported 8 Bits/Pixel");
        }
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakeTIFReader(const std::string& extension) {
    return std::make_unique<TIFReader>(extension);
}

}  // namespace quipix
