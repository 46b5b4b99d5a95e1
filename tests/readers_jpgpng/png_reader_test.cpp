// The PNG reader: files written chunk by chunk for each colour type and depth,
// transparency, background and gamma handling, warnings and errors, and a few real
// files from ImageMagick checked against its own decode.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fixtures.h"
#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/readers/readers.h"
#include "imaging/stream.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

TFileFormatReader& PngReader() {
    for (TFileFormatReader* r : PGFileFormatReaders())
        if (r->Extension() == "png") return *r;
    throw std::runtime_error("no png reader");
}

// The reader's message, or "" when the picture loaded; the image keeps what was read.
std::string LoadInto(TPixelGraphic& image, const Bytes& bytes, TPGWarningAction action) {
    image.ReadWarningAction = action;
    try {
        LoadBytes(image, bytes);
    } catch (const EPGPNGFileFormatReaderWriter& e) {
        return e.what();
    }
    return "";
}

std::string LoadError(const Bytes& bytes, TPGWarningAction action) {
    TPixelGraphic image;
    return LoadInto(image, bytes, action);
}

struct BoxHandlerGuard {
    ~BoxHandlerGuard() { SetWarningBoxHandler(nullptr); }
};

PngParts OnePixelRgba(int r, int g, int b, int a) {
    PngParts s;
    s.colorType = 6;
    s.rows = {{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b), std::uint8_t(a)}};
    return s;
}

int Blend(int fg, int bg, int alpha) { return (fg * alpha + bg * (255 - alpha) + 127) / 255; }

TEST(PngReader, ColourRowsArriveInPixelOrder) {
    PngParts s;
    s.width = 2;
    s.rows = {{10, 20, 30, 200, 100, 50}};
    TPixelGraphic image;
    LoadBytes(image, MakePng(s));
    ASSERT_EQ(image.PixelFormat(), pgpf24Bit);
    EXPECT_EQ(image.Pixels(0, 0), PGRGB(10, 20, 30));
    EXPECT_EQ(image.Pixels(1, 0), PGRGB(200, 100, 50));
    EXPECT_EQ(image.ScanLine(0)[0], 30);  // stored blue first
    EXPECT_DOUBLE_EQ(image.Gamma, PGDisplayGamma);
}

TEST(PngReader, GreyDepthsChooseFormatAndPalette) {
    struct Case {
        int depth;
        Bytes row;
        TPGPixelFormat format;
        TPaletteIdent ident;
        std::vector<int> values;
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
        PngParts s;
        s.width = 5;
        s.depth = c.depth;
        s.colorType = 0;
        s.rows = {c.row};
        TPixelGraphic image;
        LoadBytes(image, MakePng(s));
        ASSERT_EQ(image.PixelFormat(), c.format);
        EXPECT_EQ(image.PaletteIdent(), c.ident);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(int(image.PixelValues(x, 0)), c.values[x]) << x;
    }
}

