// TGA files built byte by byte: colour maps, depths, pixel orders, run-length packets
// and the choice of this reader by extension.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"

namespace quipix::test {
namespace {

Bytes TgaHeader(int type, int depth, int width, int height, int descriptor = 0, int mapType = 0,
                int mapFirst = 0, int mapLength = 0, int entryBits = 0, int idLength = 0) {
    Bytes b;
    b.u8(idLength).u8(mapType).u8(type).u16(mapFirst).u16(mapLength).u8(entryBits);
    b.u16(0).u16(0).u16(width).u16(height).u8(depth).u8(descriptor);
    b.fill(std::size_t(idLength), 'i');
    return b;
}

class TgaTest : public ::testing::Test {
protected:
    std::unique_ptr<TFileFormatReader> reader = MakeTGAReader();
    std::string Error(const std::vector<std::uint8_t>& bytes) {
        return ReadError<EPGTGAFileFormatReader>(*reader, bytes);
    }
};

TEST_F(TgaTest, RegistrationHasNoSignature) {
    EXPECT_EQ(reader->Extension(), "tga");
    EXPECT_EQ(reader->Description(), "Truevision Targa");
    EXPECT_FALSE(reader->HasSignature());
}

TEST_F(TgaTest, EightBitWithoutMapLoadsAsGreys) {
    auto img = Read(*reader, TgaHeader(3, 8, 2, 1).raw({7, 200}).data);
    EXPECT_EQ(img->PixelFormat(), pgpf8Bit);
    EXPECT_EQ(img->PaletteIdent(), pGray256);
    EXPECT_EQ(img->Pixels(1, 0), PGRGB(200, 200, 200));
}

TEST_F(TgaTest, SixteenBitMapEntriesAndTheFirstIndex) {
    // Entries 2 and 3 of a four-entry map are used: map index i is palette entry i - 2.
    Bytes b = TgaHeader(1, 8, 2, 1, 0, 1, 2, 4, 16, 3);
    b.u16(0x7FFF).u16(0x7FFF).u16(0x001F).u16(0x7C00);
    b.raw({0, 1});
    auto img = Read(*reader, b.data);
    EXPECT_EQ(img->PaletteCount(), 2);
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(0, 0, 248), PGRGB(248, 0, 0)}}));

    Bytes m = TgaHeader(1, 8, 1, 1, 0, 1, 0, 1, 24);
    m.raw({1, 2, 3}).raw({0});
    EXPECT_EQ(Read(*reader, m.data)->Pixels(0, 0), PGRGB(3, 2, 1));
    m.data[7] = 15;
    EXPECT_EQ(Error(m.data), "TGA: Not supported subformat");
}

TEST_F(TgaTest, FirstIndexPastTheLengthMeansNoMap) {
    auto img = Read(*reader, TgaHeader(1, 8, 1, 1, 0, 1, 5, 2, 24).fill(6, 0x55).raw({9}).data);
    EXPECT_EQ(img->PaletteIdent(), pGray256);
    EXPECT_EQ(img->PixelValues(0, 0), 9u);  // the map's bytes were still skipped
}

TEST_F(TgaTest, DescriptorBitsFourAndFivePlacePixels) {
    // Bottom-up left-to-right is the default; bit 5 is top-down, bit 4 right-to-left.
    const std::vector<int> pixels = {1, 2, 3, 4, 5, 6};  // two rows of three, file order
    const auto at = [&](int descriptor) {
        Bytes b = TgaHeader(3, 8, 3, 2, descriptor);
        for (int p : pixels) b.u8(p);
        return Values(*Read(*reader, b.data));
    };
    EXPECT_EQ(at(0x00), (ValueRows{{4, 5, 6}, {1, 2, 3}}));
    EXPECT_EQ(at(0x20), (ValueRows{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(at(0x10), (ValueRows{{6, 5, 4}, {3, 2, 1}}));
    EXPECT_EQ(at(0x30), (ValueRows{{3, 2, 1}, {6, 5, 4}}));
}

TEST_F(TgaTest, SixteenAndThirtyTwoBitPixels) {
    auto img = Read(*reader, TgaHeader(2, 16, 3, 1, 0x20).u16(0x7FFF).u16(0x001F).u16(0x03E0).data);
    EXPECT_EQ(img->PixelFormat(), pgpf24Bit);
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(248, 248, 248), PGRGB(0, 0, 248), PGRGB(0, 248, 0)}}));

    img = Read(*reader, TgaHeader(2, 32, 1, 1).raw({10, 20, 30, 99}).data);
    EXPECT_EQ(img->PixelFormat(), pgpf24Bit);
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(30, 20, 10));
}

