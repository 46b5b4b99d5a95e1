// The WebP and GIF readers beyond what their files in tests/data show: signatures and
// their place in the registry, transparency over a chosen background, the palette a
// GIF keeps, progress and Abort, the information lines, and files built byte by byte
// that must be refused with their messages.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"
#include "support/test_support.h"

#ifdef QUIPIX_HAVE_GIF

namespace quipix::test {
namespace {

// The Windows build reads no WebP: its rows drop out, and its signature chooses
// nothing.
#ifdef QUIPIX_HAVE_WEBP
constexpr const char* kWebP = "webp";
#else
constexpr const char* kWebP = "";
#endif

std::vector<std::uint8_t> DataFile(const std::string& name) { return ReadBytes(DataPath(name)); }

// A GIF of one 1 x 1 frame: screen, global table of `colors` entries (none for 0),
// then the frame, whose LZW data (code size 2) holds the single pixel `index`.
std::vector<std::uint8_t> TinyGif(int colors, int index) {
    Bytes b;
    b.str("GIF89a").u16(1).u16(1);
    if (colors == 0) {
        b.u8(0).u8(0).u8(0);
    } else {
        int bits = 1;
        while ((1 << bits) < colors) ++bits;
        b.u8(0x80 | (bits - 1)).u8(0).u8(0);
        for (int i = 0; i < (1 << bits); ++i) b.u8(40 * i).u8(80).u8(120);
    }
    // Codes of 3 bits, first in the low bits: clear (4), the pixel, end (5).
    const int codes = 4 | (index << 3) | (5 << 6);
    b.str(",").u16(0).u16(0).u16(1).u16(1).u8(0);
    b.u8(2).u8(2).u8(codes & 0xFF).u8(codes >> 8).u8(0).str(";");
    return b.data;
}

TEST(WebPGif, SignaturesChooseTheReadersWhateverTheExtension) {
    struct Case {
        std::string header;
        const char* extension;  // "" when no reader may take it
    } cases[] = {
        {"GIF87a\x01\x00\x01\x00", "gif"},
        {"GIF89a\x01\x00\x01\x00", "gif"},
        {"GIF88a\x01\x00\x01\x00", ""},
        {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), kWebP},
        {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), ""},
        {"RIFF", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const std::vector<std::uint8_t> bytes(c.header.begin(), c.header.end());
        TPGMemoryStream s(bytes);
        TFileFormatReader* r = FindFileFormatReader(s, "bmp");
        EXPECT_EQ(r ? r->Extension() : "", c.extension);
        if (r) {
            EXPECT_EQ(r->DialogGroup(), 1);  // listed after the classic formats
        }
    }
}

// Transparent pixels show the picture's BackGroundColor, which stays its colour; a
// GIF stays 8-bit with its own colour table, the transparent entry changed.
TEST(WebPGif, TransparencyShowsTheChosenBackground) {
    const PGColor back = PGRGB(10, 200, 30);
    struct Case {
        std::string name;  // under tests/data, without the extension
        const char* extension;
        int x, y;    // a transparent pixel (or one outside the first frame)
        int ox, oy;  // an opaque one (-1: there is none)
        TPGPixelFormat format;
        int paletteCount;
    } cases[] = {
        {"gif/transparent", ".gif", 5, 5, 25, 15, pgpf8Bit, 32},
        {"gif/offset", ".gif", 0, 0, 10, 10, pgpf8Bit, 16},
#ifdef QUIPIX_HAVE_WEBP
        {"webp/alpha_lossless", ".webp", 0, 10, -1, -1, pgpf24Bit, 0},
        {"webp/animated", ".webp", 0, 0, 10, 8, pgpf24Bit, 0},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> bytes = DataFile(c.name + c.extension);
        TPixelGraphic image;
        image.SetBackGroundColor(back);
        TPGMemoryStream s(bytes);
        image.LoadFromStream(s, "", 0);
        EXPECT_EQ(image.PixelFormat(), c.format);
        EXPECT_EQ(image.PaletteCount(), c.paletteCount);
        EXPECT_EQ(image.Pixels(c.x, c.y), back);
        EXPECT_EQ(image.BackGroundColor(), back);
        if (c.ox >= 0) {
            EXPECT_EQ(image.Pixels(c.ox, c.oy),
                      ReadPnm(DataPath(c.name + ".expected.ppm")).Colour(c.ox, c.oy));
        }
    }
}

TEST(WebPGif, ProgressCountsRowsAndAbortKeepsTheRowsRead) {
    std::vector<std::string> files = {"gif/interlaced.gif"};
#ifdef QUIPIX_HAVE_WEBP
    files.push_back("webp/lossy.webp");
#endif
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::vector<std::uint8_t> bytes = DataFile(file);
        for (const bool abort : {false, true}) {
            TPixelGraphic image;
            ProgressLog log(image, abort ? INT_MIN : INT_MAX);
            TPGMemoryStream s(bytes);
            image.LoadFromStream(s, "", 0);
            EXPECT_EQ(log.starts, 1);
            EXPECT_EQ(log.ends, 1);
            EXPECT_TRUE(log.Rising()) << ::testing::PrintToString(log.steps);
            EXPECT_EQ(log.maxima, std::vector<int>(log.steps.size(), 23));
            EXPECT_EQ(image.Height(), 23);
            if (abort)
                EXPECT_EQ(log.steps.size(), 1u);
            else
                EXPECT_EQ(log.steps.back(), 23);
        }
    }
}