TEST(PngReader, TwoBitGreyIsWidenedToFourBits) {
    // Seven pixels: two bytes of four, the last one partly used.
    PngParts s;
    s.width = 7;
    s.height = 2;
    s.depth = 2;
    s.colorType = 0;
    s.rows = {{0b00011011, 0b11100100}, {0b11111111, 0b00000000}};
    TPixelGraphic image;
    LoadBytes(image, MakePng(s));
    ASSERT_EQ(image.PixelFormat(), pgpf4Bit);
    EXPECT_EQ(image.PaletteIdent(), pGray4);
    const int want[2][7] = {{0, 1, 2, 3, 3, 2, 1}, {3, 3, 3, 3, 0, 0, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(int(image.PixelValues(x, y)), want[y][x]) << x;
    EXPECT_EQ(image.Pixels(1, 0), PGRGB(85, 85, 85));
    EXPECT_EQ(image.Pixels(2, 0), PGRGB(170, 170, 170));
}

TEST(PngReader, PaletteFileKeepsItsEntries) {
    PngParts s;
    s.width = 5;
    s.depth = 2;
    s.colorType = 3;
    s.chunks = {{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}}};
    s.rows = {{0b00011000, 0b01000000}};
    TPixelGraphic image;
    LoadBytes(image, MakePng(s));
    ASSERT_EQ(image.PixelFormat(), pgpf4Bit);
    ASSERT_EQ(image.PaletteCount(), 3);
    EXPECT_EQ(image.PaletteIdent(), pUnknown);
    EXPECT_EQ(image.Pixels(0, 0), PGRGB(255, 0, 0));
    EXPECT_EQ(image.Pixels(1, 0), PGRGB(0, 255, 0));
    EXPECT_EQ(image.Pixels(2, 0), PGRGB(0, 0, 255));
    EXPECT_EQ(image.Pixels(4, 0), PGRGB(0, 255, 0));
}

TEST(PngReader, AlphaIsCompositedOverThePictureBackground) {
    const Bytes file = MakePng(OnePixelRgba(200, 100, 50, 128));
    TPixelGraphic image;
    LoadBytes(image, file);
    EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
    EXPECT_EQ(image.Pixels(0, 0), PGRGB(Blend(200, 0, 128), Blend(100, 0, 128), Blend(50, 0, 128)));

    TPixelGraphic onWhite;
    onWhite.SetBackGroundColor(PGRGB(255, 255, 255));
    LoadBytes(onWhite, file);
    EXPECT_EQ(onWhite.Pixels(0, 0), PGRGB(Blend(200, 255, 128), Blend(100, 255, 128), Blend(50, 255, 128)));
    EXPECT_EQ(onWhite.BackGroundColor(), PGRGB(255, 255, 255));

    // Grey with alpha composites over the grey level of the background colour.
    PngParts ga;
    ga.colorType = 4;
    ga.rows = {{100, 0}};
    TPixelGraphic grey;
    grey.SetBackGroundColor(PGRGB(30, 60, 90));
    LoadBytes(grey, MakePng(ga));
    EXPECT_EQ(grey.PixelFormat(), pgpf8Bit);
    EXPECT_EQ(grey.Pixels(0, 0), PGRGB(60, 60, 60));
}

TEST(PngReader, FileBackgroundIsUsedAndBecomesTheBackgroundColour) {
    PngParts s = OnePixelRgba(200, 100, 50, 0);
    s.chunks = {{"bKGD", {0, 10, 0, 20, 0, 30}}};
    TPixelGraphic image;
    LoadBytes(image, MakePng(s));
    EXPECT_EQ(image.Pixels(0, 0), PGRGB(10, 20, 30));
    EXPECT_EQ(image.BackGroundColor(), PGRGB(10, 20, 30));

    // 16-bit channels: the background colour takes each channel's high byte.
    PngParts wide;
    wide.depth = 16;
    wide.colorType = 6;
    wide.rows = {{0, 0, 0, 0, 0, 0, 0, 0}};
    wide.chunks = {{"bKGD", {0x12, 0x34, 0xFF, 0x00, 0x80, 0x7F}}};
    TPixelGraphic image16;
    LoadBytes(image16, MakePng(wide));
    EXPECT_EQ(image16.Pixels(0, 0), PGRGB(0x12, 0xFF, 0x80));
    EXPECT_EQ(image16.BackGroundColor(), PGRGB(0x12, 0xFF, 0x80));
}

TEST(PngReader, TransparentPaletteEntriesAreComposited) {
    PngParts s;
    s.width = 3;
    s.colorType = 3;
    s.chunks = {{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}}, {"tRNS", {255, 0}}};
    s.rows = {{0, 1, 2}};
    TPixelGraphic image;
    LoadBytes(image, MakePng(s));
    ASSERT_EQ(image.PixelFormat(), pgpf8Bit);
    EXPECT_EQ(image.Pixels(0, 0), PGRGB(255, 0, 0));
    EXPECT_EQ(image.Pixels(1, 0), PGRGB(0, 0, 0));  // fully transparent over black
    EXPECT_EQ(image.Pixels(2, 0), PGRGB(0, 0, 255));

    s.chunks.push_back({"bKGD", {2}});
    TPixelGraphic withBackground;
    LoadBytes(withBackground, MakePng(s));
    EXPECT_EQ(withBackground.Pixels(1, 0), PGRGB(0, 0, 255));
    EXPECT_EQ(withBackground.BackGroundColor(), PGRGB(0, 0, 255));
}

