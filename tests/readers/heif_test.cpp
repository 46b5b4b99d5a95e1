// The HEIF and AVIF reader: small pictures made with libheif's own encoder against
// the picture they were made from, the thumbnail a small target takes, transparency,
// and the registry's choice by signature; without libheif, the message that says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "support/image_checks.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

#ifdef QUIPIX_HAVE_HEIF
// The mean and the largest channel difference between two pictures of one size.
std::pair<double, int> Difference(const TPixelGraphic& a, const TPixelGraphic& b) {
    double total = 0;
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const PGColor p = a.Pixels(x, y), q = b.Pixels(x, y);
            for (int d : {PGRed(p) - PGRed(q), PGGreen(p) - PGGreen(q), PGBlue(p) - PGBlue(q)}) {
                total += std::abs(d);
                worst = std::max(worst, std::abs(d));
            }
        }
    return {total / (3.0 * a.Width() * a.Height()), worst};
}

TEST(HeifReader, PicturesReadCloseToTheirSource) {
    TPixelGraphic source;
    source.LoadPictureFile(DataPath("heif/src.png"));
    struct Case {
        const char* file;
        int shownWidth, shownHeight;
        int width, height;
        const char* description;
        double meanLimit = 4;  // the thumbnail is sampled, not averaged: the wave aliases
        int worstLimit = 48;
    };
    const Case cases[] = {
        {"photo.heic", 0, 0, 64, 48, "High Efficiency Image File Format"},
        {"photo.avif", 0, 0, 64, 48, "AV1 Image File Format"},
        // Read reduced toward a target: by boxes, or from a thumbnail that covers it.
        {"photo.heic", 30, 20, 32, 24, nullptr},
        {"thumb.heic", 16, 12, 16, 12, nullptr, 16, 64},
        {"thumb.heic", 30, 12, 32, 24, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.shownWidth));
        TPixelGraphic image;
        image.ReadWarningAction = pgwaRaise;
        image.ShownWidth = c.shownWidth;
        image.ShownHeight = c.shownHeight;
        image.LoadPictureFile(DataPath(std::string("heif/") + c.file));  // by signature, whatever the name
        ASSERT_EQ(image.Width(), c.width);
        ASSERT_EQ(image.Height(), c.height);
        TPixelGraphic reference;
        reference.SetSize(c.width, c.height, pgpf24Bit);
        reference.StretchMode = smPrecise;
        reference.AssignStretched(source);
        const auto [mean, worst] = Difference(image, reference);
        EXPECT_LE(mean, c.meanLimit);
        EXPECT_LE(worst, c.worstLimit);
        if (c.description) {
            TPGFileStream stream(DataPath(std::string("heif/") + c.file));
            TFileFormatReader* reader = FindFileFormatReader(stream, "");
            ASSERT_NE(reader, nullptr);
            EXPECT_EQ(reader->Description(), c.description);
            const TImageInfo info = reader->GetImageInfo(stream, 0);
            EXPECT_EQ(info.Width, 64);
            EXPECT_EQ(info.Height, 48);
        }
    }
}

TEST(HeifReader, TransparencyIsCompositedOverTheBackground) {
    for (const PGColor back : {PGRGB(0, 0, 0), PGRGB(255, 255, 255)}) {
        TPixelGraphic image;
        image.SetBackGroundColor(back);
        image.LoadPictureFile(DataPath("heif/alpha.heic"));
        ASSERT_EQ(image.Width(), 32);
        // The right half is half transparent: the background shows through by half.
        const PGColor opaque = image.Pixels(4, 12), half = image.Pixels(28, 12);
        EXPECT_NEAR(PGGreen(half), (PGGreen(opaque) + PGGreen(back)) / 2, 12);
    }
}
#else
TEST(HeifReader, FilesAreRecognisedAndSaidUnreadable) {
    for (const char* file : {"photo.heic", "photo.avif"}) {
        TPixelGraphic image;
        EXPECT_EQ(MessageOf<EPGHEIFFileFormatReader>(
                      [&] { image.LoadPictureFile(DataPath(std::string("heif/") + file)); }),
                  "HEIF: HEIF and AVIF pictures cannot be read on this system")
            << file;
    }
}
#endif

}  // namespace
}  // namespace quipix::test