TEST(WebPGif, ImageInformation) {
    struct Case {
        const char* file;
        const char* described;
        int count;
    } cases[] = {
        {"gif/pal.gif", "GIF89a |  | 6 | 64 | 35x23", 1},
        {"gif/interlaced.gif", "GIF89a, interlaced |  | 4 | 16 | 35x23", 1},
        {"gif/transparent.gif", "GIF89a, transparent |  | 5 | 32 | 35x23", 1},
#ifdef QUIPIX_HAVE_WEBP
        {"webp/lossy.webp", "lossy |  | 24 | 16.7M | 35x23", 1},
        {"webp/alpha_lossless.webp", "lossless, alpha |  | 32 | 16.7M | 35x23", 1},
        {"webp/animated.webp", "lossless, animated |  | 24 | 16.7M | 35x23", 2},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<std::uint8_t> bytes = DataFile(c.file);
        TPGMemoryStream s(bytes);
        TFileFormatReader* r = FindFileFormatReader(s, "");
        ASSERT_NE(r, nullptr);
        const TImageInfo info = r->GetImageInfo(s, 0);
        EXPECT_EQ(Described(info), c.described);
        EXPECT_EQ(info.Count, c.count);
    }
    auto gif = MakeGIFReader();
    EXPECT_EQ(MessageOf<EPGGIFFileFormatReader>([&] { Info(*gif, TinyGif(2, 1), 1); }),
              "GIF: Invalid value for Index");
#ifdef QUIPIX_HAVE_WEBP
    auto webp = MakeWEBPReader();
    EXPECT_EQ(MessageOf<EPGWEBPFileFormatReader>([&] { Info(*webp, DataFile("webp/lossy.webp"), 1); }),
              "WEBP: Invalid value for Index");
#endif
}

TEST(WebPGif, BuiltAndDamagedFiles) {
    auto gif = MakeGIFReader();
    const auto cut = [](std::vector<std::uint8_t> b, std::size_t keep) {
        b.resize(keep);
        return b;
    };
    std::vector<std::uint8_t> noImage = cut(TinyGif(2, 1), 19);
    noImage.push_back(';');
    std::vector<std::uint8_t> badLzw = TinyGif(2, 1);
    badLzw[badLzw.size() - 4] = 0xFF;  // codes past the table
#ifdef QUIPIX_HAVE_WEBP
    auto webp = MakeWEBPReader();
    std::vector<std::uint8_t> wrongChunk = DataFile("webp/lossy.webp");
    wrongChunk[12] = 'Q';  // "VP8 " becomes an unknown chunk
#endif
    struct Case {
        const char* what;
        TFileFormatReader& reader;
        std::vector<std::uint8_t> bytes;
        std::string message;
    } cases[] = {
        {"header only", *gif, cut(TinyGif(2, 1), 6), "GIF: No screen descriptor detected"},
        {"no image", *gif, noImage, "GIF: File is empty"},
        {"no colour table", *gif, TinyGif(0, 1), "GIF: No palette"},
        {"cut in the pixels", *gif, cut(DataFile("gif/pal.gif"), 400), "GIF: Unexpected end of file"},
        {"bad codes", *gif, badLzw, "GIF: Image is defective, decoding aborted"},
        {"second image", *gif, TinyGif(2, 1), "GIF: Index invalid"},
#ifdef QUIPIX_HAVE_WEBP
        {"header only", *webp, cut(DataFile("webp/lossy.webp"), 12), "WEBP: Unexpected end of file"},
        {"cut in the pixels", *webp, cut(DataFile("webp/lossy.webp"), 300), "WEBP: Unexpected end of file"},
        {"unknown chunk", *webp, wrongChunk, "WEBP: Bitstream invalid"},
        {"bare bitstream", *webp, {wrongChunk.begin() + 12, wrongChunk.end()}, "WEBP: Not a WebP file"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int index = std::string(c.what) == "second image" ? 1 : 0;
        InitPixelGraphicLibrary();
        TPixelGraphic image;
        TPGMemoryStream s(c.bytes);
        EXPECT_EQ(MessageOf<EPixelGraphic>([&] { c.reader.ReadImage(s, image, index); }), c.message);
    }
}

// Codes past a GIF's colour table show black instead of failing later on a palette
// look-up.
TEST(WebPGif, GifIndexPastItsTableShowsBlack) {
    auto gif = MakeGIFReader();
    auto image = Read(*gif, TinyGif(2, 3));
    EXPECT_EQ(image->PaletteCount(), 4);
    EXPECT_EQ(image->Pixels(0, 0), PGRGB(0, 0, 0));
    EXPECT_EQ(Read(*gif, TinyGif(2, 1))->Pixels(0, 0), PGRGB(40, 80, 120));
}

}  // namespace
}  // namespace quipix::test

#endif
