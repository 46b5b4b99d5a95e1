// Reading photos: toward the size they are shown at (the reduced picture against an
// exact area reduction of the full decode, its size, orientation and colour order;
// pictures at or below that size read exactly as without it), upright, and from their
// embedded colour profile, or the colour space they name, to sRGB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>
#ifdef QUIPIX_HAVE_LCMS2
#include <lcms2.h>
#endif
#ifdef QUIPIX_HAVE_HEIF
#include <libheif/heif.h>
#endif

#include "fixtures.h"
#include "imaging/color_profile.h"
#include "imaging/pixel_graphic.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

// Distinct content per channel, so that a swapped channel, a turned or shifted
// picture all show as large differences; detail fine enough to be averaged away.
int Sample(int x, int y, int c, int w, int h) {
    if (c == 0) return x * 255 / std::max(1, w - 1);
    if (c == 1) return y * 255 / std::max(1, h - 1);
    return int(128 + 90 * std::sin(x / 5.0) * std::cos(y / 7.0));
}

// Red, green, blue bytes, top row first.
std::vector<std::uint8_t> Rgb(int w, int h) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rgb.push_back(std::uint8_t(Sample(x, y, c, w, h)));
    return rgb;
}

// An EXIF segment holding only an Orientation.
Bytes ExifWithOrientation(int orientation) {
    return {'E', 'x',  'i',  'f', 0,
            0,   'I',  'I',  42,  0,
            8,   0,    0,    0,   1,
            0,   0x12, 0x01, 3,   0,
            1,   0,    0,    0,   std::uint8_t(orientation),
            0,   0,    0,    0,   0,
            0,   0};
}

// Red, green, blue bytes of one colour.
using Fill = std::vector<std::uint8_t>;

Bytes Jpeg(int w, int h, int orientation, const Bytes& profile = {}, const Fill& fill = {}) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    if (orientation != 1) {
        const Bytes exif = ExifWithOrientation(orientation);
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    }
    if (!profile.empty()) jpeg_write_icc_profile(&c, profile.data(), unsigned(profile.size()));
    std::vector<std::uint8_t> rgb = Rgb(w, h);
    for (std::size_t i = 0; i < rgb.size() && !fill.empty(); ++i) rgb[i] = fill[i % 3];
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = rgb.data() + std::size_t(c.next_scanline) * std::size_t(w) * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

// colorType 2 (RGB), 0 (grey: the green channel) or 3 (a 256-entry palette that
// reads as the green channel's grey).
Bytes Png(int w, int h, int colorType, const Bytes& profile = {}, const Fill& fill = {}) {
    PngParts p;
    if (!profile.empty()) {
        uLongf size = compressBound(uLong(profile.size()));
        Bytes chunk = {'i', 'c', 'c', 0, 0};
        chunk.resize(5 + size);
        compress(chunk.data() + 5, &size, profile.data(), uLong(profile.size()));
        chunk.resize(5 + size);
        p.chunks.push_back({"iCCP", chunk});
    }
    p.width = w;
    p.height = h;
    p.colorType = colorType;
    std::vector<std::uint8_t> rgb = Rgb(w, h);
    for (std::size_t i = 0; i < rgb.size() && !fill.empty(); ++i) rgb[i] = fill[i % 3];
    for (int y = 0; y < h; ++y) {
        Bytes row;
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* px = &rgb[(std::size_t(y) * w + x) * 3];
            if (colorType == 2)
                row.insert(row.end(), px, px + 3);
            else
                row.push_back(px[1]);
        }
        p.rows.push_back(row);
    }
    if (colorType == 3) {
        Bytes palette;
        for (int i = 0; i < 256; ++i)
            palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
        p.chunks.push_back({"PLTE", palette});
    }
    return MakePng(p);
}

