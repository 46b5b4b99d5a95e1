// PC Paintbrush files: 1-bit, 4-plane 16-colour, 8-bit palette and 24-bit 3-plane.
// Every file is run-length decoded line by line; a run never spills into the next
// line, and a file that ends early keeps the rows decoded so far.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

constexpr std::int64_t kPaletteTail = 769;  // marker 12 and 256 triples at the end

[[noreturn]] void RaiseFull(const std::string& message) { throw EPGPCXFileFormatReader(message); }
[[noreturn]] void Raise(const std::string& text) { RaiseFull("PCX: " + text); }

// The file header as it lies at the start of the file.
struct Header {
    std::uint8_t manufacturer, version, encoding, bitsPerPixel;
    decode::LE16 xMin, yMin, xMax, yMax, hDpi, vDpi;
    std::uint8_t colorMap[48];
    std::uint8_t reserved, planes;
    decode::LE16 bytesPerLine, paletteInfo;
    std::uint8_t filler[58];
};
static_assert(sizeof(Header) == 128);

Header ReadHeader(TPGStream& stream) {
    Header h;
    if (stream.Read(&h, sizeof h) != sizeof h) Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
    if (h.paletteInfo != 1 || h.reserved != 0) Raise(GetPGLangStr(msg::UnknownSubformat));
    return h;
}

TPGPixelFormat FormatOf(const Header& h) {
    if (h.bitsPerPixel == 1 && h.planes == 1) return pgpf1Bit;
    if (h.bitsPerPixel == 1 && h.planes == 4) return pgpf4Bit;
    if (h.bitsPerPixel == 8 && h.planes == 1) return pgpf8Bit;
    if (h.bitsPerPixel == 8 && h.planes == 3) return pgpf24Bit;
    Raise(GetPGLangStr(msg::UnknownSubformat));
}

class PCXReader : public TFileFormatReader {
public:
    PCXReader() : TFileFormatReader("pcx", "Paintbrush", true) {}

    bool IsSignature(std::span<const std::uint8_t> h) const override { return !h.empty() && h[0] == 0x0A; }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        image.Gamma = PGDisplayGamma;
        const Header h = ReadHeader(stream);
        image.SetHeight(0);
        const TPGPixelFormat format = FormatOf(h);
        image.SetPixelFormat(format);
        ReadPalette(stream, image, h, format);

        const int width = h.xMax - h.xMin + 1;
        const int height = h.yMax - h.yMin + 1;
        const int lineLen = h.planes * h.bytesPerLine;
        if (width > 0 && height > 0) {
            // A line shorter than the picture's row would leave pixels without data.
            const int needed = h.bitsPerPixel == 1 ? (width + 7) / 8 : width;
            if (h.bytesPerLine < needed) Raise(GetPGLangStr(msg::InvalidValueFor, "BytesPerLine"));
            // Two bytes encode at most 63 line bytes.
            const std::int64_t minEncoded = std::int64_t(lineLen) * height * 2 / 63;
            decode::CheckPictureSize(width, height, format, minEncoded, stream.Remaining(), Raise);
        }
        image.SetWidth(width);
        image.SetHeight(height);
        if (image.Empty()) return;

        std::vector<std::uint8_t> line(static_cast<std::size_t>(lineLen));
        decode::ByteSource source(stream, 1024, RaiseFull, "PCX: " + GetPGLangStr(msg::UnexpectedEndOfFile));
        decode::ProgressScope progress(image);
        for (int y = 0; y < height; ++y) {
            DecodeLine(source, line);
            ConvertLine(line.data(), h, image.ScanLine(y), width);
            if (image.Progress(this, y, height)) break;
        }
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        const Header h = ReadHeader(stream);
        TImageInfo info;
        info.Count = 1;
        info.Bits = h.planes * h.bitsPerPixel;
        info.Width = h.xMax - h.xMin + 1;
        info.Height = h.yMax - h.yMin + 1;
        info.ColorText = info.Bits == 24 ? "16.7M" : decode::Pow2Text(info.Bits);
        switch (h.version) {
        case 0:
            info.Info1 = "Version 2.5 (0)";
            break;
        case 2:
            info.Info1 = "Version 2.8 (2) with Palette";
            break;
        case 3:
            info.Info1 = "Version 2.8 (3) without Palette";
            break;
        case 5:
            info.Info1 = "Version 3.0 (5)";
            break;
        default:
            break;
        }
        return info;
    }

