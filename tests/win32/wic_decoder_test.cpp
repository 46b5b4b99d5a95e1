// The WIC decoder of HEIF and AVIF pictures. Wine has WIC's PNG and JPEG decoders but
// no HEIF one, so the decoding is held against the core's own readers on those, and a
// HEIF file must come back as "no decoder", which the core's reader then says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "imaging/exceptions.h"
#include "support/image_checks.h"
#include "support/test_support.h"
#include "win32/wic_decoder.h"

namespace quipix {
namespace {

using test::DataPath;
using test::MessageOf;
using test::ReadBytes;

TEST(WicDecoder, DecodesAsTheCoreReadersDo) {
    struct Case {
        const char* file;
        int tolerance;  // JPEG decoders differ in their rounding
        PGColor background;
        int shownWidth = 0, shownHeight = 0;  // a reduced read below half the size (40 x 30)
    };
    for (const Case& c : {Case{"png/rgb8.png", 0, 0}, Case{"png/rgb8.png", 0, 0, 13, 10},
                          Case{"png/rgba8.png", 0, PGRGB(0, 0, 0)}, Case{"png/rgba8.png", 0, PGRGB(255, 255, 255)},
                          Case{"png/palette16.png", 0, 0}, Case{"jpg/colour444.jpg", 8, 0}}) {
        SCOPED_TRACE(c.file);
        TPixelGraphic core, wic;
        for (TPixelGraphic* p : {&core, &wic}) {
            p->SetBackGroundColor(c.background);
            p->ShownWidth = c.shownWidth;
            p->ShownHeight = c.shownHeight;
        }
        core.LoadPictureFile(DataPath(c.file));
        std::string error;
        ASSERT_EQ(win32::DecodeWithWic(ReadBytes(DataPath(c.file)), wic, error), SystemDecode::Done) << error;
        ASSERT_EQ(wic.Width(), core.Width());
        ASSERT_EQ(wic.Height(), core.Height());
        if (c.shownWidth > 0) {
            EXPECT_EQ(wic.Width(), 14) << "40 / 3, rounded up";
        }
        int worst = 0;
        for (int y = 0; y < core.Height(); ++y)
            for (int x = 0; x < core.Width(); ++x) {
                const PGColor a = core.Pixels(x, y), b = wic.Pixels(x, y);
                for (int d : {PGRed(a) - PGRed(b), PGGreen(a) - PGGreen(b), PGBlue(a) - PGBlue(b)})
                    worst = std::max(worst, std::abs(d));
            }
        EXPECT_LE(worst, c.tolerance);
    }
}

TEST(WicDecoder, ASystemWithoutTheHeifCodecLeavesTheCoreReaderSayingSo) {
    const std::string file = DataPath("heif/photo.heic");
    TPixelGraphic image;
    std::string error;
    const SystemDecode result = win32::DecodeWithWic(ReadBytes(file), image, error);
    if (result == SystemDecode::Done) {
        // Windows with the HEIF extension installed.
        EXPECT_EQ(image.Width(), 64);
        EXPECT_EQ(image.Height(), 48);
        return;
    }
    ASSERT_EQ(result, SystemDecode::NoDecoder) << error;
    SetSystemHeifDecoder(win32::DecodeWithWic);
    EXPECT_EQ(MessageOf<EPGHEIFFileFormatReader>([&] { image.LoadPictureFile(file); }),
              "HEIF: HEIF and AVIF pictures cannot be read on this system");
    SetSystemHeifDecoder(nullptr);
}

// The reader's side of the seam: what the installed decoder says, or its picture.
TEST(WicDecoder, TheHeifReaderPassesOnWhatTheSystemDecoderSays) {
    const auto failed = [](std::span<const std::uint8_t>, TPixelGraphic&, std::string& error) {
        error = "broken";
        return SystemDecode::Failed;
    };
    const auto done = [](std::span<const std::uint8_t>, TPixelGraphic& image, std::string&) {
        image.SetSize(3, 2, pgpf24Bit);
        return SystemDecode::Done;
    };
    const std::string file = DataPath("heif/photo.avif");
    TPixelGraphic image;
    SetSystemHeifDecoder(failed);
    EXPECT_EQ(MessageOf<EPGHEIFFileFormatReader>([&] { image.LoadPictureFile(file); }), "HEIF: broken");
    SetSystemHeifDecoder(done);
    image.LoadPictureFile(file);
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 2);
    SetSystemHeifDecoder(nullptr);
}

}  // namespace
}  // namespace quipix