TEST(PngReader, TransparentGreyValueTakesTheBackground) {
    PngParts s;
    s.width = 3;
    s.depth = 4;
    s.colorType = 0;
    s.chunks = {{"tRNS", {0, 5}}};
    s.rows = {{0x5A, 0x50}};
    TPixelGraphic image;
    image.SetBackGroundColor(PGRGB(255, 255, 255));
    LoadBytes(image, MakePng(s));
    ASSERT_EQ(image.PixelFormat(), pgpf4Bit);
    EXPECT_EQ(int(image.PixelValues(0, 0)), 15);
    EXPECT_EQ(int(image.PixelValues(1, 0)), 10);
    EXPECT_EQ(int(image.PixelValues(2, 0)), 15);
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
        PngParts s;
        s.width = 3;
        s.chunks = c.chunks;
        s.rows = {{0, 128, 255, 64, 200, 10, 1, 2, 3}};
        TPixelGraphic image;
        LoadBytes(image, MakePng(s));
        EXPECT_EQ(image.Pixels(0, 0), PGRGB(0, t(128), 255));
        EXPECT_EQ(image.Pixels(1, 0), PGRGB(t(64), t(200), t(10)));
        EXPECT_DOUBLE_EQ(image.Gamma, PGDisplayGamma);  // reset after the correction
        // A grey file is corrected through its palette.
        PngParts g;
        g.colorType = 0;
        g.chunks = c.chunks;
        g.rows = {{128}};
        TPixelGraphic grey;
        LoadBytes(grey, MakePng(g));
        EXPECT_EQ(grey.Pixels(0, 0), PGRGB(t(128), t(128), t(128)));
    }
}

TEST(PngReader, AncillaryCrcErrorIsAWarningCriticalOneAnError) {
    BoxHandlerGuard guard;
    PngParts s;
    s.colorType = 0;
    s.rows = {{77}};
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
    PngParts s;
    s.width = 20000;
    s.height = 20000;
    s.rows = {};
    EXPECT_EQ(LoadError(MakePng(s), pgwaIgnore), "PNG: Image size out of range");
}

// A header of 16000 x 4000 (a 183 MiB buffer, within the size limit) over a few
// bytes of data: even with warnings ignored, as the open dialog's preview loads, the
// file is refused before the picture is allocated.
TEST(PngReader, ShortFileWithLargeHeaderIsRefusedBeforeAllocating) {
    PngParts s;
    s.width = 16000;
    s.height = 4000;
    s.rows = {Bytes(std::size_t(16000) * 3, 7)};
    const Bytes file = MakePng(s);
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
    PngParts big;
    big.width = 2;
    big.rows = {{10, 20, 30, 40, 50, 60}};
    big.chunks = {{"zTXt", Bytes(std::size_t(9) << 20, 'z')}, {"tEXt", Bytes{'k', 0, 'v'}}};
    const Bytes bigFile = MakePng(big);
    EXPECT_EQ(LoadError(bigFile, pgwaRaise), "PNG: zTXt: chunk data is too large");
    TPixelGraphic image;
    EXPECT_EQ(LoadInto(image, bigFile, pgwaIgnore), "");
    EXPECT_EQ(image.Pixels(1, 0), PGRGB(40, 50, 60));
    EXPECT_LT(LastPNGDecoderPeakBytes(), std::size_t(1) << 20);
}

