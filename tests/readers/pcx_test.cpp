// PCX files built byte by byte: the four layouts, palettes, runs at line ends,
// header checks and truncation.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"

namespace quipix::test {
namespace {

Bytes PcxHeader(int version, int bits, int planes, int width, int height, int bytesPerLine,
                int paletteInfo = 1, int reserved = 0, const std::vector<int>& colorMap = {}) {
    Bytes b;
    b.u8(0x0A).u8(version).u8(1).u8(bits);
    b.u16(0).u16(0).u16(width - 1).u16(height - 1).u16(72).u16(72);
    for (int i = 0; i < 48; ++i) b.u8(i < int(colorMap.size()) ? colorMap[std::size_t(i)] : 0);
    b.u8(reserved).u8(planes).u16(bytesPerLine).u16(paletteInfo);
    b.fill(128 - b.size(), 0);
    return b;
}

class PcxTest : public ::testing::Test {
protected:
    std::unique_ptr<TFileFormatReader> reader = MakePCXReader();
    std::string Error(const std::vector<std::uint8_t>& bytes) {
        return ReadError<EPGPCXFileFormatReader>(*reader, bytes);
    }
};

TEST_F(PcxTest, Registration) {
    EXPECT_EQ(reader->Extension(), "pcx");
    EXPECT_EQ(reader->Description(), "Paintbrush");
    const std::uint8_t yes[] = {0x0A, 0x77}, no[] = {0x0B};
    EXPECT_TRUE(reader->IsSignature(yes));
    EXPECT_FALSE(reader->IsSignature(no));
}

TEST_F(PcxTest, OneBitMasksBitsBeyondTheWidth) {
    auto img = Read(*reader, PcxHeader(5, 1, 1, 3, 2, 2).raw({0xFF, 0xFF}).raw({0x5F, 0x00}).data);
    EXPECT_EQ(img->PixelFormat(), pgpf1Bit);
    EXPECT_EQ(img->PaletteIdent(), pBlackWhite);
    EXPECT_EQ(img->ScanLine(0)[0], 0xE0);
    EXPECT_EQ(img->ScanLine(1)[0], 0x40);
    EXPECT_EQ(Colours(*img)[1], (std::vector<Rgb>{PGRGB(0, 0, 0), PGRGB(255, 255, 255), PGRGB(0, 0, 0)}));
}

TEST_F(PcxTest, FourPlanesVersion3UseSystemColoursOthersTheHeaderMap) {
    std::vector<int> map(48, 0);
    map[3 * 9] = 1, map[3 * 9 + 1] = 2, map[3 * 9 + 2] = 3;
    // Pixel 0 has bits in planes 0 and 3 (index 9), pixel 1 in plane 1 only (index 2).
    const auto build = [&](int version) {
        return PcxHeader(version, 1, 4, 2, 1, 1, 1, 0, map).raw({0x80, 0x40, 0x00, 0x80}).data;
    };
    auto img = Read(*reader, build(3));
    EXPECT_EQ(img->PixelFormat(), pgpf4Bit);
    EXPECT_EQ(img->PaletteIdent(), pSys16);
    EXPECT_EQ(Values(*img), (ValueRows{{9, 2}}));
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(255, 0, 0));
    img = Read(*reader, build(5));
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(1, 2, 3));
}

TEST_F(PcxTest, RunCrossingTheLineEndIsDropped) {
    Bytes b = PcxHeader(5, 8, 1, 4, 2, 4);
    b.raw({0xC6, 9})            // six nines: the line takes four
        .raw({0xC2, 3, 4, 5});  // the next line starts with a fresh code
    b.u8(12);
    for (int i = 0; i < 256; ++i) b.u8(i).u8(i).u8(i);
    auto img = Read(*reader, b.data);
    EXPECT_EQ(Values(*img), (ValueRows{{9, 9, 9, 9}, {3, 3, 4, 5}}));
    EXPECT_EQ(img->PaletteCount(), 256);
    EXPECT_EQ(img->Pixels(3, 1), PGRGB(5, 5, 5));
}

TEST_F(PcxTest, ZeroLengthRunsStoreNothing) {
    Bytes b = PcxHeader(5, 8, 3, 1, 1, 1);
    b.raw({0xC0, 77, 10, 0xC0, 1, 20, 30});
    EXPECT_EQ(Read(*reader, b.data)->Pixels(0, 0), PGRGB(10, 20, 30));
}

