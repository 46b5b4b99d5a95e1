// Choosing a reader: signature first, extension only for readers without one; and
// loading with its emptied image, update bracket and gamma correction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/pixel_graphic.h"
#include "imaging/stream.h"
#include "support/image_checks.h"
#include "support/test_support.h"

namespace quipix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A reader recognising a fixed prefix (none: no signature).
class FakeReader : public TFileFormatReader {
public:
    FakeReader(std::string ext, std::string prefix)
        : TFileFormatReader(std::move(ext), "Fake", !prefix.empty()), prefix_(std::move(prefix)) {}
    bool IsSignature(std::span<const std::uint8_t> header) const override {
        if (throws) throw EReadError();
        return header.size() >= prefix_.size() &&
               std::equal(prefix_.begin(), prefix_.end(), header.begin(),
                          [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
    }
    void ReadImage(TPGStream&, TPixelGraphic& image, int) override {
        ++reads;
        if (fill) fill(image);
    }
    std::function<void(TPixelGraphic&)> fill;
    int reads = 0;
    bool throws = false;

private:
    std::string prefix_;
};

TEST(FindReader, SignatureWinsOverExtensionAndListIsSortedOnce) {
    FakeReader bmp("bmp", "BM"), tga("tga", ""), jpg("jpg", "\xFF\xD8"), jif("JIF", "\xFF\xD8");
    std::vector<TFileFormatReader*> list{&bmp, &jpg, &jif, &tga};
    const Bytes jpeg = B("\xFF\xD8\xFF\xE0 rest");
    TPGMemoryStream s(jpeg);
    // Sorted by lower-case extension: bmp, JIF, jpg, tga; the first match is JIF.
    EXPECT_EQ(FindFileFormatReader(list, s, "bmp"), &jif);
    EXPECT_EQ(list, (std::vector<TFileFormatReader*>{&bmp, &jif, &jpg, &tga}));
    EXPECT_EQ(s.Position(), 0) << "the header is read and the position restored";
}

TEST(FindReader, ExtensionOnlyChoosesReadersWithoutSignature) {
    FakeReader bmp("bmp", "BM"), tga("tga", "");
    std::vector<TFileFormatReader*> list{&bmp, &tga};
    const Bytes junk = B("\x00\x01\x02 unknown content");
    TPGMemoryStream s(junk);
    EXPECT_EQ(FindFileFormatReader(list, s, "tga"), &tga);
    EXPECT_EQ(FindFileFormatReader(list, s, ".TGA"), &tga) << "one leading dot, any case";
    EXPECT_EQ(FindFileFormatReader(list, s, "bmp"), nullptr) << "bmp has a signature";
    EXPECT_EQ(FindFileFormatReader(list, s, "xyz"), nullptr);
    EXPECT_EQ(FindFileFormatReader(list, s, ""), nullptr);
    EXPECT_EQ(FindFileFormatReader(list, s, "..tga"), nullptr) << "only one dot is dropped";
}

TEST(FindReader, ReadsFromTheCurrentPositionAndNeverPastTheEnd) {
    FakeReader pcx("pcx", "\x0A"), png("png", "\x89PNG\r\n\x1A\n");
    std::vector<TFileFormatReader*> list{&pcx, &png};
    const Bytes data = B("xx\x89PNG\r\n\x1A\n....");
    TPGMemoryStream s(data);
    s.Seek(2);
    EXPECT_EQ(FindFileFormatReader(list, s, ""), &png);
    EXPECT_EQ(s.Position(), 2);

    const Bytes shortPng = B("\x89PNG\r\n");  // the signature's start only
    TPGMemoryStream t(shortPng);
    EXPECT_EQ(FindFileFormatReader(list, t, "png"), nullptr);
    const Bytes empty;
    TPGMemoryStream e(empty);
    EXPECT_EQ(FindFileFormatReader(list, e, "pcx"), nullptr);
}

TEST(FindReader, AnyExceptionMeansNoReader) {
    FakeReader bad("bad", "B"), tga("tga", "");
    bad.throws = true;
    std::vector<TFileFormatReader*> list{&bad, &tga};
    const Bytes data = B("Bxx");
    TPGMemoryStream s(data);
    EXPECT_EQ(FindFileFormatReader(list, s, "tga"), nullptr);
}

TEST(Registry, HoldsTheBuiltInReadersSortedByExtension) {
    const Bytes none = B("nothing known here");
    TPGMemoryStream s(none);
    FindFileFormatReader(s, "");  // the first search sorts the list
    std::vector<std::string> exts;
    for (auto* r : PGFileFormatReaders()) exts.push_back(r->Extension());
    std::vector<std::string> expected{"avif", "bmp", "dib", "heic", "heif", "jif", "jpeg", "jpg", "pbm",
                                      "pcx",  "pgm", "png", "ppm",  "rle",  "tga", "tif",  "tiff"};
#ifdef QUIPIX_HAVE_GIF
    expected.insert(expected.begin() + 3, "gif");
#endif
#ifdef QUIPIX_HAVE_WEBP
    expected.push_back("webp");
#endif
    EXPECT_EQ(exts, expected);
    for (auto* r : PGFileFormatReaders())
        EXPECT_EQ(r->HasSignature(), r->Extension() != "tga") << r->Extension();
}

TEST(Registry, ChoosesByContentThenTgaByName) {
    const Bytes jpeg = B("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00");
    TPGMemoryStream j(jpeg);
    TFileFormatReader* r = FindFileFormatReader(j, "bmp");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Description(), "JPEG (JFIF compliant)");

    const Bytes pcx = B("\x0A\x05\x01\x08 looks like pcx");
    TPGMemoryStream p(pcx);
    r = FindFileFormatReader(p, "png");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Extension(), "pcx");