TEST_F(TgaTest, RunLengthPacketsCarryIntoTheNextRow) {
    Bytes b = TgaHeader(10, 24, 3, 2, 0x20);
    b.raw({0x83, 0, 0, 255})             // four red pixels: one spills into row 1
        .raw({0x01, 1, 2, 3, 4, 5, 6});  // two literal pixels finish row 1
    const PGColor red = PGRGB(255, 0, 0);
    EXPECT_EQ(Colours(*Read(*reader, b.data)),
              (ColourRows{{red, red, red}, {red, PGRGB(3, 2, 1), PGRGB(6, 5, 4)}}));

    // A run far longer than the picture writes nothing past it.
    EXPECT_EQ(Read(*reader, TgaHeader(11, 8, 1, 1).raw({0xFF, 42}).data)->PixelValues(0, 0), 42u);
}

TEST_F(TgaTest, ShortFilesAndBadDepths) {
    EXPECT_EQ(Error(TgaHeader(10, 24, 2, 2).raw({0x81, 1, 2, 3}).data), "TGA: Unexpected end of file");
    Bytes plain = TgaHeader(2, 24, 2, 2);
    plain.fill(7, 1);
    EXPECT_EQ(MessageOf<EReadError>([&] { Read(*reader, plain.data); }), "Stream read error");
    EXPECT_EQ(MessageOf<EReadError>([&] { Read(*reader, {0, 0, 2}); }), "Stream read error");
    EXPECT_EQ(Error(TgaHeader(2, 15, 1, 1).data), "TGA: Not supported subformat");
    EXPECT_EQ(Error(TgaHeader(2, 24, 60000, 60000).data), "TGA: Image size out of range");
    EXPECT_EQ(Error(TgaHeader(10, 24, 4000, 4000).data), "TGA: Unexpected end of file");
    TPixelGraphic img;
    TPGMemoryStream s(plain.data);
    EXPECT_EQ(MessageOf<EPGTGAFileFormatReader>([&] { reader->ReadImage(s, img, 1); }), "TGA: Index invalid");
}

TEST_F(TgaTest, ImageInfo) {
    EXPECT_EQ(Described(Info(*reader, TgaHeader(11, 32, 5, 6).data)),
              "Run-length encoded | \"Black-and-white\" | 32 | 16.7M ? | 5x6");
    EXPECT_EQ(Described(Info(*reader, TgaHeader(1, 8, 5, 6).data)),
              "Uncompressed | Color-mapped | 8 | 256 | 5x6");
    EXPECT_EQ(Info(*reader, TgaHeader(10, 24, 1, 1).data).ColorText, "16.7M");
    EXPECT_EQ(Info(*reader, TgaHeader(2, 16, 1, 1).data).Info2, "True-color");
    EXPECT_EQ(MessageOf<EPGTGAFileFormatReader>([&] { Info(*reader, TgaHeader(4, 8, 1, 1).data); }),
              "TGA: Invalid value for ImageType");
    EXPECT_EQ(MessageOf<EPGTGAFileFormatReader>([&] { Info(*reader, TgaHeader(1, 8, 1, 1).data, 1); }),
              "TGA: Invalid value for Index");
}

TEST_F(TgaTest, ChosenByExtensionOnlyWhenNoSignatureMatches) {
    Bytes b = TgaHeader(2, 24, 1, 1);
    b.raw({1, 2, 3});
    EXPECT_EQ(Load(b.data, "tga")->Pixels(0, 0), PGRGB(3, 2, 1));
    EXPECT_EQ(MessageOf<EPGUnknownFileFormat>([&] { Load(b.data, "xyz"); }), "Unknown file format");
    // An ID length of 10 makes the first byte 0x0A: the PCX reader takes the file.
    EXPECT_NE(MessageOf<EPGPCXFileFormatReader>([&] {
                  Load(TgaHeader(2, 24, 1, 1, 0, 0, 0, 0, 0, 10).raw({1, 2, 3}).data, "tga");
              }),
              "");
}

}  // namespace
}  // namespace quipix::test