#ifdef QUIPIX_HAVE_HEIF
// An AVIF file of rgb (w x h, red, green, blue bytes, top row first) made with
// libheif's encoder, losslessly, stored with the orientation and naming its colours
// by primaries and transfer; empty when libheif has no AVIF encoder.
Bytes Avif(int w, int h, const std::vector<std::uint8_t>& rgb, heif_orientation orientation,
           heif_color_primaries primaries, heif_transfer_characteristics transfer) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    Bytes bytes;
    if (heif_context_get_encoder_for_format(context, heif_compression_AV1, &encoder).code == heif_error_Ok) {
        heif_encoder_set_lossless(encoder, 1);
        heif_encoder_set_parameter_string(encoder, "chroma", "444");
        heif_image* image = nullptr;
        heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < h; ++y)
            std::copy_n(&rgb[std::size_t(y) * w * 3], w * 3, plane + std::size_t(y) * std::size_t(stride));
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        nclx->color_primaries = primaries;
        nclx->transfer_characteristics = transfer;
        nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image, nclx);
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->output_nclx_profile = nclx;
        options->image_orientation = orientation;
        // Otherwise libheif leaves the nclx box out.
        options->macOS_compatibility_workaround_no_nclx_profile = 0;
        heif_context_encode_image(context, image, encoder, options, nullptr);
        heif_writer writer{1, [](heif_context*, const void* data, std::size_t size, void* out) {
                               auto* b = static_cast<Bytes*>(out);
                               b->insert(b->end(), static_cast<const std::uint8_t*>(data),
                                         static_cast<const std::uint8_t*>(data) + size);
                               return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                           }};
        heif_context_write(context, &writer, &bytes);
        heif_encoding_options_free(options);
        heif_nclx_color_profile_free(nclx);
        heif_image_release(image);
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return bytes;
}
#endif

// The source pixels of 0 .. from - 1 that target pixel i of to covers, with their
// shares: boxes of factor pixels, the last one partial, or with factor 0 the exact
// area of from / to pixels, pixels on a border shared by their parts.
std::vector<std::pair<int, double>> Cover(int i, int from, int to, int factor) {
    std::vector<std::pair<int, double>> covered;
    if (factor > 0) {
        for (int s = i * factor; s < from && s < (i + 1) * factor; ++s) covered.push_back({s, 1.0});
        return covered;
    }
    const double start = double(i) * from / to, end = double(i + 1) * from / to;
    for (int s = int(start); s < from && s < end; ++s)
        covered.push_back({s, std::min<double>(s + 1, end) - std::max<double>(s, start)});
    return covered;
}

// Mean and largest channel difference between reduced and the mean of the pixels of
// full that each of its pixels stands for, by whole boxes or (stretched) exact areas.
std::pair<double, int> CompareWithReference(const TPixelGraphic& reduced, const TPixelGraphic& full,
                                            bool stretched) {
    const int factor = stretched ? 0 : int(std::lround(double(full.Width()) / reduced.Width()));
    double total = 0;
    int worst = 0;
    for (int y = 0; y < reduced.Height(); ++y) {
        const auto rows = Cover(y, full.Height(), reduced.Height(), factor);
        for (int x = 0; x < reduced.Width(); ++x) {
            const auto cols = Cover(x, full.Width(), reduced.Width(), factor);
            double sum[3] = {}, area = 0;
            for (const auto& [sy, wy] : rows)
                for (const auto& [sx, wx] : cols) {
                    const PGColor c = full.Pixels(sx, sy);
                    sum[0] += PGRed(c) * wx * wy;
                    sum[1] += PGGreen(c) * wx * wy;
                    sum[2] += PGBlue(c) * wx * wy;
                    area += wx * wy;
                }
            const PGColor c = reduced.Pixels(x, y);
            const int got[3] = {PGRed(c), PGGreen(c), PGBlue(c)};
            for (int k = 0; k < 3; ++k) {
                const double d = std::fabs(got[k] - sum[k] / area);
                total += d;
                worst = std::max(worst, int(std::lround(d)));
            }
        }
    }
    return {total / (3.0 * reduced.Width() * reduced.Height()), worst};
}

// The file read toward a target, and read whole.
void LoadBoth(const Bytes& file, int shownWidth, int shownHeight, TPixelGraphic& reduced, TPixelGraphic& full,
              bool stretched = false) {
    reduced.ShownWidth = shownWidth;
    reduced.ShownHeight = shownHeight;
    reduced.ShownStretched = stretched;
    LoadBytes(reduced, file);
    LoadBytes(full, file);
}