    const Bytes junk = B("\x00\x00\x02\x00 unknown");
    TPGMemoryStream u(junk);
    r = FindFileFormatReader(u, "tga");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Extension(), "tga");

    TPixelGraphic g;
    g.SetSize(3, 3, pgpf24Bit);
    TPGMemoryStream x(junk);
    EXPECT_EQ(test::MessageOf<EPGUnknownFileFormat>([&] { g.LoadFromStream(x, "xyz", 0); }),
              "Unknown file format");
    EXPECT_TRUE(g.Empty()) << "the old picture is gone even when loading fails";
    EXPECT_EQ(g.PixelFormat(), pgpf24Bit);
}

TEST(Registry, LoadsAJpegNamedBmpByItsContent) {
    test::TempDir dir;
    const auto bytes = test::ReadBytes(test::DataPath("jpg/grey.jpg"));
    ASSERT_FALSE(bytes.empty());
    const std::string path = dir.write("holiday.bmp", bytes);
    TPixelGraphic g;
    g.ReadWarningAction = pgwaRaise;
    g.LoadPictureFile(path);
    EXPECT_EQ(g.Width(), 33);
    EXPECT_EQ(g.PixelFormat(), pgpf8Bit);
    EXPECT_EQ(g.PaletteIdent(), pGray256);
    EXPECT_DOUBLE_EQ(g.Gamma, PGDisplayGamma);
}

// Registers a fake reader in the process-wide registry for one test.
class LoadWithFake : public ::testing::Test {
protected:
    LoadWithFake() : sig("qxs", "QXSIG"), byName("qxn", "") {}
    void SetUp() override {
        auto& list = PGFileFormatReaders();
        list.push_back(&sig);
        list.push_back(&byName);
    }
    void TearDown() override {
        auto& list = PGFileFormatReaders();
        std::erase(list, &sig);
        std::erase(list, &byName);
    }
    // Loads a stream of the signature reader's bytes into g.
    void LoadSigned(TPixelGraphic& g) {
        const Bytes data = B("QXSIG");
        TPGMemoryStream s(data);
        g.LoadPictureStream(s);
    }
    FakeReader sig, byName;
};

