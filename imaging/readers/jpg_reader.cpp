// JPEG/JFIF reader (jpg, jpeg, jif) over libjpeg's 6b API.
//
// libjpeg reports fatal errors through error_exit, which must not return. Ours
// longjmps back to the frame that called setjmp and the reader throws from there, so
// no C++ exception ever unwinds through the library's C frames. The functions that
// call setjmp keep no objects with destructors alive across library calls; all C++
// state lives in the Session, which outlives the jump.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/orientation.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

// A pixel buffer above this is refused before anything is allocated.
constexpr std::int64_t kMaxPixelBytes = std::int64_t(256) << 20;
// Progressive files may hold any number of scans, each a pass over the whole image;
// real files have about ten, a crafted one thousands.
constexpr int kMaxScans = 1000;
constexpr std::size_t kInputBufferSize = 16384;

enum class Outcome { Ok, Aborted, DecoderFailed, Unsupported, TooLarge, TooManyScans };

struct Session {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    jpeg_source_mgr src{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump;
    TPGStream* stream;
    TPGWarningAction action;
    bool created = false;
    bool startOfFile = true;
    bool tooManyScans = false;
    int orientation = 1;                // from the EXIF segment, read with the header
    std::vector<std::uint8_t> profile;  // the ICC profile of the APP2 segments
    char message[JMSG_LENGTH_MAX] = {};
    // An exception from our own code called by the decoder (a raised warning, a
    // failing stream), rethrown once the decoder frames are left.
    std::exception_ptr pending;
    // The picture, sized without clearing: the decoder writes every row whole.
    std::optional<decode::FreshPicture> fresh;
    // Or the picture reduced to its stretched size as the rows of batch come.
    std::optional<decode::AreaReducer> reducer;
    std::vector<std::uint8_t> batch;
    // Ends the progress, the picture finished first, however the read ends.
    std::optional<decode::ProgressScope> pictureProgress;
    JOCTET buffer[kInputBufferSize];

    Session(TPGStream& s, TPGWarningAction a) : stream(&s), action(a) {}
    ~Session() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

Session& SessionOf(j_common_ptr cinfo) { return *static_cast<Session*>(cinfo->client_data); }

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    Session& s = SessionOf(cinfo);
    (*cinfo->err->format_message)(cinfo, s.message);
    std::longjmp(s.jump, 1);
}

// libjpeg calls this for the first warning of an image only.
void OutputMessage(j_common_ptr cinfo) {
    Session& s = SessionOf(cinfo);
    if (s.action == pgwaIgnore) return;
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    bool failed = false;
    try {
        HandleReadWarning(s.action, "JPG Warning", "JPG: ", text,
                          [](const std::string& m) { throw EPGJPGFileFormatReaderWriter(m); });
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) std::longjmp(s.jump, 1);
}

void ProgressMonitor(j_common_ptr cinfo) {
    Session& s = SessionOf(cinfo);
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        s.tooManyScans = true;
        std::longjmp(s.jump, 1);
    }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Like the library's file source: at the end of the data it warns and supplies an
// end marker, so a truncated file decodes with its missing part filled in.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
    Session& s = SessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    std::size_t n = 0;
    bool failed = false;
    try {
        n = s.stream->Read(s.buffer, kInputBufferSize);
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) std::longjmp(s.jump, 1);
    if (n == 0) {
        if (s.startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s.buffer[0] = 0xFF;
        s.buffer[1] = JPEG_EOI;
        n = 2;
    }
    s.startOfFile = false;
    s.src.next_input_byte = s.buffer;
    s.src.bytes_in_buffer = n;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    Session& s = SessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (count <= 0) return;
    if (std::size_t(count) <= s.src.bytes_in_buffer) {
        s.src.next_input_byte += count;
        s.src.bytes_in_buffer -= std::size_t(count);
        return;
    }
    const std::int64_t rest = std::int64_t(count) - std::int64_t(s.src.bytes_in_buffer);
    s.src.bytes_in_buffer = 0;
    bool failed = false;
    try {
        s.stream->Skip(rest);
    } catch (...) {
        s.pending = std::current_exception();
        failed = true;
    }
    if (failed) std::longjmp(s.jump, 1);
}

// Creates the decoder and reads the header. Runs inside the caller's setjmp scope.
void StartSession(Session& s) {
    s.cinfo.err = jpeg_std_error(&s.err);
    s.err.error_exit = ErrorExit;
    s.err.output_message = OutputMessage;
    s.cinfo.client_data = &s;
    s.created = true;  // destroying a zeroed or half-made decoder is safe
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.client_data = &s;
    s.cinfo.mem->max_memory_to_use = long(kMaxPixelBytes);
    s.progress.progress_monitor = ProgressMonitor;
    s.cinfo.progress = &s.progress;
    s.src.init_source = InitSource;
    s.src.fill_input_buffer = FillInputBuffer;
    s.src.skip_input_data = SkipInputData;
    s.src.resync_to_restart = jpeg_resync_to_restart;
    s.src.term_source = TermSource;
    s.cinfo.src = &s.src;
    // EXIF lives in APP1; the library keeps a saved segment only until the image ends.
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xFFFF);
    // A colour profile in APP2, split over several segments when it is large.
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&s.cinfo, TRUE);
    for (jpeg_saved_marker_ptr m = s.cinfo.marker_list; m; m = m->next) {
        const int o = ExifOrientation({m->data, m->data_length});
        if (o != 1) {
            s.orientation = o;
            break;
        }
    }
}