private:
    static void ReadPalette(TPGStream& stream, TPixelGraphic& image, const Header& h, TPGPixelFormat format) {
        switch (format) {
        case pgpf1Bit:
            image.SetPaletteIdent(pBlackWhite);
            break;
        case pgpf4Bit:
            if (h.version == 3) {
                image.SetPaletteIdent(pSys16);
            } else {
                image.SetPaletteCount(16);
                for (int i = 0; i < 16; ++i) {
                    const std::uint8_t* e = h.colorMap + i * 3;
                    image.SetPaletteEntries(i, PGRGB(e[0], e[1], e[2]));
                }
            }
            break;
        case pgpf8Bit: {
            const std::int64_t back = stream.Position();
            stream.Seek(stream.Size() - kPaletteTail);
            std::uint8_t marker = 0;
            if (stream.Read(&marker, 1) != 1 || marker != 12) {
                stream.Seek(back);
                Raise(GetPGLangStr(msg::UnknownSubformat));
            }
            std::uint8_t table[768];
            const bool complete = stream.Read(table, sizeof table) == sizeof table;
            stream.Seek(back);
            if (!complete) Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
            image.SetPaletteCount(256);
            for (int i = 0; i < 256; ++i)
                image.SetPaletteEntries(i, PGRGB(table[i * 3], table[i * 3 + 1], table[i * 3 + 2]));
            break;
        }
        case pgpf24Bit:
            image.SetPaletteIdent(pTrueColor);
            break;
        }
    }

    // Fills one line of all planes; the part of a run beyond the line is dropped.
    static void DecodeLine(decode::ByteSource& source, std::vector<std::uint8_t>& line) {
        const std::size_t size = line.size();
        std::size_t i = 0;
        while (i < size) {
            const std::uint8_t code = source.Next();
            if (code < 192) {  // a literal byte, the common case in photographs
                line[i++] = code;
                continue;
            }
            const std::size_t count = std::min<std::size_t>(code & 0x3F, size - i);
            std::memset(line.data() + i, source.Next(), count);
            i += count;
        }
    }

    static void ConvertLine(const std::uint8_t* line, const Header& h, std::uint8_t* out, int width) {
        const std::size_t bpl = std::size_t(h.bytesPerLine);
        if (h.bitsPerPixel == 1 && h.planes == 1) {
            const int bytes = (width + 7) / 8;
            std::memcpy(out, line, std::size_t(bytes));
            if (width % 8) out[bytes - 1] &= std::uint8_t(0xFF << (8 - width % 8));
        } else if (h.bitsPerPixel == 1) {
            // Plane p holds bit p of every pixel's colour index.
            for (int x = 0; x < width; ++x) {
                const std::size_t byte = std::size_t(x) >> 3;
                const int shift = 7 - (x & 7);
                const int v = ((line[byte] >> shift) & 1) | (((line[bpl + byte] >> shift) & 1) << 1) |
                              (((line[2 * bpl + byte] >> shift) & 1) << 2) |
                              (((line[3 * bpl + byte] >> shift) & 1) << 3);
                if (x & 1)
                    out[x >> 1] = std::uint8_t(out[x >> 1] | v);
                else
                    out[x >> 1] = std::uint8_t(v << 4);
            }
        } else if (h.planes == 1) {
            std::memcpy(out, line, std::size_t(width));
        } else {
            const std::uint8_t* r = line;
            const std::uint8_t* g = line + bpl;
            const std::uint8_t* b = line + 2 * bpl;
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = b[x];
                out[1] = g[x];
                out[2] = r[x];
            }
        }
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakePCXReader() { return std::make_unique<PCXReader>(); }

}  // namespace quipix