TEST_F(PcxTest, MissingPaletteMarkerIsRefusedAndThePositionKept) {
    Bytes b = PcxHeader(5, 8, 1, 1, 1, 1);
    b.raw({7}).fill(800, 0);
    TPixelGraphic img;
    TPGMemoryStream s(b.data);
    EXPECT_EQ(MessageOf<EPGPCXFileFormatReader>([&] { reader->ReadImage(s, img, 0); }),
              "PCX: Unknown subformat");
    EXPECT_EQ(s.Position(), 128);
}

TEST_F(PcxTest, SubformatChecks) {
    EXPECT_EQ(Error(PcxHeader(5, 8, 3, 1, 1, 1, 2).data), "PCX: Unknown subformat");
    EXPECT_EQ(Error(PcxHeader(5, 8, 3, 1, 1, 1, 0).data), "PCX: Unknown subformat");
    EXPECT_EQ(Error(PcxHeader(5, 8, 3, 1, 1, 1, 1, 1).data), "PCX: Unknown subformat");
    EXPECT_EQ(Error(PcxHeader(5, 8, 2, 1, 1, 1).data), "PCX: Unknown subformat");
    EXPECT_EQ(Error(PcxHeader(5, 4, 1, 1, 1, 1).data), "PCX: Unknown subformat");
    EXPECT_EQ(Error(PcxHeader(5, 8, 3, 4, 1, 3).data), "PCX: Invalid value for BytesPerLine");
    EXPECT_EQ(Error(PcxHeader(5, 8, 3, 6000, 6000, 6000).data), "PCX: Unexpected end of file");
    auto header = PcxHeader(5, 8, 3, 1, 1, 1).data;
    header.resize(100);
    EXPECT_EQ(Error(header), "PCX: Unexpected end of file");
    TPixelGraphic img;
    TPGMemoryStream s(header);
    EXPECT_EQ(MessageOf<EPGPCXFileFormatReader>([&] { reader->ReadImage(s, img, 1); }), "PCX: Index invalid");
}

TEST_F(PcxTest, TruncationKeepsTheRowsDecodedSoFar) {
    Bytes b = PcxHeader(5, 8, 3, 1, 3, 1);
    b.raw({1, 2, 3}).raw({4, 5});
    TPixelGraphic img;
    TPGMemoryStream s(b.data);
    EXPECT_EQ(MessageOf<EPGPCXFileFormatReader>([&] { reader->ReadImage(s, img, 0); }),
              "PCX: Unexpected end of file");
    EXPECT_EQ(img.Height(), 3);
    EXPECT_EQ(img.Pixels(0, 0), PGRGB(1, 2, 3));
}

TEST_F(PcxTest, ImageInfo) {
    EXPECT_EQ(Described(Info(*reader, PcxHeader(5, 8, 3, 640, 480, 640).data)),
              "Version 3.0 (5) |  | 24 | 16.7M | 640x480");
    const TImageInfo info = Info(*reader, PcxHeader(3, 1, 4, 1, 1, 1).data);
    EXPECT_EQ(info.ColorText, "16");
    EXPECT_EQ(info.Info1, "Version 2.8 (3) without Palette");
    EXPECT_EQ(Info(*reader, PcxHeader(0, 1, 1, 1, 1, 1).data).Info1, "Version 2.5 (0)");
    EXPECT_EQ(Info(*reader, PcxHeader(2, 1, 1, 1, 1, 1).data).Info1, "Version 2.8 (2) with Palette");
    EXPECT_EQ(Info(*reader, PcxHeader(4, 1, 1, 1, 1, 1).data).Info1, "");
    EXPECT_EQ(MessageOf<EPGPCXFileFormatReader>([&] { Info(*reader, PcxHeader(5, 1, 1, 1, 1, 1, 2).data); }),
              "PCX: Unknown subformat");
    EXPECT_EQ(MessageOf<EPGPCXFileFormatReader>([&] { Info(*reader, PcxHeader(5, 1, 1, 1, 1, 1).data, 1); }),
              "PCX: Invalid value for Index");
}

}  // namespace
}  // namespace quipix::test
