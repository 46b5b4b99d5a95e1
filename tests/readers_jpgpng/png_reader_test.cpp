// The PNG reader: files written chunk by chunk for each colour type and depth,
// transparency, background and gamma handling, warnings and errors, and a few real
// files from ImageMagick checked against its own decode.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "fixtures.h"
#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/readers/readers.h"
#include "imaging/stream.h"
#include "support/image_checks.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

TFileFormatReader& PngReader() { return RegisteredReader("png"); }

std::string LoadInto(TPixelGraphic& image, const Bytes& bytes, TPGWarningAction action) {
    return LoadMessage<EPGPNGFileFormatReaderWriter>(image, bytes, action);
}
std::string LoadError(const Bytes& bytes, TPGWarningAction action) {
    return LoadMessage<EPGPNGFileFormatReaderWriter>(bytes, action);
}

// A built file loaded through the registry.
std::unique_ptr<TPixelGraphic> Loaded(const PngParts& parts) {
    auto image = std::make_unique<TPixelGraphic>();
    LoadBytes(*image, MakePng(parts));
    return image;
}

TEST(PngReader, ColourRowsArriveInPixelOrder) {
    auto image = Loaded({.width = 2, .rows = {{10, 20, 30, 200, 100, 50}}});
    ASSERT_EQ(image->PixelFormat(), pgpf24Bit);
    EXPECT_EQ(Colours(*image), (ColourRows{{PGRGB(10, 20, 30), PGRGB(200, 100, 50)}}));
    EXPECT_EQ(image->ScanLine(0)[0], 30);  // stored blue first
    EXPECT_DOUBLE_EQ(image->Gamma, PGDisplayGamma);
}

