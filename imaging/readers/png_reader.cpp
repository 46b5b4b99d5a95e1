// PNG reader over libpng 1.6.
//
// libpng's error callback must not return; ours longjmps back to the frame that
// called setjmp and the reader throws from there, so no C++ exception ever unwinds
// through the library's C frames. The functions that call setjmp keep no objects
// with destructors alive across library calls; all C++ state lives in the Session.
//
// Transparency is composited by the library (over the file's background colour, or
// else over the picture's own), 16-bit samples keep their high byte, colour rows
// arrive blue-green-red, and 2-bit rows are widened to the 4-bit format afterwards.
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

#include <png.h>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

// No picture the shared size check accepts is wider or taller than this.
constexpr png_uint_32 kMaxDimension = png_uint_32(1) << 28;
// Ancillary chunks we never use need not pile up without end, nor any one of them be
// larger than a generous colour profile.
constexpr png_uint_32 kMaxAncillaryChunks = 1000;
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t(8) << 20;

enum class Outcome {
    Ok,
    Aborted,
    DecoderFailed,
    CreateReadFailed,
    CreateInfoFailed,
    Unsupported,
    TooLarge,
    TooLittleData
};

struct Session {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    TPGStream* stream;
    TPGWarningAction action;
    bool progressStarted = false;
    char message[256] = {};
    // An exception from our own code called by the decoder (a raised warning, a
    // failing stream), rethrown once the decoder frames are left.
    std::exception_ptr pending;

    Session(TPGStream& s, TPGWarningAction a) : stream(&s), action(a) {}
    ~Session() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

[[noreturn]] void OnError(png_structp png, png_const_charp text) {
    Session& s = *static_cast<Session*>(png_get_error_ptr(png));
    std::strncpy(s.message, text ? text : "", sizeof s.message - 1);
    std::longjmp(s.jump, 1);
}

void OnWarning(png_structp png, png_const_charp text) {
    Session& s = *static_cast<Session*>(png_get_error_ptr(png));
    if (s.action == pgwaIgnore) return;
    bool failed = false;
    try {
        HandleReadWarning(s.action, "PNG Warning", "PNG: ", text ? text : "",
                          [](const std::string& m) { throw EPGPNGFileFormatReaderWriter(m); });
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) std::longjmp(s.jump, 1);
}

void ReadData(png_structp png, png_bytep data, png_size_t length) {
    Session& s = *static_cast<Session*>(png_get_io_ptr(png));
    std::size_t got = 0;
    bool failed = false;
    try {
        got = s.stream->Read(data, length);
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) std::longjmp(s.jump, 1);
    if (got != length) {
        std::strncpy(s.message, "Unexpected end of file", sizeof s.message - 1);
        std::longjmp(s.jump, 1);
    }
}

// Creates the decoder and reads the chunks up to the image data. Runs inside the
// caller's setjmp scope.
Outcome StartSession(Session& s) {
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (!s.png) return Outcome::CreateReadFailed;
    s.info = png_create_info_struct(s.png);
    if (!s.info) return Outcome::CreateInfoFailed;
    // The library's own defaults let one ancillary chunk (a compressed text or a
    // colour profile) inflate to gigabytes before any picture size is checked; these
    // caps keep every allocation within what the other readers would accept.
    png_set_user_limits(s.png, kMaxDimension, kMaxDimension);
    png_set_chunk_cache_max(s.png, kMaxAncillaryChunks);
    png_set_chunk_malloc_max(s.png, kMaxChunkBytes);
    png_set_read_fn(s.png, &s, ReadData);
    png_read_info(s.png, s.info);
    return Outcome::Ok;
}

Outcome ReadHeader(Session& s) {
    if (setjmp(s.jump)) return Outcome::DecoderFailed;
    return StartSession(s);
}

// A file sample of the given bit depth scaled to 8 bits.
int To8Bits(unsigned value, int depth) {
    if (depth >= 16) return int(value >> 8) & 0xFF;
    if (depth == 8) return int(value & 0xFF);
    const unsigned max = (1u << depth) - 1;
    return int((value & max) * 255 / max);
}

// An 8-bit sample scaled to the file's bit depth. 16-bit files are an exception:
// when their samples are cut to 8 bits the library expects the background in
// 8 bits and widens it itself (value * 257).
png_uint_16 FromBits8(int value, int depth) {
    if (depth >= 8) return png_uint_16(value);
    const int max = (1 << depth) - 1;
    return png_uint_16((value * max + 127) / 255);
}

// The picture's background colour in the sample format the library composites with
// when it does not expand the samples: the file's own, but 8 bits for 16-bit files.
png_color_16 BackgroundInFileFormat(PGColor color, int colorType, int depth) {
    png_color_16 back{};
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        back.red = png_uint_16(PGRed(color));
        back.green = png_uint_16(PGGreen(color));
        back.blue = png_uint_16(PGBlue(color));
    } else if (colorType & PNG_COLOR_MASK_COLOR) {
        back.red = FromBits8(PGRed(color), depth);
        back.green = FromBits8(PGGreen(color), depth);
        back.blue = FromBits8(PGBlue(color), depth);
    } else {
        back.gray = FromBits8((PGRed(color) + PGGreen(color) + PGBlue(color)) / 3, depth);
    }
    return back;
}

