// Reading photos: toward the size they are shown at (the reduced picture against an
// exact area reduction of the full decode, its size, orientation and colour order;
// pictures at or below that size read exactly as without it), and from their
// embedded colour profile to sRGB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>
#ifdef QUIPIX_HAVE_LCMS2
#include <lcms2.h>
#endif

#include "fixtures.h"
#include "imaging/pixel_graphic.h"

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

// The source pixels of 0 .. from - 1 that target pixel i covers when the reduction
// is by boxes of factor pixels, the last one partial.
std::vector<int> Cover(int i, int from, int factor) {
    std::vector<int> covered;
    for (int s = i * factor; s < from && s < (i + 1) * factor; ++s) covered.push_back(s);
    return covered;
}

// Mean and largest channel difference between reduced and the mean of the pixels of
// full that each of its pixels stands for.
std::pair<double, int> CompareWithReference(const TPixelGraphic& reduced, const TPixelGraphic& full) {
    const int factor = int(std::lround(double(full.Width()) / reduced.Width()));
    double total = 0;
    int worst = 0;
    for (int y = 0; y < reduced.Height(); ++y) {
        const std::vector<int> rows = Cover(y, full.Height(), factor);
        for (int x = 0; x < reduced.Width(); ++x) {
            const std::vector<int> cols = Cover(x, full.Width(), factor);
            double sum[3] = {};
            for (int sy : rows)
                for (int sx : cols) {
                    const PGColor c = full.Pixels(sx, sy);
                    sum[0] += PGRed(c);
                    sum[1] += PGGreen(c);
                    sum[2] += PGBlue(c);
                }
            const double area = double(rows.size() * cols.size());
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
void LoadBoth(const Bytes& file, int shownWidth, int shownHeight, TPixelGraphic& reduced,
              TPixelGraphic& full) {
    reduced.ShownWidth = shownWidth;
    reduced.ShownHeight = shownHeight;
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
        {"png palette, reduced after the load", Png(320, 240, 3), 100, 100, 160, 120, 0.5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic reduced, full;
        LoadBoth(c.file, c.shownWidth, c.shownHeight, reduced, full);
        ASSERT_EQ(reduced.Width(), c.width);
        ASSERT_EQ(reduced.Height(), c.height);
        const auto [mean, worst] = CompareWithReference(reduced, full);
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

#ifdef QUIPIX_HAVE_LCMS2
// An RGB profile of sRGB's primaries and white with linear samples: mid-grey 128
// stored in it is 188 in sRGB, lighter, where the profile read as sRGB would leave it.
Bytes LinearProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(linear);
    return bytes;
}

TEST(PhotoColours, EmbeddedProfilesAreConvertedToSRGB) {
    const Bytes linear = LinearProfile();
    const Bytes damaged(linear.begin(), linear.begin() + 60);
    const Fill grey = {128, 128, 128};
    struct Case {
        const char* name;
        Bytes file;
        int shownWidth;
        int expected;  // each channel of every pixel, within 2
    };
    const Case cases[] = {
        {"jpeg", Jpeg(16, 16, 1, linear, grey), 0, 188},
        {"jpeg, reduced", Jpeg(64, 64, 1, linear, grey), 16, 188},
        {"png", Png(8, 8, 2, linear, grey), 0, 188},
        {"png, reduced", Png(64, 64, 2, linear, grey), 16, 188},
        {"jpeg without a profile", Jpeg(16, 16, 1, {}, grey), 0, 128},
        {"png with a damaged profile", Png(8, 8, 2, damaged, grey), 0, 128},
    };
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
                for (int v : {PGRed(p), PGGreen(p), PGBlue(p)})
                    ASSERT_NEAR(v, c.expected, 2) << x << "," << y;
            }
    }
}
#endif

}  // namespace
}  // namespace quipix::test
