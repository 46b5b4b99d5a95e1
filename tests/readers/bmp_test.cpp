// BMP, DIB and RLE files built byte by byte: layouts, bit fields, run-length codes,
// header checks, short files and the size limits.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"

namespace quipix::test {
namespace {

struct InfoBmp {
    int width = 1, height = 1, bits = 24, planes = 1;
    std::uint32_t compression = 0, clrUsed = 0, sizeImage = 0;
    std::vector<std::uint32_t> masks{};  // written after the header
    std::vector<std::uint32_t> table{};  // 0x00RRGGBB entries, written as B, G, R, 0
    std::uint32_t gap = 0;               // bytes between the table and the pixels
    bool announceGap = true;             // the file header's offset points past the gap
    Bytes pixels{};

    std::vector<std::uint8_t> Build() const {
        const std::uint32_t tableEnd = 14 + 40 + 4 * std::uint32_t(masks.size() + table.size());
        Bytes b;
        b.str("BM").u32(0).u32(0).u32(announceGap ? tableEnd + gap : tableEnd);
        b.u32(40).u32(std::uint32_t(width)).u32(std::uint32_t(height)).u16(planes).u16(bits);
        b.u32(compression).u32(sizeImage ? sizeImage : std::uint32_t(pixels.size()));
        b.u32(2835).u32(2835).u32(clrUsed).u32(0);
        for (auto m : masks) b.u32(m);
        for (auto c : table) b.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF).u8(0);
        b.fill(gap, 0xEE);
        b.data.insert(b.data.end(), pixels.data.begin(), pixels.data.end());
        return b.data;
    }
};

class BmpTest : public ::testing::Test {
protected:
    std::unique_ptr<TFileFormatReader> reader = MakeBMPReader("bmp");
    std::string Error(const std::vector<std::uint8_t>& bytes) {
        return ReadError<EPGBMPFileFormatReader>(*reader, bytes);
    }
};

TEST_F(BmpTest, RegistrationsShareTheSignature) {
    for (const char* ext : {"bmp", "dib", "rle"}) {
        auto r = MakeBMPReader(ext);
        EXPECT_EQ(r->Extension(), ext);
        EXPECT_EQ(r->Description(), "Bitmap");
        EXPECT_TRUE(r->HasSignature());
        const std::uint8_t bm[] = {'B', 'M'}, b[] = {'B'}, mb[] = {'M', 'B'};
        EXPECT_TRUE(r->IsSignature(bm));
        EXPECT_FALSE(r->IsSignature(b));
        EXPECT_FALSE(r->IsSignature(mb));
    }
}

TEST_F(BmpTest, TrueColourLayoutsAndBitFields) {
    const struct {
        const char* name;
        InfoBmp file;
        ColourRows rows;
    } cases[] = {
        {"top-down 24 bits upright with its true height, rows padded to 8 bytes",
         {.width = 2,
          .height = -2,
          .pixels = Bytes().raw({0, 0, 255, 0, 255, 0, 0, 0}).raw({255, 0, 0, 255, 255, 255, 0, 0})},
         {{PGRGB(255, 0, 0), PGRGB(0, 255, 0)}, {PGRGB(0, 0, 255), PGRGB(255, 255, 255)}}},
        // 16 of 31 in each channel for 0x4210.
        {"16 bits 5-5-5: eight times plus eight",
         {.width = 4, .bits = 16, .pixels = Bytes().u16(0x7FFF).u16(0x0001).u16(0x0000).u16(0x4210)},
         {{PGRGB(255, 255, 255), PGRGB(0, 0, 16), PGRGB(0, 0, 0), PGRGB(136, 136, 136)}}},
        // 0x0020 is 1 of 63 green: 4 plus the 2^(8-6) bias.
        {"bit fields 5-6-5",
         {.width = 2,
          .bits = 16,
          .compression = 3,
          .masks = {0xF800, 0x07E0, 0x001F},
          .pixels = Bytes().u16(0x07E0).u16(0x0020)},
         {{PGRGB(0, 255, 0), PGRGB(0, 8, 0)}}},
        {"bit fields: red ten bits wide (shifted to bit 0 and clamped), green missing",
         {.width = 3,
          .bits = 32,
          .compression = 3,
          .masks = {0x3FF00000, 0, 0x000000FF},
          .pixels = Bytes().u32(0x3FF000FF).u32(0x07F00010).u32(0x0000FFFF)},
         {{PGRGB(255, 0, 255), PGRGB(127, 0, 16), PGRGB(0, 0, 255)}}},
        {"32 bits default to 8-bit channels",
         {.width = 1, .height = -2, .bits = 32, .pixels = Bytes().u32(0xAA112233).u32(0x00FF0000)},
         {{PGRGB(0x11, 0x22, 0x33)}, {PGRGB(0xFF, 0, 0)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto img = Read(*reader, c.file.Build());
        EXPECT_EQ(img->PixelFormat(), pgpf24Bit);
        EXPECT_EQ(Colours(*img), c.rows);
    }
}

// A top-down file of one row (or rows) with a later or OS/2 2.x info header of the
// given size: the first 40 bytes as in the Windows header, then four masks, then
// zeros, except a V5 colour profile announced far beyond the end of the file.
std::vector<std::uint8_t> HeaderOfSize(std::uint32_t size, int bits, std::uint32_t compression,
                                       const std::vector<std::uint32_t>& masks,
                                       const std::vector<std::uint32_t>& table, const Bytes& pixels,
                                       int rows = 1) {
    const int width = bits == 32   ? int(pixels.size()) / 4 / rows
                      : bits == 16 ? int(pixels.size()) / 2 / rows
                                   : 3;
    Bytes h;
    h.u32(size).u32(std::uint32_t(width)).u32(std::uint32_t(-rows)).u16(1).u16(bits);
    h.u32(compression).u32(std::uint32_t(pixels.size())).u32(2835).u32(2835);
    h.u32(std::uint32_t(table.size())).u32(0);
    for (auto m : masks) h.u32(m);
    h.fill(124 - h.size(), 0);
    for (int i = 0; i < 8; ++i) h.data[112 + i] = 0x7F;
    h.data.resize(size);
    Bytes b;
    b.str("BM").u32(0).u32(0).u32(14 + size + 4 * std::uint32_t(table.size()));
    b.data.insert(b.data.end(), h.data.begin(), h.data.end());
    for (auto c : table) b.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF).u8(0);
    b.data.insert(b.data.end(), pixels.data.begin(), pixels.data.end());
    return b.data;
}

TEST_F(BmpTest, LaterAndOs2HeadersWithMasksAlphaAndProfiles) {
    const std::vector<std::uint32_t> argb = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const PGColor back = PGRGB(0, 0, 200);
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        std::vector<PGColor> row;  // the top row, or empty when refused
        const char* info1;
    } cases[] = {
        {"V5, alpha composited over the background",
         HeaderOfSize(124, 32, 3, argb, {}, Bytes().u32(0xFFFF0000).u32(0x80FFFFFF).u32(0x00123456)),
         {PGRGB(255, 0, 0), PGRGB(128, 128, 228), back},
         "Windows"},
        {"V5, alpha in a later row turns the rows without it to background",
         HeaderOfSize(124, 32, 3, argb, {}, Bytes().u32(0x00112233).u32(0x80FFFFFF), 2),
         {back},
         "Windows"},
        {"V4, alpha all zero means opaque",
         HeaderOfSize(108, 32, 3, argb, {}, Bytes().u32(0x00112233).u32(0x00FFFFFF)),
         {PGRGB(0x11, 0x22, 0x33), PGRGB(255, 255, 255)},
         "Windows"},
        {"56 bytes, 1-5-5-5 with one alpha bit",
         HeaderOfSize(56, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, {}, Bytes().u16(0xFC00).u16(0x7C00)),
         {PGRGB(255, 0, 0), back},
         "Windows"},
        {"52 bytes, 5-6-5 masks in the header",
         HeaderOfSize(52, 16, 3, {0xF800, 0x07E0, 0x001F}, {}, Bytes().u16(0xF800).u16(0x001F)),
         {PGRGB(255, 0, 0), PGRGB(0, 0, 255)},
         "Windows"},
        {"V5 without bit fields ignores its masks",
         HeaderOfSize(124, 24, 0, argb, {}, Bytes().raw({3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0})),
         {PGRGB(1, 2, 3), PGRGB(4, 5, 6), PGRGB(7, 8, 9)},
         "Windows, RGB"},
        {"OS/2 2.x, 64 bytes, palette of 4-byte entries",
         HeaderOfSize(64, 8, 0, {}, {0x102030, 0xA0B0C0}, Bytes().raw({1, 0, 1, 0})),
         {PGRGB(0xA0, 0xB0, 0xC0), PGRGB(0x10, 0x20, 0x30), PGRGB(0xA0, 0xB0, 0xC0)},
         "OS/2, RGB"},
        {"OS/2 2.x, 16 bytes",
         HeaderOfSize(16, 24, 0, {}, {}, Bytes().raw({3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0})),
         {PGRGB(1, 2, 3), PGRGB(4, 5, 6), PGRGB(7, 8, 9)},
         "OS/2, RGB"},
        {"OS/2 2.x Huffman", HeaderOfSize(64, 1, 3, {}, {0, 0xFFFFFF}, Bytes().u32(0)), {}, ""},
        {"JPEG in a V5 header", HeaderOfSize(124, 24, 4, {}, {}, Bytes().u32(0)), {}, ""},
        {"PNG in a V5 header", HeaderOfSize(124, 24, 5, {}, {}, Bytes().u32(0)), {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic img;
        img.SetBackGroundColor(back);
        TPGMemoryStream stream(c.file);
        const std::string message =
            MessageOf<EPGBMPFileFormatReader>([&] { reader->ReadImage(stream, img, 0); });
        if (c.row.empty()) {
            EXPECT_EQ(message, "BMP: BitmapInfoHeader.biCompression invalid");
            continue;
        }
        ASSERT_EQ(message, "");
        ASSERT_EQ(img.Width(), int(c.row.size()));
        for (int x = 0; x < img.Width(); ++x) EXPECT_EQ(img.Pixels(x, 0), c.row[std::size_t(x)]) << x;
        EXPECT_EQ(Info(*reader, c.file).Info1, std::string(c.info1) + ", Top-Down");
    }
}

TEST_F(BmpTest, PaletteLayoutsAndRunLengthCodes) {
    const struct {
        const char* name;
        InfoBmp file;
        ValueRows rows;
    } cases[] = {
        {"top-down, odd height: flipped around the middle row",
         {.width = 1,
          .height = -3,
          .bits = 8,
          .clrUsed = 3,
          .table = {0x000000, 0x808080, 0xFFFFFF},
          .pixels = Bytes().raw({0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0})},
         {{0}, {1}, {2}}},
        {"RLE8 runs, delta, absolute and end of line",
         {.width = 6,
          .height = 3,
          .bits = 8,
          .compression = 1,
          .clrUsed = 8,
          .table = {0, 1, 2, 3, 4, 5, 6, 7},
          .pixels = Bytes()
                        .raw({3, 5})              // bottom row: 5 5 5
                        .raw({0, 3, 1, 2, 3, 0})  // absolute run of three, padded to even
                        .raw({0, 0})              // end of line
                        .raw({0, 2, 2, 1})        // delta: two right, one up (top row)
                        .raw({9, 7})              // run past the right edge is cut
                        .raw({0, 1})},            // end of bitmap
         {{0, 0, 7, 7, 7, 7}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 1, 2, 3}}},
        {"RLE8 without an end code stops at the end of its data",
         {.width = 2,
          .height = 2,
          .bits = 8,
          .compression = 1,
          .clrUsed = 2,
          .table = {0, 0xFFFFFF},
          .pixels = Bytes().raw({2, 1})},
         {{0, 0}, {1, 1}}},
        {"RLE4 alternates nibbles",
         {.width = 7,
          .height = 1,
          .bits = 4,
          .compression = 2,
          .clrUsed = 1,
          .table = {0},
          .pixels = Bytes()
                        .raw({3, 0x12})           // 1 2 1
                        .raw({0, 3, 0xAB, 0xC0})  // absolute A B C: two bytes, position stays even
                        .raw({4, 0x34})           // 3 4 3 4, the last one past the width
                        .raw({0, 1})},
         {{1, 2, 1, 0xA, 0xB, 0xC, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Values(*Read(*reader, c.file.Build())), c.rows);
    }
}

TEST_F(BmpTest, RleProgressStaysWithinTenStepsEvenForTinyData) {
    InfoBmp f;
    f.width = 4, f.height = 1, f.bits = 8, f.compression = 1, f.clrUsed = 1;
    f.table = {0};
    f.pixels.raw({4, 1, 0, 1});
    const auto bytes = f.Build();
    TPixelGraphic img;
    ProgressLog log(img);
    TPGMemoryStream s(bytes);
    reader->ReadImage(s, img, 0);
    EXPECT_TRUE(log.Rising()) << ::testing::PrintToString(log.steps);
    EXPECT_LE(log.steps.back(), 10);
    EXPECT_EQ(log.maxima, std::vector<int>(log.steps.size(), 10));
}

TEST_F(BmpTest, AbortStopsTheSlicedRead) {
    InfoBmp f;
    f.width = 10, f.height = 11, f.bits = 8, f.clrUsed = 1;  // 132 bytes: ten slices
    f.table = {0};
    f.pixels.fill(132, 1);
    const auto bytes = f.Build();
    TPixelGraphic img;
    ProgressLog log(img, INT_MIN);  // stops at the first call
    TPGMemoryStream s(bytes);
    reader->ReadImage(s, img, 0);
    EXPECT_EQ(log.steps.size(), 1u);
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.ends, 1);
    EXPECT_EQ(img.PixelValues(0, 10), 1u);  // first slice: the bottom rows
    EXPECT_EQ(img.PixelValues(0, 0), 0u);
}

TEST_F(BmpTest, TwoColoursUsedBlackAndWhiteIdentifyAsBlackWhite) {
    InfoBmp f;
    f.width = 2, f.bits = 8, f.clrUsed = 2;
    f.table = {0x000000, 0xFFFFFF};
    f.pixels.raw({1, 0, 0, 0});
    auto img = Load(f.Build(), "bmp");
    EXPECT_EQ(img->PaletteCount(), 2);
    EXPECT_EQ(img->PaletteIdent(), pBlackWhite);
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(255, 255, 255));
}

TEST_F(BmpTest, PixelDataStartsAtTheFileHeaderOffsetAfterAGap) {
    InfoBmp f;
    f.width = 1, f.bits = 24, f.gap = 6;
    f.pixels.raw({10, 20, 30, 0});
    EXPECT_EQ(Read(*reader, f.Build())->Pixels(0, 0), PGRGB(30, 20, 10));
    // An offset inside the headers or past the end is not followed.
    f.announceGap = false;
    f.gap = 0;
    EXPECT_EQ(Read(*reader, f.Build())->Pixels(0, 0), PGRGB(30, 20, 10));
}

TEST_F(BmpTest, Os2CoreHeader) {
    Bytes b;
    b.str("BM").u32(0).u32(0).u32(14 + 12 + 6);
    b.u32(12).u16(3).u16(1).u16(1).u16(1);
    b.raw({0, 0, 255, 255, 255, 255});  // entry 0 red, entry 1 white (B, G, R)
    b.raw({0xA0, 0, 0, 0});             // pixels 1 0 1
    auto img = Read(*reader, b.data);
    EXPECT_EQ(img->PixelFormat(), pgpf1Bit);
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(255, 255, 255), PGRGB(255, 0, 0), PGRGB(255, 255, 255)}}));
    const TImageInfo info = Info(*reader, b.data);
    EXPECT_EQ(info.Info1, "OS/2");
    EXPECT_EQ(info.ColorText, "2");

    b.data[14 + 10] = 16;
    EXPECT_EQ(Error(b.data), "BMP: BitmapCoreHeader.bcBitCount invalid");
    b.data[14 + 10] = 1, b.data[14 + 8] = 2;
    EXPECT_EQ(Error(b.data), "BMP: BitmapCoreHeader.bcPlanes invalid");
}

