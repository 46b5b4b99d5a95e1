// The JPEG reader: pixels against an independent decoder's output (ImageMagick),
// grey and unsupported kinds, truncated files under each warning action, limits,
// progress and the picture information.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/stream.h"
#include "support/image_checks.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

Bytes Fixture(const std::string& name) { return ReadBytes(DataPath("jpg/" + name)); }

TFileFormatReader& JpgReader() { return RegisteredReader("jpg"); }

std::string LoadError(const Bytes& bytes, TPGWarningAction action) {
    return LoadMessage<EPGJPGFileFormatReaderWriter>(bytes, action);
}

TEST(JpgReader, ColourFilesMatchIndependentDecoder) {
    for (const std::string name : {"colour420", "colour444", "progressive"}) {
        SCOPED_TRACE(name);
        TPixelGraphic image;
        image.ReadWarningAction = pgwaRaise;
        LoadBytes(image, Fixture(name + ".jpg"));
        EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
        EXPECT_EQ(image.PaletteIdent(), pTrueColor);
        EXPECT_EQ(MaxDifference(image, ReadPnm(DataPath("jpg/" + name + ".ppm"))), 0);
    }
}

TEST(JpgReader, GreyFileBecomes8BitWithGreyPalette) {
    TPixelGraphic image;
    LoadBytes(image, Fixture("grey.jpg"));
    EXPECT_EQ(image.PixelFormat(), pgpf8Bit);
    EXPECT_EQ(image.PaletteIdent(), pGray256);
    EXPECT_EQ(MaxDifference(image, ReadPnm(DataPath("jpg/grey.pgm"))), 0);
}

TEST(JpgReader, FastTransformIsUsedWhenAsked) {
    TPixelGraphic exact, fast;
    fast.FastDCT = true;
    LoadBytes(exact, Fixture("colour444.jpg"));
    LoadBytes(fast, Fixture("colour444.jpg"));
    const Pnm reference = ReadPnm(DataPath("jpg/colour444.ppm"));
    const int diff = MaxDifference(fast, reference);
    EXPECT_GT(diff, 0);  // the fast transform rounds differently
    EXPECT_LE(diff, 8);
    EXPECT_EQ(MaxDifference(exact, reference), 0);
}

TEST(JpgReader, FourComponentFileIsRefused) {
    TPixelGraphic image;
    EXPECT_EQ(LoadError(Fixture("cmyk.jpg"), pgwaIgnore), "JPG: Not supported subformat");
    LoadBytes(image, Fixture("grey.jpg"));
    EXPECT_THROW(LoadBytes(image, Fixture("cmyk.jpg")), EPGJPGFileFormatReaderWriter);
    EXPECT_EQ(image.Width(), 0);  // a failed load leaves the picture empty
    EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
}

TEST(JpgReader, TruncatedFileLoadsUnderIgnoreAndFailsUnderRaise) {
    const Bytes whole = Fixture("colour420.jpg");
    // Cut inside the last row of blocks: the first rows are complete.
    const Bytes cut(whole.begin(), whole.end() - 60);
    TPixelGraphic image;
    image.ReadWarningAction = pgwaIgnore;
    LoadBytes(image, cut);
    ASSERT_EQ(image.Width(), 48);
    ASSERT_EQ(image.Height(), 32);
    // The rows decoded before the cut match the complete file.
    TPixelGraphic full;
    LoadBytes(full, whole);
    for (int x = 0; x < 48; ++x) EXPECT_EQ(image.Pixels(x, 0), full.Pixels(x, 0));

    EXPECT_EQ(LoadError(cut, pgwaRaise), "JPG: Premature end of JPEG file");
    EXPECT_EQ(LoadError(Bytes{0xFF, 0xD8}, pgwaRaise), "JPG: Premature end of JPEG file");
    // Without any image data the decoder's own error follows the warning.
    const std::string noImage = LoadError(Bytes{0xFF, 0xD8}, pgwaIgnore);
    EXPECT_EQ(noImage.rfind("JPG: ", 0), 0u) << noImage;
}