Outcome ReadHeader(Session& s) {
    if (setjmp(s.jump)) return s.tooManyScans ? Outcome::TooManyScans : Outcome::DecoderFailed;
    StartSession(s);
    return Outcome::Ok;
}

// The size the picture is shown at, as stored: turned for a picture stored sideways.
struct Target {
    int width, height;
};
Target StoredTarget(const TPixelGraphic& image, int orientation) {
    const bool sideways = orientation >= 5 && orientation <= 8;
    return sideways ? Target{image.ShownHeight, image.ShownWidth}
                    : Target{image.ShownWidth, image.ShownHeight};
}

// The DCT scaling nearest the size the picture is shown at, never below it: 1/8 to
// 1/1 cost what their output does, where a full decode would cost its whole size.
int ScaleDenominator(const jpeg_decompress_struct& c, const Target& target) {
    const int factor =
        decode::ReductionFactor(int(c.image_width), int(c.image_height), target.width, target.height);
    int denominator = 1;
    while (denominator < 8 && denominator * 2 <= factor) denominator *= 2;
    return denominator;
}

Outcome Decode(Session& s, TPixelGraphic& image, const void* sender, bool fastDCT) {
    if (setjmp(s.jump)) return s.tooManyScans ? Outcome::TooManyScans : Outcome::DecoderFailed;
    StartSession(s);
    jpeg_decompress_struct& c = s.cinfo;
    c.scale_num = 1;
    const Target target = StoredTarget(image, s.orientation);
    c.scale_denom = unsigned(ScaleDenominator(c, target));
    c.dct_method = fastDCT ? JDCT_IFAST : JDCT_ISLOW;
    JOCTET* profile = nullptr;
    unsigned profileLength = 0;
    if (jpeg_read_icc_profile(&c, &profile, &profileLength)) {
        s.profile.assign(profile, profile + profileLength);
        std::free(profile);
    }
    c.quantize_colors = FALSE;
    c.dither_mode = JDITHER_NONE;
    c.two_pass_quantize = FALSE;
    // Colour rows come out blue, green, red: the image's own byte order.
    if (c.jpeg_color_space == JCS_YCbCr || c.jpeg_color_space == JCS_RGB) c.out_color_space = JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&c);
    TPGPixelFormat format;
    if (c.output_components == 1)
        format = pgpf8Bit;
    else if (c.output_components == 3)
        format = pgpf24Bit;
    else
        return Outcome::Unsupported;
    const int width = int(c.output_width);
    const int height = int(c.output_height);
    if (PixelStride(width, format) * height > kMaxPixelBytes) return Outcome::TooLarge;

    jpeg_start_decompress(&c);
    // A picture to be stretched to a smaller size is reduced to it as its rows come,
    // through a batch of rows; otherwise the rows are decoded in place.
    const std::size_t rowBytes = std::size_t(width) * std::size_t(c.output_components);
    if (image.ShownStretched && width >= target.width && height >= target.height && target.width > 0 &&
        target.height > 0 && (width > target.width || height > target.height)) {
        s.reducer.emplace(image, width, height, target.width, target.height, c.output_components);
        s.batch.resize(rowBytes * 16);
    } else {
        s.fresh.emplace(image, width, height, format, rowBytes);
        if (format == pgpf8Bit) image.SetPaletteIdent(pGray256);
    }
    s.pictureProgress.emplace(image, s.fresh ? &*s.fresh : nullptr);
    // Rows are asked for in small batches: one call per row would make the library
    // copy every row once more through its own spare buffer.
    JSAMPROW rows[16];
    while (c.output_scanline < c.output_height) {
        const int first = int(c.output_scanline);
        int count = height - first;
        if (count > 16) count = 16;
        for (int i = 0; i < count; ++i)
            rows[i] = s.reducer ? &s.batch[rowBytes * std::size_t(i)] : image.ScanLine(first + i);
        const int got = int(jpeg_read_scanlines(&c, rows, JDIMENSION(count)));
        if (got <= 0) return Outcome::DecoderFailed;  // cannot happen: our source never suspends
        // A call that fails writes no row: the library decodes before it emits.
        for (int i = 0; i < got; ++i) {
            if (s.reducer)
                s.reducer->AddRow(rows[i]);
            else
                s.fresh->Written(first + i);
        }
        for (int i = 1; i <= got; ++i)
            if (image.Progress(sender, first + i, height)) return Outcome::Aborted;
    }
    jpeg_finish_decompress(&c);
    return Outcome::Ok;
}