TEST_F(BmpTest, HeaderChecks) {
    InfoBmp f;
    f.pixels.fill(4, 0);
    auto bytes = f.Build();
    for (int size : {13, 15, 65, 100, 125}) {
        bytes[14] = std::uint8_t(size);  // between or beyond the known headers
        EXPECT_EQ(Error(bytes), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader") << size;
    }
    const Bytes four = Bytes().fill(4, 0), sixteen = Bytes().fill(16, 0);
    const std::string compression = "BMP: BitmapInfoHeader.biCompression invalid";
    const struct {
        const char* name;
        InfoBmp file;
        std::string message;
    } cases[] = {
        {"two planes", {.planes = 2, .pixels = four}, "BMP: BitmapInfoHeader.biPlanes invalid"},
        {"2 bits", {.bits = 2, .pixels = four}, "BMP: BitmapInfoHeader.biBitCount invalid"},
        {"RLE8 code on 4 bits", {.bits = 4, .compression = 1, .pixels = four}, compression},
        {"RLE8 top-down", {.height = -1, .bits = 8, .compression = 1, .pixels = four}, compression},
        {"bit fields on 24 bits", {.bits = 24, .compression = 3, .pixels = four}, compression},
        {"JPEG in an info header", {.compression = 4, .pixels = four}, compression},
        {"height of INT32_MIN",
         {.height = INT32_MIN, .pixels = four},
         "BMP: BitmapInfoHeader.biHeight invalid"},
        {"more colours used than 4 bits hold",
         {.bits = 4, .clrUsed = 17, .pixels = four},
         "BMP: BitmapInfoHeader.biClrUsed invalid"},
        {"a true-colour file may carry any table", {.clrUsed = 300, .pixels = four}, ""},
        // Huge headers in small files are refused before allocating.
        {"6000 x 6000 in 16 bytes",
         {.width = 6000, .height = 6000, .bits = 8, .pixels = sixteen},
         "BMP: Unexpected end of file"},
        {"6000 x 6000 RLE8 in 16 bytes",
         {.width = 6000, .height = 6000, .bits = 8, .compression = 1, .pixels = sixteen},
         "BMP: Unexpected end of file"},
        {"60000 x 60000",
         {.width = 60000, .height = 60000, .bits = 8, .pixels = sixteen},
         "BMP: Image size out of range"},
        {"largest sizes, 32 bits",
         {.width = 0x7FFFFFFF, .height = 0x7FFFFFFF, .bits = 32, .pixels = sixteen},
         "BMP: Image size out of range"},
    };
    for (const auto& c : cases) EXPECT_EQ(Error(c.file.Build()), c.message) << c.name;
    const InfoBmp negative{.width = -5, .bits = 32, .pixels = sixteen};
    EXPECT_EQ(MessageOf<EPGInvalidSize>([&] { Read(*reader, negative.Build()); }), "Negative width");

    TPixelGraphic img;
    const auto good = InfoBmp{.pixels = four}.Build();
    TPGMemoryStream s(good);
    EXPECT_EQ(MessageOf<EPGBMPFileFormatReader>([&] { reader->ReadImage(s, img, 1); }), "BMP: Index invalid");
    EXPECT_EQ(MessageOf<EPGBMPFileFormatReader>([&] { Info(*reader, good, 1); }),
              "BMP: Invalid value for Index");
}

TEST_F(BmpTest, ShortFilesLoadWhatIsThere) {
    InfoBmp f;
    f.width = 2, f.height = 2;
    f.pixels.raw({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    auto bytes = f.Build();
    bytes.resize(bytes.size() - 13);  // the top row and all but a pixel of the bottom row lost
    auto img = Read(*reader, bytes);
    EXPECT_EQ(img->Pixels(0, 1), PGRGB(3, 2, 1));
    EXPECT_EQ(img->Pixels(1, 1), PGRGB(0, 0, 0));
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(0, 0, 0));

    bytes.resize(20);  // inside the info header: not a valid header any more
    EXPECT_NE(Error(bytes), "");
}

TEST_F(BmpTest, ImageInfo) {
    const Bytes four = Bytes().fill(4, 0);
    EXPECT_EQ(Described(Info(*reader, InfoBmp{.height = -1, .bits = 16, .pixels = four}.Build())),
              "Windows, RGB, Top-Down |  | 16 | 64K | 1x-1");
    EXPECT_EQ(Described(Info(*reader, InfoBmp{.bits = 8, .compression = 1, .pixels = four}.Build())),
              "Windows, RLE8 |  | 8 | 256 | 1x1");
    const TImageInfo info = Info(*reader, InfoBmp{.bits = 32, .compression = 3, .pixels = four}.Build());
    EXPECT_EQ(Described(info), "Windows |  | 32 | 16.7M | 1x1");
    EXPECT_EQ(info.Count, 1);
}

}  // namespace
}  // namespace quipix::test
