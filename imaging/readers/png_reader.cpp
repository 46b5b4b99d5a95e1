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
//
// The library's memory goes through our allocator, which counts what it holds, so
// the tests can see the most one read needed.
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

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

enum class Outcome { Ok, Aborted, DecoderFailed, CreateReadFailed, CreateInfoFailed, Unsupported };

[[noreturn]] void Raise(const std::string& text) { throw EPGPNGFileFormatReaderWriter("PNG: " + text); }

thread_local std::size_t gLastPeakBytes = 0;

struct Session {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    TPGStream* stream;
    TPGWarningAction action;
    char message[256] = {};
    // An exception from our own code called by the decoder (a raised warning, a
    // failing stream), rethrown once the decoder frames are left.
    std::exception_ptr pending;

    // A chunk kind set to be skipped for the one oversized chunk (SkipOversizedChunk),
    // 0 when none.
    png_uint_32 skipped = 0;
    // The picture, sized without clearing when every row is written whole (not
    // interlaced, whole bytes per sample).
    std::optional<decode::FreshPicture> fresh;
    // Ends the progress, the picture finished first, however the read ends.
    std::optional<decode::ProgressScope> pictureProgress;
    // A read reduced toward the size the picture is shown at: its rows pass through
    // one row buffer into the reducer.
    std::optional<decode::BoxReducer> reducer;
    std::vector<std::uint8_t> row;
    // Bytes the library holds now, and the most it held during this read.
    std::size_t heldBytes = 0, peakBytes = 0;

    Session(TPGStream& s, TPGWarningAction a) : stream(&s), action(a) {}
    ~Session() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        gLastPeakBytes = peakBytes;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

// Every block carries its size in front, so that the free function can count it.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
    Session& s = *static_cast<Session*>(png_get_mem_ptr(png));
    if (size > SIZE_MAX - kBlockHeader) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kBlockHeader + size));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof size);
    s.heldBytes += size;
    if (s.heldBytes > s.peakBytes) s.peakBytes = s.heldBytes;
    return block + kBlockHeader;
}

void Release(png_structp png, png_voidp p) {
    if (!p) return;
    Session& s = *static_cast<Session*>(png_get_mem_ptr(png));
    unsigned char* block = static_cast<unsigned char*>(p) - kBlockHeader;
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    s.heldBytes -= size;
    std::free(block);
}

// The kinds of chunk the library reads whole into one buffer of the declared length.
// None of them changes the picture.
bool ReadWhole(png_uint_32 type) {
    constexpr auto kind = [](const char* n) {
        return png_uint_32(n[0]) << 24 | png_uint_32(n[1]) << 16 | png_uint_32(n[2]) << 8 | png_uint_32(n[3]);
    };
    for (const char* n : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL", "eXIf"})
        if (type == kind(n)) return true;
    return false;
}

void ChunkName(png_uint_32 type, png_byte name[5]) {
    for (int i = 0; i < 4; ++i) name[i] = png_byte(type >> (24 - 8 * i));
    name[4] = 0;
}

// A chunk longer than the chunk limit is only a benign error to the library, a
// warning here, after which it would still allocate the whole declared length (1.5
// GB from a 41-byte file) for the kinds it reads whole. Once the warning has been let
// through, such a chunk is skipped unread instead. Runs while the chunk's header is
// being read, before the library picks the chunk's handler.
void SkipOversizedChunk(Session& s) {
    if ((png_get_io_state(s.png) & PNG_IO_MASK_LOC) != PNG_IO_CHUNK_HDR) return;
    const png_uint_32 type = png_get_io_chunk_type(s.png);
    if (!ReadWhole(type)) return;
    png_byte name[5];
    ChunkName(type, name);
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, name, 1);
    s.skipped = type;
}

// The next chunk of the skipped kind is read as usual again.
void EndSkip(Session& s) {
    png_byte name[5];
    ChunkName(s.skipped, name);
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_AS_DEFAULT, name, 1);
    s.skipped = 0;
}

[[noreturn]] void OnError(png_structp png, png_const_charp text) {
    Session& s = *static_cast<Session*>(png_get_error_ptr(png));
    std::strncpy(s.message, text ? text : "", sizeof s.message - 1);
    std::longjmp(s.jump, 1);
}

void OnWarning(png_structp png, png_const_charp text) {
    Session& s = *static_cast<Session*>(png_get_error_ptr(png));
    if (s.action == pgwaIgnore) {
        SkipOversizedChunk(s);
        return;
    }
    bool failed = false;
    try {
        HandleReadWarning(s.action, "PNG Warning", "PNG: ", text ? text : "",
                          [](const std::string& m) { throw EPGPNGFileFormatReaderWriter(m); });
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) std::longjmp(s.jump, 1);
    SkipOversizedChunk(s);
}

