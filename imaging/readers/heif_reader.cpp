// HEIF (heic, heif) and AVIF reader over libheif, which decodes both: the primary
// picture, turned upright by the container's rotation and mirroring (the library
// applies them; an EXIF Orientation inside is only a copy of them and is not applied
// again), transparency composited over the picture's background colour, and its
// colour profile handed to the load (one named by primaries and transfer, nclx, is
// made into a profile unless it is sRGB). A picture shown much smaller is taken from a
// thumbnail that still covers that size, where the file has one, and reduced as its
// rows are copied. A build without libheif recognises the files and hands them to the
// system's decoder (Windows' own, where installed), or says it cannot read them.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef QUIPIX_HAVE_HEIF
#include <libheif/heif.h>
#endif

#include "imaging/color_profile.h"
#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

[[noreturn]] void Raise(const std::string& text) { throw EPGHEIFFileFormatReader("HEIF: " + text); }

// The brands of an ftyp box's major brand, which the file's first 16 bytes hold.
bool HasBrand(std::span<const std::uint8_t> header, std::initializer_list<const char*> brands) {
    if (header.size() < 12 || std::memcmp(header.data() + 4, "ftyp", 4) != 0) return false;
    for (const char* brand : brands)
        if (std::memcmp(header.data() + 8, brand, 4) == 0) return true;
    return false;
}

constexpr std::int64_t kMaxFileBytes = 2 * decode::kMaxBufferBytes;

std::vector<std::uint8_t> FileBytes(TPGStream& stream) {
    const std::int64_t size = stream.Remaining();
    if (size > kMaxFileBytes) Raise(GetPGLangStr(msg::OutOfRange, "File size"));
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    stream.ReadExact(data.data(), data.size());
    return data;
}

#ifdef QUIPIX_HAVE_HEIF

void Check(const heif_error& error) {
    if (error.code != heif_error_Ok) Raise(error.message ? error.message : "");
}

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct NclxDeleter {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;

// The largest side, squared, that libheif may allocate for: a picture of the largest
// buffer the readers allow (about 89 megapixels of 24 bits).
constexpr int kMaxCodedSide = 9459;

// The file in memory with its primary picture's handle.
struct Container {
    std::vector<std::uint8_t> data;
    std::unique_ptr<heif_context, ContextDeleter> context{heif_context_alloc()};
    Handle primary;

    explicit Container(TPGStream& stream) : data(FileBytes(stream)) {
        if (!context) Raise(GetPGLangStr(msg::Failed, "Memory allocation"));
        // The coded picture may claim far more than its container says: libheif
        // allocates by the codec's size, so it is bounded there too.
        heif_context_set_maximum_image_size_limit(context.get(), kMaxCodedSide);
        Check(heif_context_read_from_memory_without_copy(context.get(), data.data(), data.size(), nullptr));
        heif_image_handle* h = nullptr;
        Check(heif_context_get_primary_image_handle(context.get(), &h));
        primary.reset(h);
    }
};

// The primary picture, or its smallest thumbnail that still covers the size the
// picture is shown at.
Handle SourceFor(const Container& c, const TPixelGraphic& image) {
    const int count = heif_image_handle_get_number_of_thumbnails(c.primary.get());
    Handle best;
    if (image.ShownWidth <= 0 || image.ShownHeight <= 0 || count <= 0) return best;
    std::vector<heif_item_id> ids(std::size_t(count), 0);
    heif_image_handle_get_list_of_thumbnail_IDs(c.primary.get(), ids.data(), count);
    for (heif_item_id id : ids) {
        heif_image_handle* t = nullptr;
        if (heif_image_handle_get_thumbnail(c.primary.get(), id, &t).code != heif_error_Ok) continue;
        Handle thumb(t);
        const int w = heif_image_handle_get_width(t), h = heif_image_handle_get_height(t);
        if (w < image.ShownWidth || h < image.ShownHeight) continue;
        if (!best || w < heif_image_handle_get_width(best.get())) best = std::move(thumb);
    }
    return best;
}

// The profile of a picture that names its colours by primaries and transfer in a
// colr box; empty when they are sRGB's or unspecified, which is shown as it is.
// The decoded RGB picture carries no nclx of its own (libheif 1.15) to fall back on.
std::vector<std::uint8_t> NclxProfile(const heif_image_handle* handle) {
    heif_color_profile_nclx* n = nullptr;
    // Owned even when an error comes with it: libheif may have allocated it anyway.
    const bool read = heif_image_handle_get_nclx_color_profile(handle, &n).code == heif_error_Ok;
    const std::unique_ptr<heif_color_profile_nclx, NclxDeleter> nclx(n);
    if (!read || !nclx) return {};
    using Curve = RGBSpace::Curve;
    Curve curve = Curve::sRGB;
    switch (nclx->transfer_characteristics) {
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
        curve = Curve::BT709;
        break;
    case heif_transfer_characteristic_linear:
        curve = Curve::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        curve = Curve::Gamma22;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        curve = Curve::Gamma28;
        break;
    default:
        // sRGB and unspecified; also PQ and HLG, whose high dynamic range would need
        // tone mapping to the screen's: read as sRGB they look flat but recognisable.
        break;
    }
    // libheif leaves the chromaticities of unspecified and unknown primaries at 0.
    const bool sRGBPrimaries =
        nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 || !(nclx->color_primary_white_y > 0);
    if (sRGBPrimaries && curve == Curve::sRGB) return {};
    RGBSpace space{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}, curve};
    if (!sRGBPrimaries)
        space = {{nclx->color_primary_red_x, nclx->color_primary_red_y},
                 {nclx->color_primary_green_x, nclx->color_primary_green_y},
                 {nclx->color_primary_blue_x, nclx->color_primary_blue_y},
                 {nclx->color_primary_white_x, nclx->color_primary_white_y},
                 curve};
    return MakeRGBProfile(space);
}

