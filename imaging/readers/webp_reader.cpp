// WebP reader over libwebp: lossy and lossless pictures, with or without alpha, and
// the first frame of an animation (through libwebpdemux).
//
// The file is held in memory, as libwebp needs it in one piece, and fed to the
// incremental decoder in slices so that progress and Abort work as in the other
// readers. An opaque picture is decoded straight into the picture's rows, blue,
// green, red and bottom-up (the decoder's flip); a picture with alpha is decoded
// beside it and composited over the picture's BackGroundColor as its rows arrive.
// An animation's canvas outside the first frame is transparent, so it shows the
// BackGroundColor too.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

// The decoder gets this much more of the file between two progress reports. The
// lossless decoder starts again from the last whole row it could finish whenever it
// runs out of data, so it gets an eighth of the file at a time instead.
constexpr std::size_t kSliceBytes = 32 * 1024;
constexpr std::size_t kLosslessSlices = 8;
// Compressed data beyond this cannot be a picture the size limits accept.
constexpr std::int64_t kMaxFileBytes = 2 * decode::kMaxBufferBytes;

[[noreturn]] void Raise(const std::string& text) { throw EPGWEBPFileFormatReader("WEBP: " + text); }

[[noreturn]] void RaiseStatus(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
    case VP8_STATUS_SUSPENDED:
        Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        Raise(GetPGLangStr(msg::NotSupportedSubformat));
    case VP8_STATUS_OUT_OF_MEMORY:
        Raise(GetPGLangStr(msg::Failed, "Memory allocation"));
    default:
        Raise(GetPGLangStr(msg::Invalid, "Bitstream"));
    }
}

// The RIFF header as it lies at the start of the file.
struct RiffHeader {
    char riff[4];
    decode::LE32 size;  // of the file after this field
    char webp[4];
};
constexpr std::int64_t kRiffHeaderSize = 12;
static_assert(sizeof(RiffHeader) == kRiffHeaderSize);

// The RIFF container, as long as its size field says. A file cut short is refused
// before anything is sized from it: the picture's rows could not all be there.
std::vector<std::uint8_t> ReadContainer(TPGStream& stream) {
    RiffHeader head;
    if (decode::ReadPadded(stream, &head, sizeof head) < sizeof head)
        Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
    if (std::memcmp(head.riff, "RIFF", 4) != 0 || std::memcmp(head.webp, "WEBP", 4) != 0)
        Raise(GetPGLangStr(msg::NotAFile, "WebP"));
    const std::int64_t size = std::max(kRiffHeaderSize, std::int64_t(head.size) + 8);
    if (size - kRiffHeaderSize > stream.Remaining()) Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
    if (size > kMaxFileBytes) Raise(GetPGLangStr(msg::OutOfRange, "File size"));
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    std::memcpy(data.data(), &head, sizeof head);
    stream.ReadExact(data.data() + sizeof head, data.size() - sizeof head);
    return data;
}

// What is decoded: the whole file, or an animation's first frame on its canvas.
struct Layout {
    int canvasWidth = 0, canvasHeight = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool alpha = false;
    bool lossless = false;
    int frames = 1;
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
};

// Owns the demuxer, which the bytes of a Layout may point into, the decoder and the
// rows the decoder allocated for a picture with alpha.
struct Session {
    WebPDemuxer* demux = nullptr;
    WebPIterator frame{};
    bool haveFrame = false;
    WebPDecoderConfig config{};
    WebPIDecoder* decoder = nullptr;

    Session() = default;
    ~Session() {
        if (decoder) WebPIDelete(decoder);
        WebPFreeDecBuffer(&config.output);
        if (haveFrame) WebPDemuxReleaseIterator(&frame);
        if (demux) WebPDemuxDelete(demux);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

Layout Inspect(const std::vector<std::uint8_t>& data, Session& s) {
    WebPBitstreamFeatures f;
    const VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &f);
    if (status != VP8_STATUS_OK) RaiseStatus(status);
    Layout l;
    l.canvasWidth = l.width = f.width;
    l.canvasHeight = l.height = f.height;
    l.alpha = f.has_alpha != 0;
    l.lossless = f.format == 2;
    l.bytes = data.data();
    l.size = data.size();
    if (!f.has_animation) return l;

    const WebPData whole{data.data(), data.size()};
    s.demux = WebPDemux(&whole);
    if (!s.demux) Raise(GetPGLangStr(msg::Invalid, "Bitstream"));
    s.haveFrame = WebPDemuxGetFrame(s.demux, 1, &s.frame) != 0;
    if (!s.haveFrame) Raise(GetPGLangStr(msg::Invalid, "Bitstream"));
    l.canvasWidth = int(WebPDemuxGetI(s.demux, WEBP_FF_CANVAS_WIDTH));
    l.canvasHeight = int(WebPDemuxGetI(s.demux, WEBP_FF_CANVAS_HEIGHT));
    l.frames = int(WebPDemuxGetI(s.demux, WEBP_FF_FRAME_COUNT));
    l.x = s.frame.x_offset;
    l.y = s.frame.y_offset;
    l.width = s.frame.width;
    l.height = s.frame.height;
    l.bytes = s.frame.fragment.bytes;
    l.size = s.frame.fragment.size;
    // The frame's own bitstream must be the size the frame claims, inside the canvas.
    WebPBitstreamFeatures ff;
    const VP8StatusCode frameStatus = WebPGetFeatures(l.bytes, l.size, &ff);
    if (frameStatus != VP8_STATUS_OK) RaiseStatus(frameStatus);
    if (ff.width != l.width || ff.height != l.height || l.x < 0 || l.y < 0 ||
        std::int64_t(l.x) + l.width > l.canvasWidth || std::int64_t(l.y) + l.height > l.canvasHeight)
        Raise(GetPGLangStr(msg::Invalid, "Bitstream"));
    l.alpha = s.frame.has_alpha != 0;
    l.lossless = ff.format == 2;
    return l;
}

// Composites decoded rows first..last-1 (blue, green, red, alpha) into the picture.
void CompositeRows(const std::uint8_t* decoded, int stride, const Layout& l, PGColor back, int first,
                   int last, TPixelGraphic& image) {
    const int b = PGBlue(back), g = PGGreen(back), r = PGRed(back);
    for (int row = first; row < last; ++row) {
        const std::uint8_t* in = decoded + std::ptrdiff_t(row) * stride;
        std::uint8_t* px = image.ScanLine(l.y + row) + std::size_t(l.x) * 3;
        for (int x = 0; x < l.width; ++x, in += 4, px += 3) {
            const int a = in[3];
            px[0] = decode::Blend(in[0], b, a);
            px[1] = decode::Blend(in[1], g, a);
            px[2] = decode::Blend(in[2], r, a);
        }
    }
}

// The ICC profile of an extended file, empty when it has none.
std::vector<std::uint8_t> ColorProfileOf(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> profile;
    const WebPData whole{data.data(), data.size()};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) return profile;
    WebPChunkIterator chunk;
    if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) &&
        WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
        profile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    WebPDemuxDelete(demux);
    return profile;
}