void ReadData(png_structp png, png_bytep data, png_size_t length) {
    Session& s = *static_cast<Session*>(png_get_io_ptr(png));
    if (s.skipped && (png_get_io_state(png) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_HDR) EndSkip(s);
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
    s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning, &s, Allocate, Release);
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

// What the header tells, as the library reports it.
struct Header {
    int width, height, depth, colorType, channels;
};

TPGPixelFormat FormatOf(const Header& h) {
    if (h.channels > 2) return pgpf24Bit;
    if (h.depth == 1) return pgpf1Bit;
    if (h.depth == 2 || h.depth == 4) return pgpf4Bit;
    return pgpf8Bit;
}

// Deflate packs at most about 1032 bytes into one, so a file far shorter than that
// share of its scanlines was cut or crafted: refusing it here keeps a preview that
// ignores warnings from allocating a picture the file cannot fill.
Outcome CheckSize(const Header& h, TPGPixelFormat format, std::int64_t available) {
    if (h.width <= 0 || h.height <= 0) return Outcome::Unsupported;
    const std::int64_t scanlineBytes =
        (std::int64_t(h.width) * h.channels * h.depth + 7) / 8 * h.height + h.height;
    decode::CheckPictureSize(h.width, h.height, format, scanlineBytes / 1032, available, Raise);
    return Outcome::Ok;
}

// Asks the library to composite transparency: over the file's background chunk when
// there is one (true, with its colour in fileBack), else over the picture's own
// background colour.
bool SetUpBackground(png_structp png, png_infop info, const Header& h, const TPixelGraphic& image,
                     png_color_16& fileBack) {
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) || (h.colorType & PNG_COLOR_MASK_ALPHA);
    if (!transparent) return false;
    png_color_16p chunk = nullptr;
    if (png_get_bKGD(png, info, &chunk) && chunk) {
        fileBack = *chunk;  // a copy: the library rewrites its own after the update
        png_color_16 back = fileBack;
        if (h.depth == 16) {
            back.red = png_uint_16(back.red >> 8);
            back.green = png_uint_16(back.green >> 8);
            back.blue = png_uint_16(back.blue >> 8);
            back.gray = png_uint_16(back.gray >> 8);
        }
        png_set_background(png, &back, PNG_BACKGROUND_GAMMA_FILE, 0, 1.0);
        return true;
    }
    png_color_16 back = BackgroundInFileFormat(image.BackGroundColor(), h.colorType, h.depth);
    png_set_background(png, &back, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    return false;
}

// The file's palette, or the grey palette of its depth. Runs after the update: the
// library has composited the transparent palette entries by then.
void SetUpPalette(png_structp png, png_infop info, const Header& h, TPGPixelFormat format,
                  TPixelGraphic& image) {
    if (h.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) && palette) {
            const int capacity = PaletteCapacity(format);
            if (count > capacity) count = capacity;
            image.SetPaletteCount(count);
            for (int i = 0; i < count; ++i)
                image.SetPaletteEntries(i, PGRGB(palette[i].red, palette[i].green, palette[i].blue));
        }
    } else if (!(h.colorType & PNG_COLOR_MASK_COLOR)) {
        image.SetPaletteIdent(h.depth == 1   ? pBlackWhite
                              : h.depth == 2 ? pGray4
                              : h.depth == 4 ? pGray16
                                             : pGray256);
    }
}

// Every row of every pass straight into the picture's rows, with progress.
Outcome ReadRows(Session& s, TPixelGraphic& image, const Header& h, int passes, const void* sender) {
    s.pictureProgress.emplace(image, s.fresh ? &*s.fresh : nullptr);
    const int steps = passes * h.height;
    bool aborted = false;
    for (int pass = 0; pass < passes && !aborted; ++pass) {
        for (int y = 0; y < h.height; ++y) {
            png_read_row(s.png, image.ScanLine(y), nullptr);
            if (s.fresh) s.fresh->Written(y);
            if (image.Progress(sender, pass * h.height + y + 1, steps)) {
                aborted = true;
                break;
            }
        }
    }
    if (s.fresh) s.fresh->Finish();
    if (h.depth == 2)
        for (int y = 0; y < h.height; ++y) Expand2To4(image.ScanLine(y), h.width);
    if (aborted) return Outcome::Aborted;
    png_read_end(s.png, nullptr);
    return Outcome::Ok;
}

// Every row through the reducer, with progress.
Outcome ReadReduced(Session& s, TPixelGraphic& image, const Header& h, int channels, int factor,
                    const png_color_16* fileBack, const void* sender) {
    s.reducer.emplace(image, h.width, h.height, factor, channels);
    if (fileBack) image.SetBackGroundColor(ColorOfFileBackground(*fileBack, h.colorType, h.depth));
    s.row.resize(std::size_t(h.width) * std::size_t(channels));
    s.pictureProgress.emplace(image);
    for (int y = 0; y < h.height; ++y) {
        png_read_row(s.png, s.row.data(), nullptr);
        s.reducer->AddRow(s.row.data());
        if (image.Progress(sender, y + 1, h.height)) return Outcome::Aborted;
    }
    png_read_end(s.png, nullptr);
    return Outcome::Ok;
}