TEST(ReducedDecode, MatchesAnAreaReductionOfTheFullDecode) {
    struct Case {
        const char* name;
        Bytes file;
        int shownWidth, shownHeight;
        int width, height;  // as read, upright
        double meanLimit;   // mean channel difference to the reference
        int worstLimit;     // largest
        bool stretched = false;
    };
    const Case cases[] = {
        // JPEG: DCT scaling by the largest of 1/2, 1/4, 1/8 not below the target.
        {"jpeg by 4", Jpeg(640, 480, 1), 150, 100, 160, 120, 1.0, 8},
        {"jpeg by 8, then by whole boxes", Jpeg(640, 480, 1), 30, 20, 40, 30, 1.0, 8},
        {"jpeg by 2, the target's height decides", Jpeg(640, 480, 1), 100, 200, 320, 240, 1.0, 8},
        // Stored sideways: the upright target is turned to the stored picture.
        {"jpeg turned", Jpeg(640, 480, 6), 100, 150, 120, 160, 1.0, 8},
        {"jpeg mirrored", Jpeg(640, 480, 2), 150, 100, 160, 120, 1.0, 8},
        // Other formats: whole boxes, the right and bottom ones partial.
        {"png rgb", Png(641, 479, 2), 160, 100, 161, 120, 0.5, 1},
        {"png grey", Png(300, 200, 0), 100, 100, 150, 100, 0.5, 1},
        {"png by boxes of more than 257 rows", Png(520, 520, 2), 2, 2, 2, 2, 0.5, 1},
        {"png palette, reduced after the load", Png(320, 240, 3), 100, 100, 160, 120, 0.5, 1},
        // To be stretched: a JPEG is read at the target's size, its shape lost.
        {"jpeg stretched", Jpeg(640, 480, 1), 150, 100, 150, 100, 1.0, 8, true},
        {"jpeg turned, stretched", Jpeg(640, 480, 6), 100, 150, 100, 150, 1.0, 8, true},
        {"jpeg stretched in one direction", Jpeg(640, 480, 1), 640, 300, 640, 300, 1.0, 8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic reduced, full;
        LoadBoth(c.file, c.shownWidth, c.shownHeight, reduced, full, c.stretched);
        ASSERT_EQ(reduced.Width(), c.width);
        ASSERT_EQ(reduced.Height(), c.height);
        const auto [mean, worst] = CompareWithReference(reduced, full, c.stretched);
        EXPECT_LE(mean, c.meanLimit);
        EXPECT_LE(worst, c.worstLimit);
    }
}

TEST(ReducedDecode, PicturesNotLargerThanTheTargetReadAsBefore) {
    struct Case {
        const char* name;
        Bytes file;
        int shownWidth, shownHeight;
    };
    const Case cases[] = {
        {"jpeg at the target", Jpeg(200, 100, 1), 200, 100},
        {"jpeg less than twice the target", Jpeg(390, 190, 1), 200, 100},
        {"jpeg turned, below the turned target", Jpeg(200, 100, 6), 100, 200},
        {"png below the target", Png(100, 80, 2), 200, 100},
        {"png larger in one direction only", Png(500, 80, 2), 200, 100},
        {"palette png at the target", Png(200, 100, 3), 200, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic reduced, full;
        LoadBoth(c.file, c.shownWidth, c.shownHeight, reduced, full);
        ASSERT_EQ(reduced.Width(), full.Width());
        ASSERT_EQ(reduced.Height(), full.Height());
        ASSERT_EQ(reduced.PixelFormat(), full.PixelFormat());
        for (int y = 0; y < full.Height(); ++y)
            ASSERT_TRUE(std::equal(full.ScanLine(y), full.ScanLine(y) + full.Stride(), reduced.ScanLine(y)))
                << "row " << y;
    }
}

#ifdef QUIPIX_HAVE_HEIF
// The container's rotation and mirroring, applied by libheif, with the EXIF
// Orientation's meaning: the four quarters of a picture wider than high end up in
// the corners given, the picture turned for orientations 5 to 8.
TEST(PhotoOrientation, HeifPicturesAreReadUpright) {
    const Fill colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    const int w = 16, h = 8;
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Fill& c = colours[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)];
            rgb.insert(rgb.end(), c.begin(), c.end());
        }
    struct Case {
        heif_orientation orientation;
        int corners[4];  // the quarter at the top left, top right, bottom left, bottom right
    };
    const Case cases[] = {
        {heif_orientation_normal, {0, 1, 2, 3}},
        {heif_orientation_flip_horizontally, {1, 0, 3, 2}},
        {heif_orientation_rotate_180, {3, 2, 1, 0}},
        {heif_orientation_flip_vertically, {2, 3, 0, 1}},
        {heif_orientation_rotate_90_cw_then_flip_horizontally, {0, 2, 1, 3}},
        {heif_orientation_rotate_90_cw, {2, 0, 3, 1}},
        {heif_orientation_rotate_90_cw_then_flip_vertically, {3, 1, 2, 0}},
        {heif_orientation_rotate_270_cw, {1, 3, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.orientation));
        const Bytes file = Avif(w, h, rgb, c.orientation, heif_color_primaries_ITU_R_BT_709_5,
                                heif_transfer_characteristic_IEC_61966_2_1);
        if (file.empty()) GTEST_SKIP() << "libheif has no AVIF encoder";
        TPixelGraphic image;
        LoadBytes(image, file);
        const bool turned = c.orientation >= heif_orientation_rotate_90_cw_then_flip_horizontally;
        ASSERT_EQ(image.Width(), turned ? h : w);
        ASSERT_EQ(image.Height(), turned ? w : h);
        const int xs[4] = {0, image.Width() - 1, 0, image.Width() - 1};
        const int ys[4] = {0, 0, image.Height() - 1, image.Height() - 1};
        for (int i = 0; i < 4; ++i) {
            const PGColor p = image.Pixels(xs[i], ys[i]);
            const Fill& want = colours[c.corners[i]];
            EXPECT_NEAR(PGRed(p), want[0], 8) << "corner " << i;
            EXPECT_NEAR(PGGreen(p), want[1], 8) << "corner " << i;
            EXPECT_NEAR(PGBlue(p), want[2], 8) << "corner " << i;
        }
    }
}
#endif