TEST(PngReader, GreyDepthsChooseFormatAndPalette) {
    struct Case {
        int depth;
        Bytes row;
        TPGPixelFormat format;
        TPaletteIdent ident;
        std::vector<std::uint32_t> values;
    } cases[] = {
        {1, {0b10110000}, pgpf1Bit, pBlackWhite, {1, 0, 1, 1, 0}},
        {4, {0x0F, 0x73, 0x50}, pgpf4Bit, pGray16, {0, 15, 7, 3, 5}},
        {8, {0, 255, 7, 128, 64}, pgpf8Bit, pGray256, {0, 255, 7, 128, 64}},
        // 16-bit samples keep their high byte.
        {16,
         {0x12, 0xFF, 0xAB, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x80, 0x80},
         pgpf8Bit,
         pGray256,
         {0x12, 0xAB, 0x00, 0xFF, 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        auto image = Loaded({.width = 5, .depth = c.depth, .colorType = 0, .rows = {c.row}});
        ASSERT_EQ(image->PixelFormat(), c.format);
        EXPECT_EQ(image->PaletteIdent(), c.ident);
        EXPECT_EQ(Values(*image), ValueRows{c.values});
    }
}

TEST(PngReader, TwoBitGreyIsWidenedToFourBits) {
    // Seven pixels: two bytes of four, the last one partly used.
    auto image = Loaded(
        {.width = 7, .height = 2, .depth = 2, .colorType = 0, .rows = {{0b00011011, 0b11100100}, {0xFF, 0}}});
    ASSERT_EQ(image->PixelFormat(), pgpf4Bit);
    EXPECT_EQ(image->PaletteIdent(), pGray4);
    EXPECT_EQ(Values(*image), (ValueRows{{0, 1, 2, 3, 3, 2, 1}, {3, 3, 3, 3, 0, 0, 0}}));
    EXPECT_EQ(image->Pixels(1, 0), PGRGB(85, 85, 85));
    EXPECT_EQ(image->Pixels(2, 0), PGRGB(170, 170, 170));
}

TEST(PngReader, PaletteFileKeepsItsEntries) {
    auto image = Loaded({.width = 5,
                         .depth = 2,
                         .colorType = 3,
                         .rows = {{0b00011000, 0b01000000}},
                         .chunks = {{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}}}});
    ASSERT_EQ(image->PixelFormat(), pgpf4Bit);
    ASSERT_EQ(image->PaletteCount(), 3);
    EXPECT_EQ(image->PaletteIdent(), pUnknown);
    const PGColor red = PGRGB(255, 0, 0), green = PGRGB(0, 255, 0), blue = PGRGB(0, 0, 255);
    EXPECT_EQ(Colours(*image), (ColourRows{{red, green, blue, red, green}}));
}

// What a transparent pixel becomes: composited over the picture's background colour,
// or over the file's own background, which then becomes the picture's.
TEST(PngReader, TransparencyIsCompositedOverTheBackground) {
    const auto blend = [](int fg, int bg, int alpha) {
        return (fg * alpha + bg * (255 - alpha) + 127) / 255;
    };
    const Bytes rgba = {200, 100, 50, 128};
    const Bytes plte = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    const struct {
        const char* name;
        PngParts file;
        PGColor background;  // set before loading; 0 leaves the default
        TPGPixelFormat format;
        std::vector<Rgb> row;
        std::optional<PGColor> backgroundAfter;  // the picture's background colour after loading
    } cases[] = {
        {"RGBA over black",
         {.colorType = 6, .rows = {rgba}},
         0,
         pgpf24Bit,
         {PGRGB(blend(200, 0, 128), blend(100, 0, 128), blend(50, 0, 128))},
         std::nullopt},
        {"RGBA over white",
         {.colorType = 6, .rows = {rgba}},
         PGRGB(255, 255, 255),
         pgpf24Bit,
         {PGRGB(blend(200, 255, 128), blend(100, 255, 128), blend(50, 255, 128))},
         PGRGB(255, 255, 255)},
        {"grey with alpha over the grey level of the background",
         {.colorType = 4, .rows = {{100, 0}}},
         PGRGB(30, 60, 90),
         pgpf8Bit,
         {PGRGB(60, 60, 60)},
         std::nullopt},
        {"the file's background",
         {.colorType = 6, .rows = {{200, 100, 50, 0}}, .chunks = {{"bKGD", {0, 10, 0, 20, 0, 30}}}},
         0,
         pgpf24Bit,
         {PGRGB(10, 20, 30)},
         PGRGB(10, 20, 30)},
        {"16-bit channels: the file's background by each channel's high byte",
         {.depth = 16,
          .colorType = 6,
          .rows = {Bytes(8, 0)},
          .chunks = {{"bKGD", {0x12, 0x34, 0xFF, 0x00, 0x80, 0x7F}}}},
         0,
         pgpf24Bit,
         {PGRGB(0x12, 0xFF, 0x80)},
         PGRGB(0x12, 0xFF, 0x80)},
        {"transparent palette entry over black",
         {.width = 3, .colorType = 3, .rows = {{0, 1, 2}}, .chunks = {{"PLTE", plte}, {"tRNS", {255, 0}}}},
         0,
         pgpf8Bit,
         {PGRGB(255, 0, 0), PGRGB(0, 0, 0), PGRGB(0, 0, 255)},
         std::nullopt},
        {"transparent palette entry over the file's background entry",
         {.width = 3,
          .colorType = 3,
          .rows = {{0, 1, 2}},
          .chunks = {{"PLTE", plte}, {"tRNS", {255, 0}}, {"bKGD", {2}}}},
         0,
         pgpf8Bit,
         {PGRGB(255, 0, 0), PGRGB(0, 0, 255), PGRGB(0, 0, 255)},
         PGRGB(0, 0, 255)},
        // Grey 5 of 15 is transparent and takes the white background.
        {"transparent grey value",
         {.width = 3, .depth = 4, .colorType = 0, .rows = {{0x5A, 0x50}}, .chunks = {{"tRNS", {0, 5}}}},
         PGRGB(255, 255, 255),
         pgpf4Bit,
         {PGRGB(255, 255, 255), PGRGB(170, 170, 170), PGRGB(255, 255, 255)},
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPixelGraphic image;
        if (c.background) image.SetBackGroundColor(c.background);
        LoadBytes(image, MakePng(c.file));
        ASSERT_EQ(image.PixelFormat(), c.format);
        EXPECT_EQ(Colours(image), ColourRows{c.row});
        if (c.backgroundAfter) {
            EXPECT_EQ(image.BackGroundColor(), *c.backgroundAfter);
        }
    }
}

TEST(PngReader, GammaOtherThanTheDisplaysIsCorrected) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Bytes>> chunks;
        double ratio;  // the exponent the samples are raised to; 1: left as they are
    };
    const Case cases[] = {
        {"gamma 1/2.2, what nearly every PNG carries", {{"gAMA", Be32(45455)}}, 1},
        {"sRGB", {{"sRGB", {0}}}, 1},
        {"sRGB with its gamma", {{"gAMA", Be32(45455)}, {"sRGB", {0}}}, 1},
        {"no gamma", {}, 1},
        {"gamma 1/1.8", {{"gAMA", Be32(55556)}}, (1 / 0.55556) / 2.2},
        {"linear", {{"gAMA", Be32(100000)}}, 1 / 2.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = [&](int v) { return int(std::lround(255 * std::pow(v / 255.0, c.ratio))); };
        auto image = Loaded({.width = 3, .rows = {{0, 128, 255, 64, 200, 10, 1, 2, 3}}, .chunks = c.chunks});
        EXPECT_EQ(
            Colours(*image),
            (ColourRows{{PGRGB(0, t(128), 255), PGRGB(t(64), t(200), t(10)), PGRGB(t(1), t(2), t(3))}}));
        EXPECT_DOUBLE_EQ(image->Gamma, PGDisplayGamma);  // reset after the correction
        // A grey file is corrected through its palette.
        auto grey = Loaded({.colorType = 0, .rows = {{128}}, .chunks = c.chunks});
        EXPECT_EQ(grey->Pixels(0, 0), PGRGB(t(128), t(128), t(128)));
    }
}

TEST(PngReader, AncillaryCrcErrorIsAWarningCriticalOneAnError) {
    BoxHandlerGuard guard;
    const PngParts s{.colorType = 0, .rows = {{77}}};
    Bytes file = MakePng(s);
    const Bytes text = PngChunk("tEXt", {'a', 0, 'b'}, true);
    file.insert(file.begin() + 33, text.begin(), text.end());  // right after IHDR
    EXPECT_EQ(LoadError(file, pgwaIgnore), "");
    EXPECT_EQ(LoadError(file, pgwaRaise), "PNG: tEXt: CRC error");
    int boxes = 0;
    SetWarningBoxHandler([&](const std::string& caption, const std::string& message, bool) {
        EXPECT_EQ(caption, "PNG Warning");
        EXPECT_EQ(message, "tEXt: CRC error");
        ++boxes;
        return false;
    });
    EXPECT_EQ(LoadError(file, pgwaOKCancelBox), "PNG: Operation aborted on user request");
    EXPECT_EQ(boxes, 1);

    Bytes badHeader = MakePng(s);
    badHeader[29] ^= 0xFF;  // the CRC of IHDR
    EXPECT_EQ(LoadError(badHeader, pgwaIgnore), "PNG: IHDR: CRC error");
}

TEST(PngReader, TruncatedDataFailsAndKeepsThePicture) {
    PngParts s;
    // Noise that does not compress, so the library reads the data in several pieces
    // and decodes the first rows before it meets the cut.
    s.width = 200;
    s.height = 200;
    s.colorType = 0;
    std::uint32_t seed = 1;
    for (int y = 0; y < 200; ++y) {
        Bytes row;
        for (int x = 0; x < 200; ++x) {
            seed = seed * 1103515245u + 12345u;
            row.push_back(std::uint8_t(seed >> 24));
        }
        s.rows.push_back(row);
    }
    Bytes file = MakePng(s);
    file.resize(file.size() - 100);
    TPixelGraphic image;
    EXPECT_EQ(LoadInto(image, file, pgwaIgnore), "PNG: Unexpected end of file");
    EXPECT_EQ(image.Width(), 200);
    for (int x = 0; x < 200; ++x) EXPECT_EQ(int(image.PixelValues(x, 0)), s.rows[0][x]);
}

TEST(PngReader, HugeDimensionsAreRefusedBeforeAllocating) {
    EXPECT_EQ(LoadError(MakePng({.width = 20000, .height = 20000}), pgwaIgnore),
              "PNG: Image size out of range");
}

// A header of 16000 x 4000 (a 183 MiB buffer, within the size limit) over a few
// bytes of data: even with warnings ignored, as the open dialog's preview loads, the
// file is refused before the picture is allocated.
TEST(PngReader, ShortFileWithLargeHeaderIsRefusedBeforeAllocating) {
    const Bytes file = MakePng({.width = 16000, .height = 4000, .rows = {Bytes(std::size_t(16000) * 3, 7)}});
    ASSERT_LT(file.size(), std::size_t(1000));
    TPixelGraphic image;
    EXPECT_EQ(LoadInto(image, file, pgwaIgnore), "PNG: Unexpected end of file");
    EXPECT_EQ(image.Width(), 0);
}

// A 41-byte file (found by fuzzing) whose iTXt chunk claims 1.5 GB. Raised, the
// library's length warning refuses it; ignored, as the open dialog's preview and the
// info command read, the chunk is skipped unread and the decoder never holds more
// than its chunk limit, so the file ends where it ends.
TEST(PngReader, OversizedTextChunkIsSkippedUnallocated) {
    const Bytes file = ReadBytes(DataPath("malformed/png-huge-itxt-length.png"));
    ASSERT_EQ(file.size(), 41u);
    constexpr std::size_t kMostHeld = std::size_t(16) << 20;
    EXPECT_EQ(LoadError(file, pgwaRaise), "PNG: iTXt: chunk data is too large");
    EXPECT_LT(LastPNGDecoderPeakBytes(), kMostHeld);
    EXPECT_EQ(LoadError(file, pgwaIgnore), "PNG: Unexpected end of file");
    EXPECT_LT(LastPNGDecoderPeakBytes(), kMostHeld);
    TPGMemoryStream s(file);
    EXPECT_THROW((void)PngReader().GetImageInfo(s, 0), EPGPNGFileFormatReaderWriter);
    EXPECT_LT(LastPNGDecoderPeakBytes(), kMostHeld);

    // A real chunk past the limit is skipped and the picture after it still loads.
    const Bytes bigFile =
        MakePng({.width = 2,
                 .rows = {{10, 20, 30, 40, 50, 60}},
                 .chunks = {{"zTXt", Bytes(std::size_t(9) << 20, 'z')}, {"tEXt", Bytes{'k', 0, 'v'}}}});
    EXPECT_EQ(LoadError(bigFile, pgwaRaise), "PNG: zTXt: chunk data is too large");
    TPixelGraphic image;
    EXPECT_EQ(LoadInto(image, bigFile, pgwaIgnore), "");
    EXPECT_EQ(image.Pixels(1, 0), PGRGB(40, 50, 60));
    EXPECT_LT(LastPNGDecoderPeakBytes(), std::size_t(1) << 20);
}

TEST(PngReader, InterlacedProgressCoversEveryPass) {
    TPixelGraphic image;
    ProgressLog log(image);
    image.LoadPictureFile(DataPath("png/interlaced.png"));
    EXPECT_EQ(log.senders, std::set<const void*>{&PngReader()});
    EXPECT_EQ(log.maxima.back(), 7 * 17);
    EXPECT_EQ(log.steps.back(), 7 * 17);
    EXPECT_EQ(log.steps.size(), 7u * 17);
    EXPECT_EQ(MaxDifference(image, ReadPnm(DataPath("png/interlaced.ppm"))), 0);

    TPixelGraphic aborted;
    ProgressLog stopped(aborted, 20);
    aborted.LoadPictureFile(DataPath("png/interlaced.png"));
    EXPECT_EQ(aborted.Width(), 33);
}

TEST(PngReader, RealFilesMatchIndependentDecoder) {
    struct Case {
        const char *png, *reference;
        TPGPixelFormat format;
    } cases[] = {
        {"rgb8.png", "rgb8.ppm", pgpf24Bit},
        {"palette16.png", "palette16.ppm", pgpf4Bit},
        // ImageMagick keeps 16 bits; the reader keeps each sample's high byte.
        {"grey16.png", "grey16.pgm", pgpf8Bit},
        // ImageMagick's flatten over black; compositing may round one step apart.
        {"rgba8.png", "rgba8_over_black.ppm", pgpf24Bit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.png);
        TPixelGraphic image;
        image.ReadWarningAction = pgwaRaise;
        image.LoadPictureFile(DataPath(std::string("png/") + c.png));
        EXPECT_EQ(image.PixelFormat(), c.format);
        const int allowed = std::string(c.png) == "rgba8.png" ? 1 : 0;
        EXPECT_LE(MaxDifference(image, ReadPnm(DataPath(std::string("png/") + c.reference))), allowed);
    }
}

TEST(PngReader, ImageInformation) {
    const Bytes file = MakePng({.width = 3,
                                .height = 2,
                                .depth = 4,
                                .colorType = 3,
                                .rows = {{0, 0}, {0, 0}},
                                .chunks = {{"gAMA", Be32(45455)},
                                           {"PLTE", {1, 2, 3}},
                                           {"tRNS", {0}},
                                           {"bKGD", {0}},
                                           {"pHYs", {0, 0, 0, 1, 0, 0, 0, 1, 0}}}});
    TPGMemoryStream stream(file);
    EXPECT_EQ(Described(PngReader().GetImageInfo(stream, 0)),
              "palette | (gama, plte, trns, bkgd, phys) | 4 | 16 | 3x2");

    const Bytes rgba = MakePng({.colorType = 6, .rows = {{1, 2, 3, 4}}});
    TPGMemoryStream rgbaStream(rgba);
    EXPECT_EQ(Described(PngReader().GetImageInfo(rgbaStream, 0)), "RGB, alpha |  | 32 | 16.7M? | 1x1");

    // 16 bits per sample: more colours than any count the line shows.
    for (const auto& [colorType, bits] : {std::pair{2, 48}, std::pair{6, 64}}) {
        const Bytes deepFile =
            MakePng({.depth = 16, .colorType = colorType, .rows = {Bytes(std::size_t(bits / 8), 0x80)}});
        TPGMemoryStream deepStream(deepFile);
        const TImageInfo info = PngReader().GetImageInfo(deepStream, 0);
        EXPECT_EQ(info.Bits, bits);
        EXPECT_EQ(info.ColorText, "16 bit per channel") << bits;
    }

    const Bytes interlaced = ReadBytes(DataPath("png/interlaced.png"));
    TPGMemoryStream interlacedStream(interlaced);
    const TImageInfo info = PngReader().GetImageInfo(interlacedStream, 0);
    EXPECT_EQ(info.Info1, "RGB, interlaced");
    EXPECT_EQ(info.ColorText, "16.7M");

    TPGMemoryStream again(file), third(file);
    EXPECT_EQ(MessageOf<EPGPNGFileFormatReaderWriter>([&] { PngReader().GetImageInfo(again, 1); }),
              "PNG: Invalid value for Index");
    TPixelGraphic image;
    EXPECT_EQ(MessageOf<EPGPNGFileFormatReaderWriter>([&] { PngReader().ReadImage(third, image, 1); }),
              "PNG: Index invalid");
}

}  // namespace
}  // namespace quipix::test