// The whole read. The helpers it calls run inside its setjmp scope and hold nothing
// with a destructor.
Outcome Decode(Session& s, TPixelGraphic& image, const void* sender) {
    if (setjmp(s.jump)) return Outcome::DecoderFailed;
    const Outcome started = StartSession(s);
    if (started != Outcome::Ok) return started;
    png_structp png = s.png;
    png_infop info = s.info;

    const Header h{int(png_get_image_width(png, info)), int(png_get_image_height(png, info)),
                   png_get_bit_depth(png, info), png_get_color_type(png, info), png_get_channels(png, info)};
    const TPGPixelFormat format = FormatOf(h);
    const Outcome sized = CheckSize(h, format, s.stream->Remaining());
    if (sized != Outcome::Ok) return sized;

    png_color_16 fileBack{};
    const bool useFileBack = SetUpBackground(png, info, h, image, fileBack);
    // A gamma chunk (or an sRGB chunk, which implies one) tells how the samples are
    // encoded; the load corrects them from there to the display gamma.
    double fileGamma = 0;
    if (png_get_gAMA(png, info, &fileGamma) && fileGamma > 0)
        image.Gamma = 1.0 / fileGamma;
    else
        image.Gamma = PGDisplayGamma;
    // An sRGB chunk means the display's own encoding; a colour profile, which the
    // load converts, takes the place of the gamma chunk.
    png_charp profileName = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &profileName, &compression, &profile, &profileLength) && profile) {
        image.ColorProfile.assign(profile, profile + profileLength);
        image.Gamma = PGDisplayGamma;
    } else if (png_get_valid(png, info, PNG_INFO_sRGB)) {
        image.Gamma = PGDisplayGamma;
    }

    if (h.depth == 16) png_set_strip_16(png);
    if (h.colorType == PNG_COLOR_TYPE_RGB || h.colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // Every delivered row must fit a row of the picture.
    if (png_get_rowbytes(png, info) > std::size_t(PixelStride(h.width, format))) return Outcome::Unsupported;

    // Rows of whole bytes, grey or blue-green-red, can be reduced as they arrive;
    // other kinds are few among large pictures and are reduced after the load.
    const int channels = format == pgpf24Bit ? 3 : 1;
    if (passes == 1 && h.depth >= 8 && h.colorType != PNG_COLOR_TYPE_PALETTE &&
        png_get_rowbytes(png, info) == std::size_t(h.width) * std::size_t(channels)) {
        const int factor = decode::ReductionFactor(h.width, h.height, image.ShownWidth, image.ShownHeight);
        if (factor > 1)
            return ReadReduced(s, image, h, channels, factor, useFileBack ? &fileBack : nullptr, sender);
    }

    if (passes == 1 && h.depth >= 8)
        s.fresh.emplace(image, h.width, h.height, format, png_get_rowbytes(png, info));
    else
        image.SetSize(h.width, h.height, format);
    SetUpPalette(png, info, h, format, image);
    if (useFileBack && (format == pgpf24Bit || image.PaletteCount() > 0))
        image.SetBackGroundColor(ColorOfFileBackground(fileBack, h.colorType, h.depth));
    return ReadRows(s, image, h, passes, sender);
}

[[noreturn]] void RaiseFailure(Session& s, Outcome outcome) {
    if (s.pending) std::rethrow_exception(s.pending);
    switch (outcome) {
    case Outcome::CreateReadFailed:
        Raise(GetPGLangStr(msg::Failed, "png_create_read_struct"));
    case Outcome::CreateInfoFailed:
        Raise(GetPGLangStr(msg::Failed, "png_create_info_struct"));
    case Outcome::Unsupported:
        Raise(GetPGLangStr(msg::NotSupportedSubformat));
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
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        Session s(stream, image.ReadWarningAction);
        const Outcome outcome = Decode(s, image, this);
        if (s.reducer) s.reducer->Flush();
        s.pictureProgress.reset();  // before a failure is raised
        if (outcome != Outcome::Ok && outcome != Outcome::Aborted) RaiseFailure(s, outcome);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        // There is no picture whose warning action could apply.
        Session s(stream, pgwaIgnore);
        const Outcome outcome = ReadHeader(s);
        if (outcome != Outcome::Ok) RaiseFailure(s, outcome);
        TImageInfo info;
        info.Width = int(png_get_image_width(s.png, s.info));
        info.Height = int(png_get_image_height(s.png, s.info));
        const int colorType = png_get_color_type(s.png, s.info);
        info.Bits = png_get_bit_depth(s.png, s.info) * png_get_channels(s.png, s.info);
        // From 48 bits on, a sample's depth says it better than a count.
        static constexpr decode::ColorCount kColors[] = {{1, "2"},
                                                         {2, "4"},
                                                         {4, "16"},
                                                         {8, "256"},
                                                         {16, "64K?"},
                                                         {24, "16.7M"},
                                                         {32, "16.7M?"},
                                                         {48, "16 bit per channel"},
                                                         {64, "16 bit per channel"}};
        info.ColorText = decode::ColorCountText(kColors, info.Bits, "?");
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

std::size_t LastPNGDecoderPeakBytes() { return gLastPeakBytes; }

}  // namespace quipix