#ifdef QUIPIX_HAVE_LCMS2
// v as n little-endian bytes at the end of b.
void PutLe(Bytes& b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}

// An uncompressed RGB TIFF in one strip, with the profile when one is given.
Bytes Tiff(int w, int h, const Bytes& profile) {
    const std::vector<std::uint8_t> rgb = Rgb(w, h);
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const std::uint32_t count = profile.empty() ? 10 : 11;
    const std::uint32_t bitsAt = 8 + 2 + count * 12 + 4, profileAt = bitsAt + 6;
    const std::uint32_t pixelsAt = profileAt + std::uint32_t(profile.size());
    const std::uint32_t width = std::uint32_t(w), height = std::uint32_t(h);
    const Entry entries[] = {{256, 4, 1, width},
                             {257, 4, 1, height},
                             {258, 3, 3, bitsAt},
                             {259, 3, 1, 1},
                             {262, 3, 1, 2},
                             {273, 4, 1, pixelsAt},
                             {277, 3, 1, 3},
                             {278, 4, 1, height},
                             {279, 4, 1, std::uint32_t(rgb.size())},
                             {284, 3, 1, 1},
                             {34675, 7, std::uint32_t(profile.size()), profileAt}};
    Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    PutLe(b, count, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        PutLe(b, entries[i].tag, 2);
        PutLe(b, entries[i].type, 2);
        PutLe(b, entries[i].count, 4);
        PutLe(b, entries[i].value, 4);
    }
    PutLe(b, 0, 4);
    for (int i = 0; i < 3; ++i) PutLe(b, 8, 2);
    b.insert(b.end(), profile.begin(), profile.end());
    b.insert(b.end(), rgb.begin(), rgb.end());
    return b;
}

#ifdef QUIPIX_HAVE_WEBP
Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A simple WebP file (RIFF header, then one bitstream chunk) of w x h rewritten as an
// extended one with an ICCP chunk.
Bytes WebPWithProfile(const Bytes& simple, int w, int h, const Bytes& profile) {
    Bytes b = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W',  'E', 'B', 'P',
               'V', 'P', '8', 'X', 10, 0, 0, 0, 0x20, 0,   0,   0};
    PutLe(b, std::uint32_t(w - 1), 3);
    PutLe(b, std::uint32_t(h - 1), 3);
    b.insert(b.end(), {'I', 'C', 'C', 'P'});
    PutLe(b, std::uint32_t(profile.size()), 4);
    b.insert(b.end(), profile.begin(), profile.end());
    if (profile.size() % 2) b.push_back(0);
    b.insert(b.end(), simple.begin() + 12, simple.end());
    const std::uint32_t riff = std::uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[std::size_t(4 + i)] = std::uint8_t(riff >> (8 * i));
    return b;
}

#endif

#ifdef QUIPIX_HAVE_HEIF
// w x h of one colour.
std::vector<std::uint8_t> Solid(int w, int h, const Fill& fill) {
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), fill.begin(), fill.end());
    return rgb;
}
#endif

// sRGB's primaries and white with linear samples: mid-grey 128 stored in it is 188
// in sRGB, lighter, where the profile read as sRGB would leave it.
const RGBSpace kLinear = {
    {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}, RGBSpace::Curve::Linear};

// A grey profile with linear samples: grey 128 is 188 in sRGB too.
Bytes LinearGreyProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(linear);
    return bytes;
}