TEST_F(LoadWithFake, CorrectsGammaOfTrueColourBytesButNotPadding) {
    sig.fill = [](TPixelGraphic& g) {
        g.SetSize(2, 1, pgpf24Bit);  // stride 8: 2 pad bytes
        std::uint8_t* row = g.ScanLine(0);
        const std::uint8_t px[8] = {0, 64, 128, 192, 255, 1, 77, 77};
        std::copy(px, px + 8, row);
        g.Gamma = 2 * PGDisplayGamma;
    };
    TPixelGraphic g;
    int changes = 0;
    g.OnChange = [&](TPixelGraphic&) { ++changes; };
    LoadSigned(g);
    EXPECT_EQ(changes, 1) << "one notification for the whole load";
    EXPECT_DOUBLE_EQ(g.Gamma, PGDisplayGamma);
    const std::uint8_t* row = g.ScanLine(0);
    const auto t = GammaTable(2.0);
    const std::uint8_t before[6] = {0, 64, 128, 192, 255, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(row[i], t[before[i]]);
    EXPECT_EQ(row[2], 64);  // round(255 * (128/255)^2) = round(64.25)
    EXPECT_EQ(row[6], 77);
    EXPECT_EQ(row[7], 77);
}

TEST_F(LoadWithFake, CorrectsPaletteEntriesAndIdentifiesThePalette) {
    sig.fill = [](TPixelGraphic& g) {
        g.SetSize(1, 1, pgpf1Bit);
        g.SetPaletteCount(2);
        g.SetPaletteEntries(0, PGRGB(0, 0, 0));
        g.SetPaletteEntries(1, PGRGB(255, 255, 255));
        g.Gamma = PGDisplayGamma * 0.5;
    };
    TPixelGraphic g;
    LoadSigned(g);
    EXPECT_EQ(g.PaletteIdent(), pBlackWhite) << "0 and 255 are fixed points";

    sig.fill = [](TPixelGraphic& g) {
        g.SetSize(1, 1, pgpf8Bit);
        g.SetPaletteCount(1);
        g.SetPaletteEntries(0, PGRGB(64, 128, 192));
        g.Gamma = PGDisplayGamma * 0.5;
    };
    LoadSigned(g);
    const auto t = GammaTable(0.5);
    EXPECT_EQ(g.PaletteEntries(0), PGRGB(t[64], t[128], t[192]));
    EXPECT_EQ(t[64], 128);  // round(255 * sqrt(64/255)) = round(127.75)
    EXPECT_EQ(g.PaletteIdent(), pUnknown);
}

TEST_F(LoadWithFake, SmallGammaDifferencesAreLeftAlone) {
    sig.fill = [](TPixelGraphic& g) {
        g.SetSize(1, 1, pgpf24Bit);
        g.ScanLine(0)[0] = 100;
        g.Gamma = PGDisplayGamma * 1.04;
    };
    TPixelGraphic g;
    LoadSigned(g);
    EXPECT_EQ(g.ScanLine(0)[0], 100);
    EXPECT_DOUBLE_EQ(g.Gamma, PGDisplayGamma);
}

TEST_F(LoadWithFake, FileNameExtensionChoosesAReaderWithoutSignature) {
    byName.fill = [](TPixelGraphic& g) { g.SetSize(2, 2, pgpf24Bit); };
    test::TempDir dir;
    const std::string path = dir.write("Picture.QXN", std::string("plain bytes"));
    TPixelGraphic g;
    g.LoadPictureFile(path);
    EXPECT_EQ(byName.reads, 1);
    EXPECT_EQ(g.Width(), 2);
    EXPECT_THROW(g.LoadPictureFile(dir.str() + "/missing.qxn"), EFOpenError);
}

TEST_F(LoadWithFake, ReaderFailureClosesTheUpdateBracket) {
    sig.fill = [](TPixelGraphic&) { throw EPGTGAFileFormatReader("TGA: broken"); };
    TPixelGraphic g;
    int changes = 0;
    g.OnChange = [&](TPixelGraphic&) { ++changes; };
    EXPECT_THROW(LoadSigned(g), EPGTGAFileFormatReader);
    EXPECT_EQ(g.UpdateCount(), 0);
    EXPECT_EQ(changes, 1);
}

TEST(Gamma, TableForARatioFarFromOne) {
    const auto t = GammaTable(2.2 / 1.8);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[255], 255);
    for (int i = 1; i < 256; ++i) EXPECT_LE(t[std::size_t(i - 1)], t[std::size_t(i)]);
    for (int i = 1; i < 255; ++i)
        EXPECT_EQ(t[std::size_t(i)], int(std::nearbyint(255 * std::pow(i / 255.0, 2.2 / 1.8))));
    EXPECT_LT(t[128], 128) << "an exponent above 1 darkens";
    EXPECT_THROW(GammaTable(0), EPixelGraphic);
    EXPECT_THROW(GammaTable(-1), EPixelGraphic);
    EXPECT_THROW(GammaTable(std::nan("")), EPixelGraphic);
}

TEST(Warnings, FollowTheActionAndTheBoxAnswer) {
    struct Raised : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    const auto raise = [](const std::string& m) { throw Raised(m); };
    int boxes = 0;
    bool answer = true;
    SetWarningBoxHandler([&](const std::string& caption, const std::string& text, bool cancel) {
        ++boxes;
        EXPECT_EQ(caption, "JPG Warning");
        EXPECT_EQ(text, "Premature end");
        (void)cancel;
        return answer;
    });
    EXPECT_NO_THROW(HandleReadWarning(pgwaIgnore, "JPG Warning", "JPG: ", "Premature end", raise));
    EXPECT_EQ(boxes, 0);
    EXPECT_NO_THROW(HandleReadWarning(pgwaOKBox, "JPG Warning", "JPG: ", "Premature end", raise));
    EXPECT_NO_THROW(HandleReadWarning(pgwaOKCancelBox, "JPG Warning", "JPG: ", "Premature end", raise));
    EXPECT_EQ(boxes, 2);
    answer = false;
    EXPECT_EQ(test::MessageOf<Raised>([&] {
                  HandleReadWarning(pgwaOKCancelBox, "JPG Warning", "JPG: ", "Premature end", raise);
              }),
              "JPG: Operation aborted on user request");
    EXPECT_EQ(test::MessageOf<Raised>(
                  [&] { HandleReadWarning(pgwaRaise, "JPG Warning", "JPG: ", "Premature end", raise); }),
              "JPG: Premature end");
    EXPECT_EQ(boxes, 3);
    // A raise callback that forgets to throw still stops the read.
    EXPECT_THROW(HandleReadWarning(pgwaRaise, "c", "P: ", "t", [](const std::string&) {}), EPixelGraphic);
    SetWarningBoxHandler(nullptr);
    EXPECT_NO_THROW(HandleReadWarning(pgwaOKCancelBox, "c", "P: ", "t", raise))
        << "without a handler every box answers OK";
}

}  // namespace
}  // namespace quipix
