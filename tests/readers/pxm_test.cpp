// PBM, PGM and PPM files written as text: the six kinds, maxval scaling, comments,
// number syntax, header checks and truncation.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"

namespace quipix::test {
namespace {

// The bytes of a literal, embedded zero bytes included.
template <std::size_t N>
std::vector<std::uint8_t> B(const char (&s)[N]) {
    return {s, s + N - 1};
}

class PxmTest : public ::testing::Test {
protected:
    std::unique_ptr<TFileFormatReader> reader = MakePxMReader("ppm");
    template <std::size_t N>
    std::string Error(const char (&text)[N]) {
        return ReadError<EPGPxMFileFormatReader>(*reader, B(text));
    }
};

TEST_F(PxmTest, RegistrationsAndSignatures) {
    const struct {
        const char* ext;
        const char* desc;
        char text, binary;
    } regs[] = {{"pbm", "Portable Bitmap", '1', '4'},
                {"pgm", "Portable Graymap", '2', '5'},
                {"ppm", "Portable Pixelmap", '3', '6'}};
    for (const auto& r : regs) {
        auto rd = MakePxMReader(r.ext);
        EXPECT_EQ(rd->Extension(), r.ext);
        EXPECT_EQ(rd->Description(), r.desc);
        for (char c = '0'; c <= '7'; ++c) {
            const std::uint8_t h[] = {'P', std::uint8_t(c)};
            EXPECT_EQ(rd->IsSignature(h), c == r.text || c == r.binary) << r.ext << c;
        }
    }
}

TEST_F(PxmTest, MaxvalFifteenScales) {
    auto img = Read(*reader, B("P2 3 1 15\n15 8 0\n"));
    EXPECT_EQ(img->PixelFormat(), pgpf8Bit);
    EXPECT_EQ(img->PaletteIdent(), pGray256);
    EXPECT_EQ(Values(*img), (ValueRows{{255, 136, 0}}));
}

TEST_F(PxmTest, SixteenBitMaxvalOnlyInText) {
    EXPECT_EQ(Error("P5 1 1 65535\n\x01\x02"), "PBM, PGM, PPM: Not supported subformat");
    EXPECT_EQ(Error("P6 1 1 256\n\x01\x02\x03"), "PBM, PGM, PPM: Not supported subformat");
    EXPECT_EQ(Values(*Read(*reader, B("P2 2 1 65535\n65535 32768\n"))), (ValueRows{{255, 127}}));
    // A text sample above maxval is clamped.
    EXPECT_EQ(Read(*reader, B("P2 1 1 100\n400\n"))->PixelValues(0, 0), 255u);
}

TEST_F(PxmTest, CommentsInTheHeaderAndTheRaster) {
    auto img = Read(*reader, B("P3\n# made by hand\n2 1 # size\n# maxval next\n255\n"
                               "1 2 3 # first pixel\n4 5#6\n 6\n"));
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(1, 2, 3), PGRGB(4, 5, 6)}}));
    // A comment right after the last header number ends where its line ends.
    img = Read(*reader, B("P5 2 1 255#x\nAB"));
    EXPECT_EQ(img->PixelValues(0, 0), std::uint32_t('A'));
}

TEST_F(PxmTest, BitmapsStoreBlackAsIndexZero) {
    auto img = Read(*reader, B("P1 3 2\n1 0 1\n0 0 1"));  // no newline after the last sample
    EXPECT_EQ(img->PixelFormat(), pgpf1Bit);
    EXPECT_EQ(Values(*img), (ValueRows{{0, 1, 0}, {1, 1, 0}}));
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(0, 0, 0));
    EXPECT_EQ(img->Pixels(1, 0), PGRGB(255, 255, 255));
    img = Read(*reader, B("P4 10 1\n\xA0\xC0"));
    EXPECT_EQ(img->ScanLine(0)[0], 0x5F);
    EXPECT_EQ(Values(*img), (ValueRows{{0, 1, 0, 1, 1, 1, 1, 1, 0, 0}}));
}