[[noreturn]] void Raise(const std::string& text) { throw EPGJPGFileFormatReaderWriter("JPG: " + text); }

[[noreturn]] void RaiseFailure(Session& s, Outcome outcome) {
    if (s.pending) std::rethrow_exception(s.pending);
    switch (outcome) {
    case Outcome::Unsupported:
        Raise(GetPGLangStr(msg::NotSupportedSubformat));
    case Outcome::TooLarge:
        Raise(GetPGLangStr(msg::OutOfRange, "Image size"));
    case Outcome::TooManyScans:
        Raise(GetPGLangStr(msg::OutOfRange, "Scan count"));
    default:
        Raise(s.message);
    }
}

class TJPGFileFormatReader : public TFileFormatReader {
public:
    explicit TJPGFileFormatReader(const std::string& extension)
        : TFileFormatReader(extension, "JPEG (JFIF compliant)", true) {}

    bool IsSignature(std::span<const std::uint8_t> header) const override {
        return header.size() >= 2 && header[0] == 0xFF && header[1] == 0xD8;
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        image.Gamma = PGDisplayGamma;  // JPEG pixels are never gamma-corrected
        Session s(stream, image.ReadWarningAction);
        const Outcome outcome = Decode(s, image, this, image.FastDCT);
        s.pictureProgress.reset();  // before a failure is raised and the picture turned
        if (outcome != Outcome::Ok && outcome != Outcome::Aborted) RaiseFailure(s, outcome);
        ApplyOrientation(image, s.orientation);
        image.ColorProfile = std::move(s.profile);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        // There is no picture whose warning action could apply.
        Session s(stream, pgwaIgnore);
        const Outcome outcome = ReadHeader(s);
        if (outcome != Outcome::Ok) RaiseFailure(s, outcome);
        const jpeg_decompress_struct& c = s.cinfo;
        TImageInfo info;
        info.Width = int(c.image_width);
        info.Height = int(c.image_height);
        info.Bits = 8 * c.num_components;
        static const char* const kColors[] = {"256", "64K", "16.7M", "4294.9M"};
        info.ColorText = c.num_components >= 1 && c.num_components <= 4 ? kColors[c.num_components - 1] : "?";
        static const char* const kSpaces[] = {"unknown", "GrayScale", "RGB", "YCbCr", "CMYK", "YCbCrK"};
        const int space = int(c.jpeg_color_space);
        info.Info1 = space >= 0 && space <= 5 ? kSpaces[space] : "";
        if (c.progressive_mode) info.Info1 += ", Progressive";
        if (c.saw_Adobe_marker) info.Info1 = "Adope, " + info.Info1;
        if (c.saw_JFIF_marker) info.Info1 = "JFIF, " + info.Info1;
        info.Orientation = s.orientation;
        return info;
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakeJPGReader(const std::string& extension) {
    return std::make_unique<TJPGFileFormatReader>(extension);
}

}  // namespace quipix