TEST(JpgReader, ExtraneousBytesBeforeMarkerAreAWarning) {
    Bytes bytes = Fixture("colour420.jpg");
    const std::size_t sof = 158;  // the SOF0 marker of this file
    ASSERT_EQ(bytes[sof + 1], 0xC0);
    bytes.insert(bytes.begin() + sof, {0x12, 0x34});
    EXPECT_EQ(LoadError(bytes, pgwaIgnore), "");
    EXPECT_EQ(LoadError(bytes, pgwaRaise).rfind("JPG: Corrupt JPEG data: 2 extraneous bytes", 0), 0u);
}

TEST(JpgReader, WarningBoxesShowFirstWarningAndCancelAborts) {
    BoxHandlerGuard guard;
    const Bytes whole = Fixture("progressive.jpg");
    const Bytes cut(whole.begin(), whole.begin() + whole.size() / 2);
    std::vector<std::string> shown;
    bool answer = true;
    SetWarningBoxHandler([&](const std::string& caption, const std::string& text, bool cancel) {
        shown.push_back(caption + "|" + text + "|" + (cancel ? "cancel" : "ok"));
        return answer;
    });
    TPixelGraphic image;
    image.ReadWarningAction = pgwaOKBox;
    LoadBytes(image, cut);
    EXPECT_EQ(image.Width(), 40);
    ASSERT_EQ(shown.size(), 1u);  // the decoder reports its first warning only
    EXPECT_EQ(shown[0], "JPG Warning|Premature end of JPEG file|ok");

    answer = false;
    EXPECT_EQ(LoadError(cut, pgwaOKCancelBox), "JPG: Operation aborted on user request");
    EXPECT_EQ(shown.back(), "JPG Warning|Premature end of JPEG file|cancel");
}

TEST(JpgReader, HugeDimensionsAreRefusedBeforeAllocating) {
    Bytes bytes = Fixture("colour420.jpg");
    const std::size_t sof = 158;
    bytes[sof + 5] = 0xEA;  // height 60000
    bytes[sof + 6] = 0x60;
    bytes[sof + 7] = 0xEA;  // width 60000
    bytes[sof + 8] = 0x60;
    EXPECT_EQ(LoadError(bytes, pgwaIgnore), "JPG: Image size out of range");
}

TEST(JpgReader, ProgressReportsEveryRowAndAbortStops) {
    TPixelGraphic image;
    ProgressLog log(image, 5);
    const Bytes bytes = Fixture("colour420.jpg");
    LoadBytes(image, bytes);
    TPGMemoryStream stream(bytes);
    // The sender: whichever jpg variant sorts first.
    EXPECT_EQ(log.senders, std::set<const void*>{FindFileFormatReader(stream, "")});
    EXPECT_EQ(log.steps, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(log.maxima, std::vector<int>(5, 32));
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.ends, 1);
    EXPECT_EQ(image.Width(), 48);  // an aborted load keeps what it read
    EXPECT_EQ(image.Pixels(0, 31), 0u);
}

TEST(JpgReader, IndexOtherThanZeroIsRefused) {
    const Bytes bytes = Fixture("grey.jpg");
    TPixelGraphic image;
    TPGMemoryStream a(bytes), b(bytes);
    EXPECT_EQ(MessageOf<EPGJPGFileFormatReaderWriter>([&] { JpgReader().ReadImage(a, image, 1); }),
              "JPG: Index invalid");
    EXPECT_EQ(MessageOf<EPGJPGFileFormatReaderWriter>([&] { JpgReader().GetImageInfo(b, 1); }),
              "JPG: Invalid value for Index");
}