// A bitmap's samples are single digits and need no separator; in a greymap a run of
// digits is still one number.
TEST_F(PxmTest, PackedBitmapDigitsButGreyNumbersSpanDigits) {
    struct Case {
        std::string file;
        std::vector<std::uint32_t> pixels;
    };
    const Case cases[] = {
        {"P1 4 1\n0101\n", {1, 0, 1, 0}},
        {"P1 5 1\n01#comment 1\n 1\t00", {1, 0, 0, 1, 1}},
        {"P1 2 1\n0101 0\n", {1, 0}},
        {"P2 2 1 255\n0101 0\n", {101, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto img = Read(*reader, std::vector<std::uint8_t>(c.file.begin(), c.file.end()));
        EXPECT_EQ(Values(*img), ValueRows{c.pixels});
    }
    EXPECT_EQ(Error("P1 5 1\n0101\n"), "PBM, PGM, PPM: Unexpected end of file");
}

TEST_F(PxmTest, BinaryGreyAndColour) {
    auto img = Read(*reader, B("P6 2 1 127\n\x7F\x00\x10\x01\x02\x03"));
    EXPECT_EQ(img->PixelFormat(), pgpf24Bit);
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(255, 0, 32), PGRGB(2, 4, 6)}}));
    img = Read(*reader, B("P5 1 2 255\n\x09\xF0"));
    EXPECT_EQ(img->PixelValues(0, 1), 0xF0u);
}

TEST_F(PxmTest, AnyRegistrationReadsEveryKind) {
    auto img = Load(B("P6 1 1 255\n\x01\x02\x03"), "pbm");
    EXPECT_EQ(img->PixelFormat(), pgpf24Bit);
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(1, 2, 3));
    auto pbm = MakePxMReader("pbm");
    EXPECT_EQ(Read(*pbm, B("P2 1 1 255\n7\n"))->PixelValues(0, 0), 7u);
}

TEST_F(PxmTest, HeaderChecks) {
    EXPECT_EQ(Error("Q6 1 1 255\n"), "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
    EXPECT_EQ(Error("P7 1 1 255\n"), "PBM, PGM, PPM: Unknown subformat");
    EXPECT_EQ(Error("P2 1 1 0\n0\n"), "PBM, PGM, PPM: Not supported subformat");
    EXPECT_EQ(Error("P2 0 1 255\n"), "PBM, PGM, PPM: Not supported subformat");
    EXPECT_EQ(Error("P4 1 0\n"), "PBM, PGM, PPM: Not supported subformat");
    EXPECT_EQ(Error("P6 3000 3000 255\n\x01"), "PBM, PGM, PPM: Unexpected end of file");
    EXPECT_EQ(Error("P6 99999999 99999999 255\n"), "PBM, PGM, PPM: Image size out of range");
    EXPECT_EQ(Error("P6 2 2"), "PBM, PGM, PPM: Unexpected end of file");
    const auto bytes = B("P2 1 1 1\n1\n");
    TPixelGraphic img;
    TPGMemoryStream s(bytes);
    EXPECT_EQ(MessageOf<EPGPxMFileFormatReader>([&] { reader->ReadImage(s, img, 1); }), "PxM: Index invalid");
    EXPECT_EQ(MessageOf<EPGPxMFileFormatReader>([&] { Info(*reader, bytes, 1); }),
              "PBM, PGM, PPM: Invalid value for Index");
}

TEST_F(PxmTest, TruncatedRasterKeepsEarlierRows) {
    TPixelGraphic img;
    const auto bytes = B("P5 2 3 255\n\x01\x02\x03");
    TPGMemoryStream s(bytes);
    EXPECT_EQ(MessageOf<EPGPxMFileFormatReader>([&] { reader->ReadImage(s, img, 0); }),
              "PBM, PGM, PPM: Unexpected end of file");
    EXPECT_EQ(img.Height(), 3);
    EXPECT_EQ(img.PixelValues(1, 0), 2u);
}

TEST_F(PxmTest, ImageInfo) {
    EXPECT_EQ(Described(Info(*reader, B("P4\n# c\n640 480\n"))), "Binary |  | 1 | 2 | 640x480");
    const TImageInfo info = Info(*reader, B("P2 1 2 255"));
    EXPECT_EQ(info.Info1, "ASCII");
    EXPECT_EQ(info.ColorText, "256");
    EXPECT_EQ(Info(*reader, B("P3 1 2 255")).ColorText, "16.7M");
    EXPECT_EQ(MessageOf<EPGPxMFileFormatReader>([&] { Info(*reader, B("X")); }),
              "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
}

}  // namespace
}  // namespace quipix::test