TEST(PngReader, InterlacedProgressCoversEveryPass) {
    TPixelGraphic image;
    int calls = 0, lastStep = 0, lastMax = 0;
    image.OnProgress = [&](const void* sender, int step, int max, bool&) {
        EXPECT_EQ(sender, &PngReader());
        ++calls;
        lastStep = step;
        lastMax = max;
    };
    image.LoadPictureFile(DataPath("png/interlaced.png"));
    EXPECT_EQ(lastMax, 7 * 17);
    EXPECT_EQ(lastStep, 7 * 17);
    EXPECT_EQ(calls, 7 * 17);
    EXPECT_EQ(MaxDifference(image, ReadPnm(DataPath("png/interlaced.ppm"))), 0);

    TPixelGraphic aborted;
    aborted.OnProgress = [&](const void*, int step, int, bool& abort) { abort = step == 20; };
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
    PngParts s;
    s.width = 3;
    s.height = 2;
    s.colorType = 3;
    s.depth = 4;
    s.chunks = {{"gAMA", Be32(45455)},
                {"PLTE", {1, 2, 3}},
                {"tRNS", {0}},
                {"bKGD", {0}},
                {"pHYs", {0, 0, 0, 1, 0, 0, 0, 1, 0}}};
    s.rows = {{0, 0}, {0, 0}};
    const Bytes file = MakePng(s);
    TPGMemoryStream stream(file);
    TImageInfo info = PngReader().GetImageInfo(stream, 0);
    EXPECT_EQ(info.Width, 3);
    EXPECT_EQ(info.Height, 2);
    EXPECT_EQ(info.Bits, 4);
    EXPECT_EQ(info.ColorText, "16");
    EXPECT_EQ(info.Info1, "palette");
    EXPECT_EQ(info.Info2, "(gama, plte, trns, bkgd, phys)");

    const Bytes rgba = MakePng(OnePixelRgba(1, 2, 3, 4));
    TPGMemoryStream rgbaStream(rgba);
    info = PngReader().GetImageInfo(rgbaStream, 0);
    EXPECT_EQ(info.Bits, 32);
    EXPECT_EQ(info.ColorText, "16.7M?");
    EXPECT_EQ(info.Info1, "RGB, alpha");
    EXPECT_EQ(info.Info2, "");

    // 16 bits per sample: more colours than any count the line shows.
    for (const auto& [colorType, bits] : {std::pair{2, 48}, std::pair{6, 64}}) {
        PngParts deep;
        deep.depth = 16;
        deep.colorType = colorType;
        deep.rows = {Bytes(std::size_t(bits / 8), 0x80)};
        const Bytes deepFile = MakePng(deep);
        TPGMemoryStream deepStream(deepFile);
        info = PngReader().GetImageInfo(deepStream, 0);
        EXPECT_EQ(info.Bits, bits);
        EXPECT_EQ(info.ColorText, "16 bit per channel") << bits;
    }

    const Bytes interlaced = ReadBytes(DataPath("png/interlaced.png"));
    TPGMemoryStream interlacedStream(interlaced);
    info = PngReader().GetImageInfo(interlacedStream, 0);
    EXPECT_EQ(info.Info1, "RGB, interlaced");
    EXPECT_EQ(info.ColorText, "16.7M");

    TPGMemoryStream again(file);
    try {
        PngReader().GetImageInfo(again, 1);
        ADD_FAILURE();
    } catch (const EPGPNGFileFormatReaderWriter& e) {
        EXPECT_STREQ(e.what(), "PNG: Invalid value for Index");
    }
    TPixelGraphic image;
    TPGMemoryStream third(file);
    try {
        PngReader().ReadImage(third, image, 1);
        ADD_FAILURE();
    } catch (const EPGPNGFileFormatReaderWriter& e) {
        EXPECT_STREQ(e.what(), "PNG: Index invalid");
    }
}

}  // namespace
}  // namespace quipix::test
