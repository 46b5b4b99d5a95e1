// Portable bitmap, greymap and pixmap files (P1 to P6), text and binary. One reader
// class registered three times (pbm, pgm, ppm), each with its own two magic numbers;
// every registration reads all six kinds.
//
// A number is a run of decimal digits; anything else separates numbers, and "#"
// starts a comment that runs to the end of its line. Binary samples are one byte.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

const std::string kPrefix = "PBM, PGM, PPM: ";

[[noreturn]] void RaiseFull(const std::string& message) { throw EPGPxMFileFormatReader(message); }
[[noreturn]] void Raise(const std::string& text) { RaiseFull(kPrefix + text); }

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Numbers and characters of the header and the text rasters.
class TextScanner {
public:
    explicit TextScanner(decode::ByteSource& source) : source_(source) {}

    // The next number; needing a byte at the end of the data raises. The character
    // after the digits is consumed; the end of the data also ends a number.
    std::uint32_t Number() {
        int c = source_.Next();
        while (!IsDigit(c)) {
            if (c == '#') SkipComment(true);
            c = source_.Next();
        }
        std::uint32_t value = 0;
        for (;;) {
            // Saturates: no width, height or sample of a real file comes near.
            value = std::min<std::uint32_t>(value * 10 + std::uint32_t(c - '0'), 0x7FFFFFF);
            const int next = source_.Peek();
            if (next < 0) return value;
            source_.Next();
            if (!IsDigit(next)) {
                if (next == '#') SkipComment(false);
                return value;
            }
            c = next;
        }
    }

    // The next single digit: a bitmap's samples are one digit each and need no
    // separator ("0101" is four pixels).
    int Digit() {
        int c = source_.Next();
        while (!IsDigit(c)) {
            if (c == '#') SkipComment(true);
            c = source_.Next();
        }
        return c - '0';
    }

private:
    // Runs to the end of the line; the end of the data ends it too unless required.
    void SkipComment(bool endRaises) {
        for (;;) {
            if (!endRaises && source_.Peek() < 0) return;
            const std::uint8_t c = source_.Next();
            if (c == '\n' || c == '\r') return;
        }
    }

    decode::ByteSource& source_;
};

struct Kind {
    bool binary;
    int samples;  // per pixel: 1 or 3 (bitmaps count as 1)
    TPGPixelFormat format;
    TPaletteIdent ident;
};

Kind KindOf(int digit) {
    switch (digit) {
    case 1:
        return {false, 1, pgpf1Bit, pBlackWhite};
    case 2:
        return {false, 1, pgpf8Bit, pGray256};
    case 3:
        return {false, 3, pgpf24Bit, pTrueColor};
    case 4:
        return {true, 1, pgpf1Bit, pBlackWhite};
    case 5:
        return {true, 1, pgpf8Bit, pGray256};
    default:
        return {true, 3, pgpf24Bit, pTrueColor};
    }
}

// Reads "P" and the kind digit.
int ReadMagic(decode::ByteSource& source) {
    if (source.Next() != 'P') Raise(GetPGLangStr(msg::NotAFile, "PBM, PGM, PPM"));
    const int digit = source.Next() - '0';
    if (digit < 1 || digit > 6) Raise(GetPGLangStr(msg::UnknownSubformat));
    return digit;
}

std::uint8_t Scale(std::uint32_t v, std::uint32_t maxval) {
    return std::uint8_t(std::min<std::uint64_t>(std::uint64_t(v) * 255 / maxval, 255));
}

class PxMReader : public TFileFormatReader {
public:
    PxMReader(const std::string& extension, const std::string& description, char text, char binary)
        : TFileFormatReader(extension, description, true), text_(text), binary_(binary) {}

    bool IsSignature(std::span<const std::uint8_t> h) const override {
        return h.size() >= 2 && h[0] == 'P' && (h[1] == text_ || h[1] == binary_);
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) RaiseFull("PxM: " + GetPGLangStr(msg::Invalid, "Index"));
        image.Gamma = PGDisplayGamma;
        decode::ByteSource source(stream, 1024, RaiseFull, kPrefix + GetPGLangStr(msg::UnexpectedEndOfFile));
        const int digit = ReadMagic(source);
        const Kind kind = KindOf(digit);
        image.SetSize(0, 0, kind.format);
        image.SetPaletteIdent(kind.ident);

        TextScanner scanner(source);
        const std::uint32_t width = scanner.Number();
        const std::uint32_t height = scanner.Number();
        const bool bitmap = kind.format == pgpf1Bit;
        const std::uint32_t maxval = bitmap ? 1 : scanner.Number();
        if (width < 1 || height < 1 || maxval == 0 || (kind.binary && maxval >= 256))
            Raise(GetPGLangStr(msg::NotSupportedSubformat));