void ReadWebP(TPGStream& stream, TPixelGraphic& image, const void* sender) {
    // The colour transparent pixels take, read before the picture changes.
    const PGColor back = image.BackGroundColor();
    const std::vector<std::uint8_t> data = ReadContainer(stream);
    Session s;
    const Layout l = Inspect(data, s);
    image.ColorProfile = ColorProfileOf(data);
    if (l.canvasWidth <= 0 || l.canvasHeight <= 0) Raise(GetPGLangStr(msg::WidthOrHeightZero));
    // The lossless decoder and our compositing hold the picture at four bytes a pixel;
    // either coding can describe a plain picture in next to no bytes.
    decode::CheckPictureSize(l.canvasWidth, l.canvasHeight, pgpf24Bit, 0, 0, Raise);
    if (decode::SaturatingMul(l.canvasWidth, l.canvasHeight) > decode::kMaxBufferBytes / 4)
        Raise(GetPGLangStr(msg::OutOfRange, "Image size"));

    WebPDecoderConfig& config = s.config;
    if (!WebPInitDecoderConfig(&config)) Raise(GetPGLangStr(msg::Failed, "WebPInitDecoderConfig"));
    image.SetSize(l.canvasWidth, l.canvasHeight, pgpf24Bit);
    if (l.width != l.canvasWidth || l.height != l.canvasHeight) image.Clear();
    if (l.width == 0 || l.height == 0) return;
    if (l.alpha) {
        config.output.colorspace = MODE_BGRA;
    } else {
        // Rows land in the picture's own memory: the frame's bottom row comes first
        // in the buffer, and the flip makes the decoder fill it last.
        const std::int64_t stride = image.Stride();
        config.output.colorspace = MODE_BGR;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = image.ScanLine(l.y + l.height - 1) + std::size_t(l.x) * 3;
        config.output.u.RGBA.stride = int(stride);
        config.output.u.RGBA.size = std::size_t(stride * (l.height - 1) + std::int64_t(l.width) * 3);
        config.options.flip = 1;
    }
    s.decoder = WebPIDecode(nullptr, 0, &config);
    if (!s.decoder) Raise(GetPGLangStr(msg::Failed, "WebPIDecode"));

    const decode::ProgressScope progress(image);
    int rowsDone = 0;
    const std::size_t slice = l.lossless ? std::max(kSliceBytes, l.size / kLosslessSlices) : kSliceBytes;
    for (std::size_t fed = std::min(l.size, slice);; fed = std::min(l.size, fed + slice)) {
        const VP8StatusCode status = WebPIUpdate(s.decoder, l.bytes, fed);
        if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) RaiseStatus(status);
        int rows = 0, stride = 0;
        const std::uint8_t* decoded = WebPIDecGetRGB(s.decoder, &rows, nullptr, nullptr, &stride);
        if (decoded && rows > rowsDone) {
            rows = std::min(rows, l.height);
            if (l.alpha) CompositeRows(decoded, stride, l, back, rowsDone, rows, image);
            rowsDone = rows;
            if (image.Progress(sender, rowsDone, l.height)) return;
        }
        if (status == VP8_STATUS_OK) return;
        if (fed == l.size) Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
    }
}

class TWEBPFileFormatReader : public TFileFormatReader {
public:
    TWEBPFileFormatReader() : TFileFormatReader("webp", "WebP", true, 1) {}

    bool IsSignature(std::span<const std::uint8_t> header) const override {
        return header.size() >= 12 && std::memcmp(header.data(), "RIFF", 4) == 0 &&
               std::memcmp(header.data() + 8, "WEBP", 4) == 0;
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        image.Gamma = PGDisplayGamma;
        ReadWebP(stream, image, this);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        const std::vector<std::uint8_t> data = ReadContainer(stream);
        Session s;
        const Layout l = Inspect(data, s);
        TImageInfo info;
        info.Count = l.frames;
        info.Width = l.canvasWidth;
        info.Height = l.canvasHeight;
        info.Bits = l.alpha ? 32 : 24;
        info.ColorText = "16.7M";
        info.Info1 = l.lossless ? "lossless" : "lossy";
        if (l.alpha) info.Info1 += ", alpha";
        if (l.frames > 1) info.Info1 += ", animated";
        return info;
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakeWEBPReader() { return std::make_unique<TWEBPFileFormatReader>(); }

}  // namespace quipix