PGColor ColorOfFileBackground(const png_color_16& back, int colorType, int depth) {
    if (colorType == PNG_COLOR_TYPE_PALETTE) return PGRGB(back.red, back.green, back.blue);
    if (colorType & PNG_COLOR_MASK_COLOR)
        return PGRGB(To8Bits(back.red, depth), To8Bits(back.green, depth), To8Bits(back.blue, depth));
    const int g = To8Bits(back.gray, depth);
    return PGRGB(g, g, g);
}

// Widens a row of 2-bit pixels, packed four to a byte, to 4-bit pixels in place.
// Working from the last column down, no byte is written before it has been read.
void Expand2To4(std::uint8_t* row, int width) {
    for (int x = width - 1; x >= 0; --x) {
        const int v = (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
        std::uint8_t& b = row[x / 2];
        b = (x % 2 == 0) ? std::uint8_t((b & 0x0F) | (v << 4)) : std::uint8_t((b & 0xF0) | v);
    }
}

Outcome Decode(Session& s, TPixelGraphic& image, const void* sender) {
    if (setjmp(s.jump)) return Outcome::DecoderFailed;
    const Outcome started = StartSession(s);
    if (started != Outcome::Ok) return started;
    png_structp png = s.png;
    png_infop info = s.info;

    const int width = int(png_get_image_width(png, info));
    const int height = int(png_get_image_height(png, info));
    const int depth = png_get_bit_depth(png, info);
    const int colorType = png_get_color_type(png, info);
    const int channels = png_get_channels(png, info);

    TPGPixelFormat format;
    if (channels > 2)
        format = pgpf24Bit;
    else if (depth == 1)
        format = pgpf1Bit;
    else if (depth == 2 || depth == 4)
        format = pgpf4Bit;
    else
        format = pgpf8Bit;
    if (width <= 0 || height <= 0) return Outcome::Unsupported;
    // Deflate packs at most about 1032 bytes into one, so a file far shorter than
    // that share of its scanlines was cut or crafted: refusing it here keeps a
    // preview that ignores warnings from allocating a picture the file cannot fill.
    const std::int64_t scanlineBytes = (std::int64_t(width) * channels * depth + 7) / 8 * height + height;
    switch (decode::CheckPictureSize(width, height, format, scanlineBytes / 1032, s.stream->Remaining())) {
    case decode::SizeVerdict::Ok:
        break;
    case decode::SizeVerdict::TooLarge:
        return Outcome::TooLarge;
    case decode::SizeVerdict::TooLittleData:
        return Outcome::TooLittleData;
    }

    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) || (colorType & PNG_COLOR_MASK_ALPHA);
    png_color_16p fileBackChunk = nullptr;
    png_color_16 fileBack{};  // a copy: the library rewrites its own after the update
    bool useFileBack = false;
    if (transparent) {
        if (png_get_bKGD(png, info, &fileBackChunk) && fileBackChunk) {
            fileBack = *fileBackChunk;
            png_color_16 back = fileBack;
            if (depth == 16) {
                back.red = png_uint_16(back.red >> 8);
                back.green = png_uint_16(back.green >> 8);
                back.blue = png_uint_16(back.blue >> 8);
                back.gray = png_uint_16(back.gray >> 8);
            }
            png_set_background(png, &back, PNG_BACKGROUND_GAMMA_FILE, 0, 1.0);
            useFileBack = true;
        } else {
            png_color_16 back = BackgroundInFileFormat(image.BackGroundColor(), colorType, depth);
            png_set_background(png, &back, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
    }
    // A gamma chunk (or an sRGB chunk, which implies one) tells how the samples are
    // encoded; the load corrects them from there to the display gamma.
    double fileGamma = 0;
    if (png_get_gAMA(png, info, &fileGamma) && fileGamma > 0)
        image.Gamma = 1.0 / fileGamma;
    else
        image.Gamma = PGDisplayGamma;

    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // Every delivered row must fit a row of the picture.
    if (png_get_rowbytes(png, info) > std::size_t(PixelStride(width, format))) return Outcome::Unsupported;

    image.SetSize(width, height, format);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        // Read after the update: the library has composited the transparent entries.
        if (png_get_PLTE(png, info, &palette, &count) && palette) {
            const int capacity = PaletteCapacity(format);
            if (count > capacity) count = capacity;
            image.SetPaletteCount(count);
            for (int i = 0; i < count; ++i)
                image.SetPaletteEntries(i, PGRGB(palette[i].red, palette[i].green, palette[i].blue));
        }
    } else if (!(colorType & PNG_COLOR_MASK_COLOR)) {
        image.SetPaletteIdent(depth == 1   ? pBlackWhite
                              : depth == 2 ? pGray4
                              : depth == 4 ? pGray16
                                           : pGray256);
    }
    if (useFileBack && (format == pgpf24Bit || image.PaletteCount() > 0))
        image.SetBackGroundColor(ColorOfFileBackground(fileBack, colorType, depth));

    s.progressStarted = true;
    image.ProgressStart();
    const int steps = passes * height;
    bool aborted = false;
    for (int pass = 0; pass < passes && !aborted; ++pass) {
        for (int y = 0; y < height; ++y) {
            png_read_row(png, image.ScanLine(y), nullptr);
            if (image.Progress(sender, pass * height + y + 1, steps)) {
                aborted = true;
                break;
            }
        }
    }
    if (depth == 2)
        for (int y = 0; y < height; ++y) Expand2To4(image.ScanLine(y), width);
    if (aborted) return Outcome::Aborted;
    png_read_end(png, nullptr);
    return Outcome::Ok;
}

[[noreturn]] void Raise(const std::string& text) { throw EPGPNGFileFormatReaderWriter("PNG: " + text); }

[[noreturn]] void RaiseFailure(Session& s, Outcome outcome) {
    if (s.pending) std::rethrow_exception(s.pending);
    switch (outcome) {
    case Outcome::CreateReadFailed:
        Raise(GetPGLangStr(31, "png_create_read_struct"));
    case Outcome::CreateInfoFailed:
        Raise(GetPGLangStr(31, "png_create_info_struct"));
    case Outcome::Unsupported:
        Raise(GetPGLangStr(30));
    case Outcome::TooLarge:
        Raise(GetPGLangStr(41, "Image size"));
    case Outcome::TooLittleData:
        Raise(GetPGLangStr(32));
    default:
        Raise(s.message);
    }
}

std::string ChunkList(png_structp png, png_infop info) {
    static const struct {
        png_uint_32 flag;
        const char* name;
    } kChunks[] = {{PNG_INFO_gAMA, "gama"}, {PNG_INFO_sBIT, "sbit"}, {PNG_INFO_cHRM, "chrm"},
                   {PNG_INFO_PLTE, "plte"}, {PNG_INFO_tRNS, "trns"}, {PNG_INFO_bKGD, "bkgd"},
                   {PNG_INFO_hIST, "hist"}, {PNG_INFO_pHYs, "phys"}, {PNG_INFO_oFFs, "offs"},
                   {PNG_INFO_tIME, "time"}};
    std::string names;
    for (const auto& c : kChunks) {
        if (!png_get_valid(png, info, c.flag)) continue;
        if (!names.empty()) names += ", ";
        names += c.name;
    }
    return names.empty() ? names : "(" + names + ")";
}

class TPNGFileFormatReader : public TFileFormatReader {
public:
    TPNGFileFormatReader() : TFileFormatReader("png", "Portable Network Graphics", true) {}

    bool IsSignature(std::span<const std::uint8_t> header) const override {
        static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        return header.size() >= 8 && std::memcmp(header.data(), kSignature, 8) == 0;
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(7, "Index"));
        Session s(stream, image.ReadWarningAction);
        Outcome outcome;
        try {
            outcome = Decode(s, image, this);
        } catch (...) {
            if (s.progressStarted) image.ProgressEnd();
            throw;
        }
        if (s.progressStarted) image.ProgressEnd();
        if (outcome != Outcome::Ok && outcome != Outcome::Aborted) RaiseFailure(s, outcome);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(20, "Index"));
        // There is no picture whose warning action could apply.
        Session s(stream, pgwaIgnore);
        const Outcome outcome = ReadHeader(s);
        if (outcome != Outcome::Ok) RaiseFailure(s, outcome);
        TImageInfo info;
        info.Width = int(png_get_image_width(s.png, s.info));
        info.Height = int(png_get_image_height(s.png, s.info));
        const int colorType = png_get_color_type(s.png, s.info);
        info.Bits = png_get_bit_depth(s.png, s.info) * png_get_channels(s.png, s.info);
        switch (info.Bits) {
        case 1:
            info.ColorText = "2";
            break;
        case 2:
            info.ColorText = "4";
            break;
        case 4:
            info.ColorText = "16";
            break;
        case 8:
            info.ColorText = "256";
            break;
        case 16:
            info.ColorText = "64K?";
            break;
        case 24:
            info.ColorText = "16.7M";
            break;
        case 32:
            info.ColorText = "16.7M?";
            break;
        default:
            info.ColorText = "?";
        }
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            info.Info1 = "palette";
        else if (colorType & PNG_COLOR_MASK_COLOR)
            info.Info1 = "RGB";
        else
            info.Info1 = "GrayScale";
        if (colorType & PNG_COLOR_MASK_ALPHA) info.Info1 += ", alpha";
        if (png_get_interlace_type(s.png, s.info) != PNG_INTERLACE_NONE) info.Info1 += ", interlaced";
        info.Info2 = ChunkList(s.png, s.info);
        return info;
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakePNGReader() { return std::make_unique<TPNGFileFormatReader>(); }

}  // namespace quipix
