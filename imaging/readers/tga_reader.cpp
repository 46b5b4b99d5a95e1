// Truevision Targa files: 8-bit colour-mapped or grey, 16-, 24- and 32-bit true
// colour, plain or run-length encoded, in any of the four pixel orders. The format
// has no signature, so the registry picks this reader by the extension only.
//
// A run-length packet may run past the end of a row; its remainder continues the
// next row, as the format allows, and never writes past the row.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

[[noreturn]] void RaiseFull(const std::string& message) { throw EPGTGAFileFormatReader(message); }
[[noreturn]] void Raise(const std::string& text) { RaiseFull("TGA: " + text); }

// The file header as it lies at the start of the file.
struct Header {
    std::uint8_t idLength, mapType, imageType;
    decode::LE16 mapFirst, mapLength;
    std::uint8_t mapEntryBits;
    decode::LE16 xOrigin, yOrigin, width, height;
    std::uint8_t depth, descriptor;

    bool RunLength() const { return (imageType & 8) != 0; }
    bool RightToLeft() const { return (descriptor & 0x10) != 0; }
    bool TopDown() const { return (descriptor & 0x20) != 0; }
};
static_assert(sizeof(Header) == 18);

// A short header raises the stream's own read error.
Header ReadHeader(TPGStream& stream) {
    Header h;
    stream.ReadExact(&h, sizeof h);
    return h;
}

// The packet being decoded; it survives the end of a row.
struct Packet {
    int left = 0;
    bool repeat = false;
    std::uint8_t value[4] = {};
};

void DecodeRunLengthRow(decode::ByteSource& source, std::uint8_t* row, int width, int bpp, Packet& packet) {
    int x = 0;
    while (x < width) {
        if (packet.left == 0) {
            const std::uint8_t head = source.Next();
            packet.left = (head & 127) + 1;
            packet.repeat = head >= 128;
            if (packet.repeat) source.Read(packet.value, std::size_t(bpp));
        }
        const int n = std::min(packet.left, width - x);
        std::uint8_t* out = row + std::size_t(x) * bpp;
        if (packet.repeat && bpp == 3) {
            const std::uint8_t b = packet.value[0], g = packet.value[1], r = packet.value[2];
            for (int i = 0; i < n; ++i, out += 3) {
                out[0] = b;
                out[1] = g;
                out[2] = r;
            }
        } else if (packet.repeat && bpp == 1) {
            std::memset(out, packet.value[0], std::size_t(n));
        } else if (packet.repeat) {
            for (int i = 0; i < n; ++i, out += bpp) std::memcpy(out, packet.value, std::size_t(bpp));
        } else {
            source.Read(out, std::size_t(n) * bpp);
        }
        x += n;
        packet.left -= n;
    }
}

// One gathered file row into an image row, mirrored for right-to-left files.
void ConvertRow(const std::uint8_t* in, std::uint8_t* out, int width, int depth, bool mirror) {
    const int bpp = depth / 8;
    const int outBytes = depth == 8 ? 1 : 3;
    for (int x = 0; x < width; ++x, in += bpp) {
        std::uint8_t* p = out + std::size_t(mirror ? width - 1 - x : x) * outBytes;
        switch (depth) {
        case 8:
            p[0] = in[0];
            break;
        case 16: {
            const int lo = in[0], hi = in[1];
            p[2] = std::uint8_t((hi & 0x7C) << 1);
            p[1] = std::uint8_t(((hi & 3) << 6) | ((lo >> 5) << 3));
            p[0] = std::uint8_t(lo << 3);
            break;
        }
        default:  // 24 and 32: blue, green, red (and an alpha byte that is dropped)
            p[0] = in[0];
            p[1] = in[1];
            p[2] = in[2];
            break;
        }
    }
}