void ReadHeif(TPGStream& stream, TPixelGraphic& image, const void* sender) {
    const Container c(stream);
    Handle thumb = SourceFor(c, image);
    heif_image_handle* source = thumb ? thumb.get() : c.primary.get();
    const int width = heif_image_handle_get_width(source);
    const int height = heif_image_handle_get_height(source);
    if (width <= 0 || height <= 0) Raise(GetPGLangStr(msg::NotSupportedSubformat));
    decode::CheckPictureSize(width, height, pgpf24Bit, 0, 0, Raise);
    const bool alpha = heif_image_handle_has_alpha_channel(source) != 0;

    decode::ProgressScope progress(image);
    heif_image* decoded = nullptr;
    Check(heif_decode_image(source, &decoded, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr));
    const std::unique_ptr<heif_image, ImageDeleter> picture(decoded);
    int stride = 0;
    const std::uint8_t* pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (!pixels || heif_image_get_width(decoded, heif_channel_interleaved) != width ||
        heif_image_get_height(decoded, heif_channel_interleaved) != height)
        Raise(GetPGLangStr(msg::NotSupportedSubformat));

    // The profile of the primary picture, which its thumbnails share.
    const std::size_t profileSize = heif_image_handle_get_raw_color_profile_size(c.primary.get());
    if (profileSize > 0) {
        image.ColorProfile.resize(profileSize);
        if (heif_image_handle_get_raw_color_profile(c.primary.get(), image.ColorProfile.data()).code !=
            heif_error_Ok)
            image.ColorProfile.clear();
    } else {
        image.ColorProfile = NclxProfile(c.primary.get());
    }

    const int factor = decode::ReductionFactor(width, height, image.ShownWidth, image.ShownHeight);
    decode::BoxReducer reducer(image, width, height, factor, 3);
    const PGColor back = image.BackGroundColor();
    const int backRGB[3] = {PGBlue(back), PGGreen(back), PGRed(back)};
    std::vector<std::uint8_t> row(std::size_t(width) * 3);
    const int in = alpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = pixels + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < width; ++x, p += in) {
            std::uint8_t* q = &row[std::size_t(x) * 3];
            for (int k = 0; k < 3; ++k) q[k] = alpha ? decode::Blend(p[2 - k], backRGB[k], p[3]) : p[2 - k];
        }
        reducer.AddRow(row.data());
        if (image.Progress(sender, y + 1, height)) return;
    }
}

TImageInfo HeifInfo(TPGStream& stream) {
    const Container c(stream);
    TImageInfo info;
    info.Count = heif_context_get_number_of_top_level_images(c.context.get());
    info.Width = heif_image_handle_get_width(c.primary.get());
    info.Height = heif_image_handle_get_height(c.primary.get());
    const bool alpha = heif_image_handle_has_alpha_channel(c.primary.get()) != 0;
    const int depth = heif_image_handle_get_luma_bits_per_pixel(c.primary.get());
    info.Bits = depth * (alpha ? 4 : 3);
    info.ColorText = depth > 8 ? std::to_string(depth) + " bit per channel" : "16.7M";
    info.Info1 = alpha ? "alpha" : "";
    if (heif_image_handle_get_raw_color_profile_size(c.primary.get()) > 0)
        info.Info1 += info.Info1.empty() ? "colour profile" : ", colour profile";
    return info;
}

#else

const char* const kNoDecoder = "HEIF and AVIF pictures cannot be read on this system";

std::atomic<SystemHeifDecoder> systemDecoder{nullptr};

void ReadHeif(TPGStream& stream, TPixelGraphic& image, const void*) {
    const SystemHeifDecoder decoder = systemDecoder.load();
    if (!decoder) Raise(kNoDecoder);
    const std::vector<std::uint8_t> data = FileBytes(stream);
    decode::ProgressScope progress(image);
    std::string error;
    switch (decoder(data, image, error)) {
    case SystemDecode::Done:
        return;
    case SystemDecode::NoDecoder:
        Raise(kNoDecoder);
    case SystemDecode::Failed:
        Raise(error);
    }
}

// The system's decoders tell a picture's size only by decoding it.
TImageInfo HeifInfo(TPGStream& stream) {
    TPixelGraphic image;
    ReadHeif(stream, image, nullptr);
    TImageInfo info;
    info.Count = 1;
    info.Width = image.Width();
    info.Height = image.Height();
    info.Bits = 24;
    info.ColorText = "16.7M";
    return info;
}

#endif

class THEIFFileFormatReader : public TFileFormatReader {
public:
    THEIFFileFormatReader(const std::string& extension, const std::string& description, bool av1)
        : TFileFormatReader(extension, description, true, 1), av1_(av1) {}

    bool IsSignature(std::span<const std::uint8_t> header) const override {
        if (av1_) return HasBrand(header, {"avif", "avis"});
        return HasBrand(header, {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"});
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        image.Gamma = PGDisplayGamma;
        ReadHeif(stream, image, this);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        return HeifInfo(stream);
    }

private:
    bool av1_;
};

}  // namespace

void SetSystemHeifDecoder(SystemHeifDecoder decoder) {
#ifndef QUIPIX_HAVE_HEIF
    systemDecoder.store(decoder);
#else
    (void)decoder;  // libheif reads them everywhere
#endif
}

std::unique_ptr<TFileFormatReader> MakeHEIFReader(const std::string& extension) {
    if (extension == "avif")
        return std::make_unique<THEIFFileFormatReader>(extension, "AV1 Image File Format", true);
    return std::make_unique<THEIFFileFormatReader>(extension, "High Efficiency Image File Format", false);
}

}  // namespace quipix