TEST(PhotoColours, EmbeddedProfilesAndNamedSpacesAreConvertedToSRGB) {
    const Bytes linear = MakeRGBProfile(kLinear);
    const Bytes damaged(linear.begin(), linear.begin() + 60);
    const Fill grey = {128, 128, 128};
    struct Case {
        const char* name;
        Bytes file;
        int shownWidth;
        Fill expected;  // every pixel, each channel within 2
    };
    std::vector<Case> cases = {
        {"jpeg", Jpeg(16, 16, 1, linear, grey), 0, {188, 188, 188}},
        {"jpeg, reduced", Jpeg(64, 64, 1, linear, grey), 16, {188, 188, 188}},
        {"png", Png(8, 8, 2, linear, grey), 0, {188, 188, 188}},
        {"png, reduced", Png(64, 64, 2, linear, grey), 16, {188, 188, 188}},
        {"grey png, grey profile", Png(8, 8, 0, LinearGreyProfile(), grey), 0, {188, 188, 188}},
        {"jpeg without a profile", Jpeg(16, 16, 1, {}, grey), 0, grey},
        {"png with a damaged profile", Png(8, 8, 2, damaged, grey), 0, grey},
    };
#ifdef QUIPIX_HAVE_HEIF
    // Colours named by primaries and transfer; the expected values worked out from
    // the spaces' definitions.
    const Fill orange = {180, 120, 60};
    struct Named {
        const char* name;
        heif_color_primaries primaries;
        heif_transfer_characteristics transfer;
        Fill colour, expected;
    };
    const Named named[] = {
        {"avif in display p3",
         heif_color_primaries_SMPTE_EG_432_1,
         heif_transfer_characteristic_IEC_61966_2_1,
         orange,
         {190, 117, 45}},
        {"avif, bt.709 linear",
         heif_color_primaries_ITU_R_BT_709_5,
         heif_transfer_characteristic_linear,
         grey,
         {188, 188, 188}},
        {"avif, bt.709 transfer",
         heif_color_primaries_ITU_R_BT_709_5,
         heif_transfer_characteristic_ITU_R_BT_709_5,
         grey,
         {140, 140, 140}},
        {"avif, unspecified (as sRGB)", heif_color_primaries_unspecified,
         heif_transfer_characteristic_unspecified, orange, orange},
    };
    for (const Named& n : named) {
        Bytes file = Avif(8, 8, Solid(8, 8, n.colour), heif_orientation_normal, n.primaries, n.transfer);
        if (!file.empty()) cases.push_back({n.name, std::move(file), 0, n.expected});
    }
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic image;
        image.ShownWidth = image.ShownHeight = c.shownWidth;
        LoadBytes(image, c.file);
        ASSERT_FALSE(image.Empty());
        EXPECT_TRUE(image.ColorProfile.empty());
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x) {
                const PGColor p = image.Pixels(x, y);
                ASSERT_NEAR(PGRed(p), c.expected[0], 2) << x << "," << y;
                ASSERT_NEAR(PGGreen(p), c.expected[1], 2) << x << "," << y;
                ASSERT_NEAR(PGBlue(p), c.expected[2], 2) << x << "," << y;
            }
    }
}

// Formats whose profile is only read, not reduced with: a profile with red's and
// blue's primaries exchanged must exchange those channels of any picture.
TEST(PhotoColours, TiffAndWebPProfilesAreConverted) {
    const Bytes swapped =
        MakeRGBProfile({{0.15, 0.06}, {0.30, 0.60}, {0.64, 0.33}, {0.3127, 0.3290}, RGBSpace::Curve::sRGB});
    struct Case {
        const char* name;
        Bytes plain, withProfile;
    };
    std::vector<Case> cases = {{"tiff", Tiff(24, 16, {}), Tiff(24, 16, swapped)}};
#ifdef QUIPIX_HAVE_WEBP
    const Bytes webp = ReadFile(DataPath("webp/lossless.webp"));
    TPixelGraphic size;
    LoadBytes(size, webp);
    cases.push_back({"webp", webp, WebPWithProfile(webp, size.Width(), size.Height(), swapped)});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic plain, converted;
        LoadBytes(plain, c.plain);
        LoadBytes(converted, c.withProfile);
        ASSERT_FALSE(plain.Empty());
        ASSERT_EQ(converted.Width(), plain.Width());
        ASSERT_EQ(converted.Height(), plain.Height());
        int worst = 0;
        for (int y = 0; y < plain.Height(); ++y)
            for (int x = 0; x < plain.Width(); ++x) {
                const PGColor p = plain.Pixels(x, y), q = converted.Pixels(x, y);
                for (int d : {PGRed(q) - PGBlue(p), PGGreen(q) - PGGreen(p), PGBlue(q) - PGRed(p)})
                    worst = std::max(worst, std::abs(d));
            }
        EXPECT_LE(worst, 2);
    }
}
#endif

}  // namespace
}  // namespace quipix::test