        const std::int64_t samples = std::int64_t(width) * height * kind.samples;
        const std::int64_t rowBytes =
            bitmap ? (std::int64_t(width) + 7) / 8 : std::int64_t(width) * kind.samples;
        // Text samples need a digit and a separator each, bitmap samples only a digit.
        const std::int64_t minEncoded = kind.binary ? rowBytes * height : bitmap ? samples : samples * 2 - 1;
        decode::CheckPictureSize(width, height, kind.format, minEncoded, source.Remaining(), Raise);
        if (!kind.binary) {
            image.SetSize(int(width), int(height), kind.format);
            decode::ProgressScope progress(image);
            for (int y = 0; y < int(height); ++y) {
                ReadTextRow(scanner, digit, int(width), maxval, image.ScanLine(y));
                if (image.Progress(this, y, int(height))) break;
            }
            return;
        }
        // A binary row is read whole before it is stored, so the picture need not be
        // cleared first.
        decode::FreshPicture fresh(image, int(width), int(height), kind.format, std::size_t(rowBytes));
        std::array<std::uint8_t, 256> lut{};
        for (std::uint32_t v = 0; v < 256; ++v) lut[v] = Scale(v, maxval);
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(rowBytes));
        const decode::ProgressScope progress(image, &fresh);
        for (int y = 0; y < int(height); ++y) {
            ReadBinaryRow(source, digit, int(width), lut, maxval == 255, raw, image.ScanLine(y));
            fresh.Written(y);
            if (image.Progress(this, y, int(height))) break;
        }
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        decode::ByteSource source(stream, 1024, RaiseFull, kPrefix + GetPGLangStr(msg::UnexpectedEndOfFile));
        const int digit = ReadMagic(source);
        const Kind kind = KindOf(digit);
        TextScanner scanner(source);
        TImageInfo info;
        info.Count = 1;
        info.Info1 = kind.binary ? "Binary" : "ASCII";
        info.Bits = PixelFormatBits(kind.format);
        info.Width = int(scanner.Number());
        info.Height = int(scanner.Number());
        info.ColorText = info.Bits == 24 ? "16.7M" : decode::Pow2Text(info.Bits);
        return info;
    }

private:
    static void ReadTextRow(TextScanner& scanner, int digit, int width, std::uint32_t maxval,
                            std::uint8_t* out) {
        if (digit == 1) {
            // 1 is black, stored as index 0; white is index 1, a set bit.
            std::fill(out, out + (width + 7) / 8, std::uint8_t(0));
            for (int x = 0; x < width; ++x)
                if (scanner.Digit() == 0) out[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        } else if (digit == 2) {
            for (int x = 0; x < width; ++x) out[x] = Scale(scanner.Number(), maxval);
        } else {
            for (int x = 0; x < width; ++x, out += 3) {
                out[2] = Scale(scanner.Number(), maxval);
                out[1] = Scale(scanner.Number(), maxval);
                out[0] = Scale(scanner.Number(), maxval);
            }
        }
    }

    static void ReadBinaryRow(decode::ByteSource& source, int digit, int width,
                              const std::array<std::uint8_t, 256>& lut, bool full,
                              std::vector<std::uint8_t>& raw, std::uint8_t* out) {
        // Full-range samples of one byte go straight into the row: a row the file
        // cuts short is not marked written, so it is cleared all the same.
        if (full && digit == 5) {
            source.Read(out, raw.size());
            return;
        }
        source.Read(raw.data(), raw.size());
        const std::uint8_t* in = raw.data();
        if (digit == 4) {
            for (std::size_t i = 0; i < raw.size(); ++i) out[i] = std::uint8_t(~in[i]);
        } else if (digit == 5) {
            for (int x = 0; x < width; ++x) out[x] = lut[in[x]];
        } else if (full) {
            // Almost every pixmap has maxval 255: a plain swap of red and blue.
            decode::SwapRedBlue(in, out, std::size_t(width));
        } else {
            for (int x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = lut[in[2]];
                out[1] = lut[in[1]];
                out[2] = lut[in[0]];
            }
        }
    }

    char text_, binary_;
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakePxMReader(const std::string& extension) {
    if (extension == "pgm") return std::make_unique<PxMReader>(extension, "Portable Graymap", '2', '5');
    if (extension == "ppm") return std::make_unique<PxMReader>(extension, "Portable Pixelmap", '3', '6');
    return std::make_unique<PxMReader>(extension, "Portable Bitmap", '1', '4');
}

}  // namespace quipix