class TGAReader : public TFileFormatReader {
public:
    TGAReader() : TFileFormatReader("tga", "Truevision Targa", false) {}

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        const Header h = ReadHeader(stream);
        if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32)
            Raise(GetPGLangStr(msg::NotSupportedSubformat));
        const int bpp = h.depth / 8;
        // A first index past the map's length leaves no entries: read as no map.
        const int entries =
            (h.depth == 8 && h.mapType == 1 && h.mapFirst <= h.mapLength) ? h.mapLength - h.mapFirst : 0;
        stream.Skip(h.idLength);
        const std::int64_t mapStart = stream.Position();
        std::vector<PGColor> map;
        if (entries > 0) {
            stream.Seek(mapStart + std::int64_t(h.mapFirst) * h.mapEntryBits / 8);
            map = ReadColorMap(stream, entries, h.mapEntryBits);
        }
        stream.Seek(mapStart + std::int64_t(h.mapLength) * h.mapEntryBits / 8);

        const TPGPixelFormat format = h.depth == 8 ? pgpf8Bit : pgpf24Bit;
        const std::int64_t pixels = std::int64_t(h.width) * h.height;
        const std::int64_t minEncoded = h.RunLength() ? (pixels + 127) / 128 * (1 + bpp) : pixels * bpp;
        decode::CheckPictureSize(h.width, h.height, format, minEncoded, stream.Remaining(), Raise);
        // Every row is written whole (or not at all) below, so the picture need not
        // be cleared first.
        decode::FreshPicture fresh(image, h.width, h.height, format,
                                   std::size_t(h.width) * (h.depth == 8 ? 1 : 3));
        if (h.depth == 8) {
            if (!map.empty()) {
                const int count = std::min<int>(256, int(map.size()));
                image.SetPaletteCount(count);
                for (int i = 0; i < count; ++i) image.SetPaletteEntries(i, map[std::size_t(i)]);
            } else {
                image.SetPaletteIdent(pGray256);
            }
        }
        if (image.Empty()) return;
        const decode::ProgressScope progress(image, &fresh);
        ReadRows(stream, image, fresh, h);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        const Header h = ReadHeader(stream);
        TImageInfo info;
        const std::string blackAndWhite = "\"Black-and-white\"";
        switch (h.imageType) {
        case 1:
            info.Info1 = "Uncompressed", info.Info2 = "Color-mapped";
            break;
        case 2:
            info.Info1 = "Uncompressed", info.Info2 = "True-color";
            break;
        case 3:
            info.Info1 = "Uncompressed", info.Info2 = blackAndWhite;
            break;
        case 9:
            info.Info1 = "Run-length encoded", info.Info2 = "Color-mapped";
            break;
        case 10:
            info.Info1 = "Run-length encoded", info.Info2 = "True-color";
            break;
        case 11:
            info.Info1 = "Run-length encoded", info.Info2 = blackAndWhite;
            break;
        default:
            Raise(GetPGLangStr(msg::InvalidValueFor, "ImageType"));
        }
        info.Count = 1;
        info.Width = h.width;
        info.Height = h.height;
        info.Bits = h.depth;
        info.ColorText = h.depth <= 23 ? decode::Pow2Text(h.depth) : h.depth == 24 ? "16.7M" : "16.7M ?";
        return info;
    }

private:
    static std::vector<PGColor> ReadColorMap(TPGStream& stream, int count, int entryBits) {
        if (entryBits != 16 && entryBits != 24 && entryBits != 32)
            Raise(GetPGLangStr(msg::NotSupportedSubformat));
        const std::size_t size = std::size_t(entryBits / 8);
        std::vector<std::uint8_t> raw(std::size_t(count) * size);
        stream.ReadExact(raw.data(), raw.size());
        std::vector<PGColor> map(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < map.size(); ++i) {
            const std::uint8_t* e = &raw[i * size];
            if (entryBits == 16) {
                const int w = decode::U16LE(e);
                map[i] = PGRGB(((w >> 10) & 31) * 8, ((w >> 5) & 31) * 8, (w & 31) * 8);
            } else {
                map[i] = PGRGB(e[2], e[1], e[0]);
            }
        }
        return map;
    }

    void ReadRows(TPGStream& stream, TPixelGraphic& image, decode::FreshPicture& fresh, const Header& h) {
        const int width = h.width, height = h.height, bpp = h.depth / 8;
        const std::size_t rowBytes = std::size_t(width) * bpp;
        // 8- and 24-bit pixels have the picture's own layout: left-to-right rows go
        // straight into the picture, run-length ones decoded there.
        const bool direct = (h.depth == 8 || h.depth == 24) && !h.RightToLeft();
        std::vector<std::uint8_t> row(direct ? 0 : rowBytes);
        // Run-length data comes through a buffer of its own; a large one spares a
        // refill every few packets.
        decode::ByteSource source(stream, h.RunLength() ? 64 * 1024 : 1, RaiseFull,
                                  "TGA: " + GetPGLangStr(msg::UnexpectedEndOfFile));
        Packet packet;
        for (int r = 0; r < height; ++r) {
            const int y = h.TopDown() ? r : height - 1 - r;
            std::uint8_t* out = image.ScanLine(y);
            if (direct && h.RunLength()) {
                // A row cut off by the end of the data is dropped whole.
                DecodeRunLengthRow(source, out, width, bpp, packet);
            } else if (direct) {
                // A short row keeps what the file had, the rest black.
                const std::size_t got = decode::ReadPadded(stream, out, rowBytes);
                fresh.Written(y);
                if (got < rowBytes) throw EReadError();
            } else {
                if (h.RunLength())
                    DecodeRunLengthRow(source, row.data(), width, bpp, packet);
                else
                    stream.ReadExact(row.data(), rowBytes);
                ConvertRow(row.data(), out, width, h.depth, h.RightToLeft());
            }
            fresh.Written(y);
            if (image.Progress(this, r, height)) break;
        }
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakeTGAReader() { return std::make_unique<TGAReader>(); }

}  // namespace quipix