TEST(JpgReader, ImageInformation) {
    struct Case {
        const char *file, *described;
    } cases[] = {
        {"colour420.jpg", "JFIF, YCbCr |  | 24 | 16.7M | 48x32"},
        {"progressive.jpg", "JFIF, YCbCr, Progressive |  | 24 | 16.7M | 40x24"},
        {"grey.jpg", "JFIF, GrayScale |  | 8 | 256 | 33x21"},
        {"cmyk.jpg", "Adope, YCbCrK |  | 32 | 4294.9M | 16x16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes bytes = Fixture(c.file);
        TPGMemoryStream stream(bytes);
        const TImageInfo info = JpgReader().GetImageInfo(stream, 0);
        EXPECT_EQ(info.Count, 1);
        EXPECT_EQ(Described(info), c.described);
    }
}

// An APP1 segment holding an EXIF block with one directory of count entries, the
// first of them (tag, type, value); the rest of the entries are missing.
Bytes ExifSegment(bool bigEndian, int tag, int type, int value, int count = 1, const char* magic = "Exif") {
    Bytes p(magic, magic + 4);
    p.insert(p.end(), {0, 0});
    const auto u16 = [&](int v) {
        p.push_back(std::uint8_t(bigEndian ? v >> 8 : v));
        p.push_back(std::uint8_t(bigEndian ? v : v >> 8));
    };
    const auto u32 = [&](std::uint32_t v) {
        u16(int(bigEndian ? v >> 16 : v & 0xFFFF));
        u16(int(bigEndian ? v & 0xFFFF : v >> 16));
    };
    p.insert(p.end(), bigEndian ? std::initializer_list<std::uint8_t>{'M', 'M'}
                                : std::initializer_list<std::uint8_t>{'I', 'I'});
    u16(42);
    u32(8);
    u16(count);
    u16(tag);
    u16(type);
    u32(1);
    u16(value);
    u16(0);
    u32(0);
    const std::uint8_t head[] = {0xFF, 0xE1, std::uint8_t((p.size() + 2) >> 8), std::uint8_t(p.size() + 2)};
    p.insert(p.begin(), std::begin(head), std::end(head));
    return p;
}

TEST(JpgReader, ExifOrientationTurnsThePictureUpright) {
    const Bytes plain = Fixture("colour444.jpg");
    TPixelGraphic stored;
    LoadBytes(stored, plain);
    const int w = stored.Width(), h = stored.Height();
    // Corners of the stored picture: top left, top right, bottom left, bottom right.
    const PGColor corner[4] = {stored.Pixels(0, 0), stored.Pixels(w - 1, 0), stored.Pixels(0, h - 1),
                               stored.Pixels(w - 1, h - 1)};
    // Which stored corner each orientation shows at the top left, top right and
    // bottom left.
    const int shown[9][3] = {{},        {0, 1, 2}, {1, 0, 3}, {3, 2, 1}, {2, 3, 0},
                             {0, 2, 1}, {2, 0, 3}, {3, 1, 2}, {1, 3, 0}};
    const struct {
        const char* name;
        Bytes segment;
        int orientation;
    } cases[] = {
        {"little-endian 6", ExifSegment(false, 274, 3, 6), 6},
        {"big-endian 8", ExifSegment(true, 274, 3, 8), 8},
        {"big-endian 3", ExifSegment(true, 274, 3, 3), 3},
        {"little-endian 5", ExifSegment(false, 274, 3, 5), 5},
        {"value 9", ExifSegment(false, 274, 3, 9), 1},
        {"LONG instead of SHORT", ExifSegment(false, 274, 4, 6), 1},
        {"no orientation, count past the end", ExifSegment(true, 256, 3, 6, 500), 1},
        {"not an EXIF block", ExifSegment(false, 274, 3, 6, 1, "Exix"), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file(plain.begin(), plain.begin() + 2);
        file.insert(file.end(), c.segment.begin(), c.segment.end());
        file.insert(file.end(), plain.begin() + 2, plain.end());
        TPixelGraphic image;
        LoadBytes(image, file);
        const bool turned = c.orientation >= 5;
        ASSERT_EQ(image.Width(), turned ? h : w);
        ASSERT_EQ(image.Height(), turned ? w : h);
        EXPECT_EQ(image.PixelFormat(), pgpf24Bit);
        const int iw = image.Width(), ih = image.Height();
        EXPECT_EQ(image.Pixels(0, 0), corner[shown[c.orientation][0]]);
        EXPECT_EQ(image.Pixels(iw - 1, 0), corner[shown[c.orientation][1]]);
        EXPECT_EQ(image.Pixels(0, ih - 1), corner[shown[c.orientation][2]]);
        TPGMemoryStream stream(file);
        EXPECT_EQ(JpgReader().GetImageInfo(stream, 0).Orientation, c.orientation);
    }
}

}  // namespace
}  // namespace quipix::test
