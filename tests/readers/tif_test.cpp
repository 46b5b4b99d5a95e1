// TIFF files built tag by tag: sample layouts, photometrics, byte orders, strips,
// PackBits, refused compressions and the directory checks.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"

namespace quipix::test {
namespace {

enum { kByte = 1, kShort = 3, kLong = 4 };

struct Field {
    int tag, type;
    std::vector<std::uint32_t> values;
};

// Header, one directory at offset 8, the lists that do not fit an entry, then the
// strips. StripOffsets is filled in last unless a test gives its own.
struct TiffFile {
    bool bigEndian = false;
    std::vector<Field> fields;
    std::vector<Bytes> strips;
    bool autoOffsets = true;

    TiffFile& Tag(int tag, int type, std::vector<std::uint32_t> v) {
        fields.push_back({tag, type, std::move(v)});
        return *this;
    }
    TiffFile& Strip(std::initializer_list<int> bytes) {
        strips.emplace_back();
        strips.back().raw(bytes);
        return *this;
    }

    static int Size(int type) { return type == kByte ? 1 : type == kShort ? 2 : 4; }

    std::vector<std::uint8_t> Build() const {
        std::vector<Field> all = fields;
        const std::size_t offsetsField = all.size();
        if (autoOffsets) all.push_back({273, kLong, std::vector<std::uint32_t>(strips.size())});
        const std::uint32_t ifdEnd = 8 + 2 + 12 * std::uint32_t(all.size()) + 4;
        std::uint32_t extra = 0;
        for (const Field& f : all)
            if (f.values.size() * Size(f.type) > 4) extra += std::uint32_t(f.values.size() * Size(f.type));
        std::uint32_t at = ifdEnd + extra;
        if (autoOffsets)
            for (std::size_t i = 0; i < strips.size(); ++i) {
                all[offsetsField].values[i] = at;
                at += std::uint32_t(strips[i].size());
            }

        Bytes b;
        const auto u16 = [&](int v) -> Bytes& { return bigEndian ? b.u16be(v) : b.u16(v); };
        const auto u32 = [&](std::uint32_t v) -> Bytes& { return bigEndian ? b.u32be(v) : b.u32(v); };
        const auto value = [&](int type, std::uint32_t v) {
            if (type == kByte) b.u8(int(v));
            else if (type == kShort) u16(int(v));
            else u32(v);
        };
        b.str(bigEndian ? "MM" : "II");
        u16(42);
        u32(8);
        u16(int(all.size()));
        std::uint32_t nextExtra = ifdEnd;
        for (const Field& f : all) {
            u16(f.tag);
            u16(f.type);
            u32(std::uint32_t(f.values.size()));
            const std::size_t bytes = f.values.size() * Size(f.type);
            if (bytes > 4) {
                u32(nextExtra);
                nextExtra += std::uint32_t(bytes);
            } else {
                const std::size_t before = b.size();
                for (auto v : f.values) value(f.type, v);
                b.fill(4 - (b.size() - before), 0);
            }
        }
        u32(0);
        for (const Field& f : all)
            if (f.values.size() * Size(f.type) > 4)
                for (auto v : f.values) value(f.type, v);
        for (const Bytes& s : strips) b.data.insert(b.data.end(), s.data.begin(), s.data.end());
        return b.data;
    }
};

TiffFile Basic(int width, int height, int photometric, std::vector<std::uint32_t> bits,
               int compression = 1) {
    TiffFile t;
    t.Tag(256, kShort, {std::uint32_t(width)}).Tag(257, kShort, {std::uint32_t(height)});
    t.Tag(258, kShort, bits).Tag(259, kShort, {std::uint32_t(compression)});
    t.Tag(262, kShort, {std::uint32_t(photometric)});
    t.Tag(277, kShort, {std::uint32_t(bits.size())});
    return t;
}

class TifTest : public ::testing::Test {
protected:
    std::unique_ptr<TFileFormatReader> reader = MakeTIFReader("tif");
    std::string Error(const std::vector<std::uint8_t>& bytes, TPGWarningAction a = pgwaRaise) {
        return ReadError<EPGTIFFileFormatReader>(*reader, bytes, a);
    }
};

TEST_F(TifTest, RegistrationsAndSignature) {
    for (const char* ext : {"tif", "tiff"}) {
        auto r = MakeTIFReader(ext);
        EXPECT_EQ(r->Extension(), ext);
        EXPECT_EQ(r->Description(), "Tagged Image File Format");
    }
    const std::uint8_t ii[] = {0x49, 0x49, 0x2A, 0}, mm[] = {0x4D, 0x4D, 0, 0x2A},
                       mixed[] = {0x49, 0x49, 0, 0x2A}, shortish[] = {0x49, 0x49, 0x2A};
    EXPECT_TRUE(reader->IsSignature(ii));
    EXPECT_TRUE(reader->IsSignature(mm));
    EXPECT_FALSE(reader->IsSignature(mixed));
    EXPECT_FALSE(reader->IsSignature(shortish));
}

TEST_F(TifTest, BigAndLittleEndianTwinsAreEqual) {
    TiffFile t = Basic(2, 2, 2, {8, 8, 8});
    t.Tag(278, kLong, {1}).Strip({255, 0, 0, 0, 255, 0}).Strip({0, 0, 255, 9, 8, 7});
    auto little = Read(*reader, t.Build());
    t.bigEndian = true;
    auto big = Read(*reader, t.Build());
    for (auto* img : {little.get(), big.get()}) {
        EXPECT_EQ(img->PixelFormat(), pgpf24Bit);
        EXPECT_EQ(img->Pixels(0, 0), PGRGB(255, 0, 0));
        EXPECT_EQ(img->Pixels(1, 0), PGRGB(0, 255, 0));
        EXPECT_EQ(img->Pixels(0, 1), PGRGB(0, 0, 255));
        EXPECT_EQ(img->Pixels(1, 1), PGRGB(9, 8, 7));
    }
}

TEST_F(TifTest, WhiteIsZeroIsInverted) {
    TiffFile g = Basic(3, 1, 0, {8});
    g.Strip({0, 100, 255});
    auto img = Read(*reader, g.Build());
    EXPECT_EQ(img->PaletteIdent(), pGray256);
    EXPECT_EQ(img->PixelValues(0, 0), 255u);
    EXPECT_EQ(img->PixelValues(1, 0), 155u);
    EXPECT_EQ(img->PixelValues(2, 0), 0u);

    TiffFile n = Basic(3, 1, 0, {4});
    n.Strip({0x1F, 0x30});
    img = Read(*reader, n.Build());
    EXPECT_EQ(img->PaletteIdent(), pGray16);
    EXPECT_EQ(img->PixelValues(0, 0), 14u);
    EXPECT_EQ(img->PixelValues(1, 0), 0u);
    EXPECT_EQ(img->PixelValues(2, 0), 12u);

    for (int photometric : {0, 1, 3}) {
        TiffFile b = Basic(3, 1, photometric, {1});
        b.Strip({0xA0});
        img = Read(*reader, b.Build());
        EXPECT_EQ(img->PaletteIdent(), pBlackWhite);
        const std::uint32_t first = photometric == 0 ? 0 : 1;
        EXPECT_EQ(img->PixelValues(0, 0), first) << photometric;
        EXPECT_EQ(img->PixelValues(1, 0), 1 - first) << photometric;
    }
}

TEST_F(TifTest, PaletteFromTheColorMap) {
    TiffFile t = Basic(2, 1, 3, {4});
    std::vector<std::uint32_t> map(48, 0);
    map[1] = 0xFFFF, map[16 + 1] = 0x8000, map[32 + 1] = 0x01FF;
    t.Tag(320, kShort, map).Strip({0x10});
    auto img = Read(*reader, t.Build());
    EXPECT_EQ(img->PaletteCount(), 16);
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(255, 128, 1));
    EXPECT_EQ(img->Pixels(1, 0), PGRGB(0, 0, 0));
}

TEST_F(TifTest, CmykAndRgbaRows) {
    TiffFile c = Basic(2, 1, 5, {8, 8, 8, 8});
    c.Strip({0, 0, 0, 0, 100, 50, 200, 60});
    auto img = Read(*reader, c.Build());
    EXPECT_EQ(img->Pixels(0, 0), PGRGB(255, 255, 255));
    EXPECT_EQ(img->Pixels(1, 0), PGRGB(95, 145, 0));

    TiffFile a = Basic(1, 1, 2, {8, 8, 8, 8});
    a.Strip({1, 2, 3, 4});
    EXPECT_EQ(Read(*reader, a.Build())->Pixels(0, 0), PGRGB(1, 2, 3));
}

TEST_F(TifTest, PackBitsRowsAndOverflow) {
    TiffFile t = Basic(4, 2, 1, {8}, 32773);
    // Row 0: literal 1 2, a no-op, run of two 9s. Row 1: run of four 7s.
    t.Strip({1, 1, 2, 0x80, 0xFF, 9, 0xFD, 7});
    auto img = Read(*reader, t.Build());
    const std::uint32_t expect[2][4] = {{1, 2, 9, 9}, {7, 7, 7, 7}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(img->PixelValues(x, y), expect[y][x]);

    TiffFile bad = Basic(4, 2, 1, {8}, 32773);
    bad.Strip({0xFD, 7, 0xFC, 1});
    EXPECT_EQ(Error(bad.Build()), "TIFF (PackBits): Invalid count of bytes in row 1");
    TiffFile cut = Basic(4, 2, 1, {8}, 32773);
    cut.Strip({0xFD, 7, 0x03, 1});
    EXPECT_EQ(Error(cut.Build()), "TIFF: Unexpected end of file");
}

TEST_F(TifTest, RefusedCompressions) {
    const struct { int compression; const char* message; } cases[] = {
        {2, "TIFF: Unsupported compression CCITT 1D"},
        {3, "TIFF: Unsupported compression Group 3 Fax"},
        {4, "TIFF: Unsupported compression Group 4 Fax"},
        {5, "TIFF: Unsupported compression LZW"},
        {6, "TIFF: Unsupported compression JPEG"},
        {7, "TIFF: Unsupported compression 7"},
        {8, "TIFF: Unsupported compression 8"}};
    for (const auto& c : cases) {
        TiffFile t = Basic(1, 1, 1, {8}, c.compression);
        t.Strip({0});
        EXPECT_EQ(Error(t.Build()), c.message);
    }
    TiffFile none = Basic(1, 1, 1, {8});
    none.fields.erase(none.fields.begin() + 3);
    none.Strip({0});
    EXPECT_EQ(Error(none.Build()), "TIFF: Unsupported compression 0");
}

TEST_F(TifTest, DirectoryChecks) {
    TiffFile t = Basic(1, 1, 1, {8});
    t.Strip({0});
    TiffFile noSpp = t;
    noSpp.fields.erase(noSpp.fields.begin() + 5);
    EXPECT_EQ(Error(noSpp.Build()), "TIFF: Invalid SamplesPerPixel");
    TiffFile noBits = t;
    noBits.fields.erase(noBits.fields.begin() + 2);
    EXPECT_EQ(Error(noBits.Build()), "TIFF: Invalid count of SamplesPerPixel");
    TiffFile planar = t;
    planar.Tag(284, kShort, {2});
    EXPECT_EQ(Error(planar.Build()), "TIFF: PlanarConfiguration invalid");
    TiffFile grey16 = Basic(1, 1, 1, {16});
    grey16.Strip({0, 0});
    EXPECT_EQ(Error(grey16.Build()), "TIFF: Invalid SamplesPerPixel");
    TiffFile ycbcr = Basic(1, 1, 6, {8, 8, 8});
    ycbcr.Strip({0, 0, 0});
    EXPECT_EQ(Error(ycbcr.Build()), "TIFF: Invalid SamplesPerPixel");
    TiffFile rational = t;
    rational.fields[0].type = 5;
    EXPECT_EQ(Error(rational.Build()), "TIFF: Unsupported field Type: 5");
    TiffFile later = Basic(3, 1, 1, {8});  // a repeated tag: the later entry counts
    later.Tag(256, kShort, {2}).Strip({0, 0});
    EXPECT_EQ(Error(later.Build()), "");
    EXPECT_EQ(Read(*reader, later.Build())->Width(), 2);

    auto bytes = t.Build();
    bytes[2] = 43;
    EXPECT_EQ(Error(bytes), "TIFF: Not a TIF file");
    bytes[0] = 'X';
    EXPECT_EQ(Error(bytes), "TIFF: Not a TIF file");
    TPixelGraphic img;
    const auto good = t.Build();
    TPGMemoryStream s(good);
    EXPECT_EQ(MessageOf<EPGTIFFileFormatReader>([&] { reader->ReadImage(s, img, 1); }),
              "TIFF: Index invalid");
}

TEST_F(TifTest, StripCounts) {
    // One strip whose RowsPerStrip does not match the height: a warning.
    TiffFile one = Basic(1, 2, 1, {8});
    one.Tag(278, kShort, {1}).Strip({5, 6});
    const auto bytes = one.Build();
    const std::string text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
    auto img = Read(*reader, bytes, pgwaIgnore);
    EXPECT_EQ(img->PixelValues(0, 1), 6u);
    EXPECT_EQ(Error(bytes, pgwaRaise), text);
    EXPECT_EQ(Error(bytes, pgwaOKBox), text);
    EXPECT_EQ(Error(bytes, pgwaOKCancelBox), "");  // no box handler: OK
    std::vector<std::string> boxes;
    bool answer = false;
    SetWarningBoxHandler([&](const std::string& caption, const std::string& t, bool cancel) {
        boxes.push_back(caption + "|" + t + (cancel ? "|cancel" : ""));
        return answer;
    });
    EXPECT_EQ(Error(bytes, pgwaOKCancelBox), text);  // Cancel
    answer = true;
    EXPECT_EQ(Error(bytes, pgwaOKCancelBox), "");
    EXPECT_EQ(Error(bytes, pgwaOKBox), text);
    SetWarningBoxHandler({});
    EXPECT_EQ(boxes, (std::vector<std::string>{"TIFF-Warning|" + text + "|cancel",
                                               "TIFF-Warning|" + text + "|cancel",
                                               "TIFF-Warning|" + text}));

    TiffFile two = Basic(1, 3, 1, {8});
    two.Tag(278, kShort, {1}).Strip({1}).Strip({2});
    EXPECT_EQ(Error(two.Build(), pgwaIgnore), text);
    TiffFile zero = Basic(1, 2, 1, {8});
    zero.Tag(278, kShort, {0}).Strip({1}).Strip({2});
    EXPECT_EQ(Error(zero.Build()), "TIFF: Invalid RowsPerStrip");
    TiffFile none = Basic(1, 2, 1, {8});
    EXPECT_EQ(Error(none.Build(), pgwaIgnore), text);

    TiffFile rows = Basic(1, 3, 1, {8});
    rows.Tag(278, kLong, {2}).Strip({1, 2}).Strip({3});
    img = Read(*reader, rows.Build());
    EXPECT_EQ(img->PixelValues(0, 2), 3u);
}

TEST_F(TifTest, ShortListsInsideTheEntryAndOffsetsOutsideTheFile) {
    // Two SHORT strip offsets fit the entry's four bytes and are read from there.
    TiffFile t = Basic(1, 2, 1, {8});
    t.autoOffsets = false;
    t.Tag(278, kShort, {1});
    const std::uint32_t dataAt = 8 + 2 + 12 * 8 + 4;
    t.Tag(273, kShort, {dataAt + 1, dataAt});
    t.Strip({40, 41});
    auto img = Read(*reader, t.Build());
    EXPECT_EQ(img->PixelValues(0, 0), 41u);
    EXPECT_EQ(img->PixelValues(0, 1), 40u);

    t.fields.back().values = {dataAt, 5000};
    EXPECT_EQ(Error(t.Build()), "TIFF: Unexpected end of file");
    TiffFile cut = Basic(2, 2, 1, {8});
    cut.Strip({1, 2, 3});
    EXPECT_EQ(MessageOf<EReadError>([&] { Read(*reader, cut.Build()); }), "Stream read error");
    TiffFile huge = Basic(60000, 60000, 2, {8, 8, 8});
    huge.Strip({1});
    EXPECT_EQ(Error(huge.Build()), "TIFF: Image size out of range");
    TiffFile big = Basic(3000, 3000, 2, {8, 8, 8}, 32773);
    big.Strip({1});
    EXPECT_EQ(Error(big.Build(), pgwaIgnore), "TIFF: Unexpected end of file");
    TiffFile longList = Basic(1, 1, 1, {8});
    longList.Tag(320, kShort, std::vector<std::uint32_t>(3, 0));
    auto bytes = longList.Build();
    bytes.resize(bytes.size() - 3);  // the colour map's last bytes are missing
    EXPECT_EQ(MessageOf<EReadError>([&] { Read(*reader, bytes); }), "Stream read error");
}

TEST_F(TifTest, ImageInfo) {
    TiffFile t = Basic(5, 6, 2, {8, 8, 8}, 32773);
    t.bigEndian = true;
    TImageInfo info = Info(*reader, t.Build());
    EXPECT_EQ(info.Info1, "M, PackBits, RGB");
    EXPECT_EQ(info.Info2, "");
    EXPECT_EQ(info.Bits, 24);
    EXPECT_EQ(info.ColorText, "16.7 M");
    EXPECT_EQ(info.Width, 5);
    EXPECT_EQ(info.Height, 6);
    info = Info(*reader, Basic(1, 1, 0, {4}, 5).Build());
    EXPECT_EQ(info.Info1, "I, LZW, WhiteIsZero");
    EXPECT_EQ(info.Info2, "(Unsupported compression)");
    EXPECT_EQ(info.ColorText, "16");
    EXPECT_EQ(Info(*reader, Basic(1, 1, 3, {8}).Build()).Info1, "I, Uncompr., RGB Palette");
    EXPECT_EQ(Info(*reader, Basic(1, 1, 5, {8, 8, 8, 8}, 9).Build()).Info1, "I, , CMYK");
    EXPECT_EQ(Info(*reader, Basic(1, 1, 1, {1}, 4).Build()).Info1, "I, Group 4 F., BlackIsZero");
}

}  // namespace
}  // namespace quipix::test
