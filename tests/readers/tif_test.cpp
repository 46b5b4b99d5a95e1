// TIFF files built tag by tag: sample layouts, photometrics, byte orders, strips,
// PackBits, LZW and Deflate with their predictor and bit orders, refused
// compressions and the directory checks.
#include <gtest/gtest.h>

#include <zlib.h>

#include <map>

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

    // Leaves out a field, or gives it another type and values.
    TiffFile& Drop(int tag) {
        std::erase_if(fields, [&](const Field& f) { return f.tag == tag; });
        return *this;
    }
    TiffFile& Set(int tag, int type, std::vector<std::uint32_t> v) {
        for (Field& f : fields)
            if (f.tag == tag) f = {tag, type, v};
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
            if (type == kByte)
                b.u8(int(v));
            else if (type == kShort)
                u16(int(v));
            else
                u32(v);
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

TiffFile Basic(int width, int height, int photometric, std::vector<std::uint32_t> bits, int compression = 1) {
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
        EXPECT_EQ(Colours(*img),
                  (ColourRows{{PGRGB(255, 0, 0), PGRGB(0, 255, 0)}, {PGRGB(0, 0, 255), PGRGB(9, 8, 7)}}));
    }
}

TEST_F(TifTest, WhiteIsZeroIsInverted) {
    auto img = Read(*reader, Basic(3, 1, 0, {8}).Strip({0, 100, 255}).Build());
    EXPECT_EQ(img->PaletteIdent(), pGray256);
    EXPECT_EQ(Values(*img), (ValueRows{{255, 155, 0}}));

    img = Read(*reader, Basic(3, 1, 0, {4}).Strip({0x1F, 0x30}).Build());
    EXPECT_EQ(img->PaletteIdent(), pGray16);
    EXPECT_EQ(Values(*img), (ValueRows{{14, 0, 12}}));

    for (int photometric : {0, 1, 3}) {
        img = Read(*reader, Basic(3, 1, photometric, {1}).Strip({0xA0}).Build());
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
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(255, 128, 1), PGRGB(0, 0, 0)}}));
}

TEST_F(TifTest, CmykAndRgbaRows) {
    EXPECT_EQ(
        Colours(*Read(*reader, Basic(2, 1, 5, {8, 8, 8, 8}).Strip({0, 0, 0, 0, 100, 50, 200, 60}).Build())),
        (ColourRows{{PGRGB(255, 255, 255), PGRGB(95, 145, 0)}}));

    EXPECT_EQ(Read(*reader, Basic(1, 1, 2, {8, 8, 8, 8}).Strip({1, 2, 3, 4}).Build())->Pixels(0, 0),
              PGRGB(1, 2, 3));
}

TEST_F(TifTest, PackBitsRowsAndOverflow) {
    TiffFile t = Basic(4, 2, 1, {8}, 32773);
    // Row 0: literal 1 2, a no-op, run of two 9s. Row 1: run of four 7s.
    t.Strip({1, 1, 2, 0x80, 0xFF, 9, 0xFD, 7});
    EXPECT_EQ(Values(*Read(*reader, t.Build())), (ValueRows{{1, 2, 9, 9}, {7, 7, 7, 7}}));

    EXPECT_EQ(Error(Basic(4, 2, 1, {8}, 32773).Strip({0xFD, 7, 0xFC, 1}).Build()),
              "TIFF (PackBits): Invalid count of bytes in row 1");
    EXPECT_EQ(Error(Basic(4, 2, 1, {8}, 32773).Strip({0xFD, 7, 0x03, 1}).Build()),
              "TIFF: Unexpected end of file");
}

// An RGB picture larger than the reader's 64 KiB window, its rows made of runs of
// every kind and length with no-ops among them, so that runs straddle the window's
// end: read in place and copied (as from a file), whole and cut inside a row past
// the window, which leaves the rows before the cut and clears the others.
TEST_F(TifTest, PackBitsRunsAcrossTheReadWindow) {
    constexpr int kWidth = 301, kHeight = 200;
    constexpr std::size_t kRowBytes = kWidth * 3;
    const std::size_t lengths[] = {1, 2, 3, 15, 16, 17, 100, 127, 128};
    std::uint32_t seed = 1;
    const auto random = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    std::vector<std::uint8_t> rgb;     // top row first
    std::vector<std::size_t> rowEnds;  // where each row's codes end in the strip
    Bytes strip;
    for (int y = 0; y < kHeight; ++y) {
        for (std::size_t x = 0; x < kRowBytes;) {
            const std::size_t n = std::min(lengths[random() % 9], kRowBytes - x);
            if (random() % 8 == 0) strip.u8(0x80);
            if (n > 1 && random() % 2) {
                const auto v = std::uint8_t(random());
                strip.u8(int(257 - n)).u8(v);
                rgb.insert(rgb.end(), n, v);
            } else {
                strip.u8(int(n - 1));
                for (std::size_t i = 0; i < n; ++i) {
                    rgb.push_back(std::uint8_t(random()));
                    strip.u8(rgb.back());
                }
            }
            x += n;
        }
        rowEnds.push_back(strip.size());
    }
    TiffFile t = Basic(kWidth, kHeight, 2, {8, 8, 8}, 32773);
    t.strips.push_back(strip);
    const std::vector<std::uint8_t> whole = t.Build();
    const std::size_t stripStart = whole.size() - strip.size();
    ASSERT_GT(rowEnds.back(), 90000u);
    // Cut in the middle of the first row after 70000 bytes.
    int rowsBeforeCut = 1;
    while (rowEnds[std::size_t(rowsBeforeCut) - 1] < 70000) ++rowsBeforeCut;
    const std::size_t cutAt =
        (rowEnds[std::size_t(rowsBeforeCut) - 1] + rowEnds[std::size_t(rowsBeforeCut)]) / 2;
    // Rows up to rows as encoded, the rest black; the first row that differs.
    const auto firstWrongRow = [&](const TPixelGraphic& img, int rows) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const std::uint8_t* p = &rgb[std::size_t(y) * kRowBytes + std::size_t(x) * 3];
                if (img.Pixels(x, y) != (y < rows ? PGRGB(p[0], p[1], p[2]) : PGRGB(0, 0, 0))) return y;
            }
        return -1;
    };
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(stripStart + cutAt));
    for (bool copied : {false, true}) {
        SCOPED_TRACE(copied ? "copied" : "in place");
        for (const auto* bytes : {&whole, &cut}) {
            TPixelGraphic img;
            img.ReadWarningAction = pgwaRaise;
            TPGMemoryStream inPlace(*bytes);
            CopiedStream copy(*bytes);
            const std::string message = MessageOf<EPGTIFFileFormatReader>(
                [&] { reader->ReadImage(copied ? static_cast<TPGStream&>(copy) : inPlace, img, 0); });
            EXPECT_EQ(message, bytes == &whole ? "" : "TIFF: Unexpected end of file");
            EXPECT_EQ(firstWrongRow(img, bytes == &whole ? kHeight : rowsBeforeCut), -1);
        }
    }
}

TEST_F(TifTest, RefusedCompressions) {
    const struct {
        int compression;
        const char* message;
    } cases[] = {
        {2, "TIFF: Unsupported compression CCITT 1D"},    {3, "TIFF: Unsupported compression Group 3 Fax"},
        {4, "TIFF: Unsupported compression Group 4 Fax"}, {6, "TIFF: Unsupported compression JPEG"},
        {7, "TIFF: Unsupported compression 7"},           {34712, "TIFF: Unsupported compression 34712"}};
    for (const auto& c : cases)
        EXPECT_EQ(Error(Basic(1, 1, 1, {8}, c.compression).Strip({0}).Build()), c.message);
    EXPECT_EQ(Error(Basic(1, 1, 1, {8}).Drop(259).Strip({0}).Build()), "TIFF: Unsupported compression 0");
}

TEST_F(TifTest, DirectoryChecks) {
    TiffFile t = Basic(1, 1, 1, {8});
    t.Strip({0});
    // Absent SamplesPerPixel and BitsPerSample mean one sample of one bit.
    EXPECT_EQ(Read(*reader, TiffFile(t).Drop(277).Build())->PixelFormat(), pgpf8Bit);
    auto mono = Read(*reader, Basic(9, 1, 1, {8}).Drop(258).Strip({0x80, 0x80}).Build());
    EXPECT_EQ(mono->PixelFormat(), pgpf1Bit);
    EXPECT_EQ(mono->PixelValues(0, 0) + mono->PixelValues(8, 0), 2u);
    EXPECT_EQ(mono->PixelValues(1, 0), 0u);
    // Of a repeated tag the later entry counts.
    const TiffFile repeated = Basic(3, 1, 1, {8}).Tag(256, kShort, {2}).Strip({0, 0});
    const struct {
        const char* name;
        TiffFile file;
        const char* message;
    } cases[] = {
        {"RGB without BitsPerSample", Basic(1, 1, 2, {8, 8, 8}).Drop(258).Strip({0}),
         "TIFF: Invalid SamplesPerPixel"},
        {"three samples, two BitsPerSample", Basic(1, 1, 2, {8, 8}).Set(277, kShort, {3}).Strip({0, 0, 0}),
         "TIFF: Invalid count of SamplesPerPixel"},
        {"PlanarConfiguration 2", TiffFile(t).Tag(284, kShort, {2}), "TIFF: PlanarConfiguration invalid"},
        {"16-bit palette", Basic(1, 1, 3, {16}).Strip({0, 0}), "TIFF: Invalid SamplesPerPixel"},
        {"mixed sample widths", Basic(1, 1, 2, {8, 16, 8}).Strip({0, 0, 0, 0}),
         "TIFF: Invalid SamplesPerPixel"},
        {"YCbCr", Basic(1, 1, 6, {8, 8, 8}).Strip({0, 0, 0}), "TIFF: Invalid SamplesPerPixel"},
        {"a RATIONAL field", TiffFile(t).Set(256, 5, {1}), "TIFF: Unsupported field Type: 5"},
        {"a repeated tag", repeated, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Error(c.file.Build()), c.message) << c.name;
    EXPECT_EQ(Read(*reader, repeated.Build())->Width(), 2);

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
                                               "TIFF-Warning|" + text + "|cancel", "TIFF-Warning|" + text}));

    EXPECT_EQ(Error(Basic(1, 3, 1, {8}).Tag(278, kShort, {1}).Strip({1}).Strip({2}).Build(), pgwaIgnore),
              text);
    EXPECT_EQ(Error(Basic(1, 2, 1, {8}).Tag(278, kShort, {0}).Strip({1}).Strip({2}).Build()),
              "TIFF: Invalid RowsPerStrip");
    EXPECT_EQ(Error(Basic(1, 2, 1, {8}).Build(), pgwaIgnore), text);
    img = Read(*reader, Basic(1, 3, 1, {8}).Tag(278, kLong, {2}).Strip({1, 2}).Strip({3}).Build());
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
    EXPECT_EQ(MessageOf<EReadError>([&] {
                  Read(*reader, Basic(2, 2, 1, {8}).Strip({1, 2, 3}).Build());
              }),
              "Stream read error");
    EXPECT_EQ(Error(Basic(60000, 60000, 2, {8, 8, 8}).Strip({1}).Build()), "TIFF: Image size out of range");
    EXPECT_EQ(Error(Basic(3000, 3000, 2, {8, 8, 8}, 32773).Strip({1}).Build(), pgwaIgnore),
              "TIFF: Unexpected end of file");
    auto bytes = Basic(1, 1, 1, {8}).Tag(320, kShort, std::vector<std::uint32_t>(3, 0)).Build();
    bytes.resize(bytes.size() - 3);  // the colour map's last bytes are missing
    EXPECT_EQ(MessageOf<EReadError>([&] { Read(*reader, bytes); }), "Stream read error");
}

TEST_F(TifTest, ImageInfo) {
    TiffFile t = Basic(5, 6, 2, {8, 8, 8}, 32773);
    t.bigEndian = true;
    EXPECT_EQ(Described(Info(*reader, t.Build())), "M, PackBits, RGB |  | 24 | 16.7 M | 5x6");
    TImageInfo info = Info(*reader, Basic(1, 1, 0, {4}, 5).Build());
    EXPECT_EQ(Described(info), "I, LZW, WhiteIsZero |  | 4 | 16 | 1x1");
    EXPECT_EQ(info.Orientation, 1);
    info = Info(*reader, Basic(1, 1, 1, {8}, 32946).Tag(274, kShort, {6}).Build());
    EXPECT_EQ(info.Info1, "I, Deflate, BlackIsZero");
    EXPECT_EQ(info.Orientation, 6);
    EXPECT_EQ(Info(*reader, Basic(1, 1, 1, {8}, 6).Build()).Info2, "(Unsupported compression)");
    EXPECT_EQ(Info(*reader, Basic(1, 1, 3, {8}).Build()).Info1, "I, Uncompr., RGB Palette");
    EXPECT_EQ(Info(*reader, Basic(1, 1, 5, {8, 8, 8, 8}, 9).Build()).Info1, "I, , CMYK");
    EXPECT_EQ(Info(*reader, Basic(1, 1, 1, {1}, 4).Build()).Info1, "I, Group 4 F., BlackIsZero");
}

// LZW codes of data (a clear code first, the end code last), from a plain string
// table; small data only, so every code has 9 bits.
std::vector<int> LzwCodes(const std::vector<std::uint8_t>& data) {
    std::map<std::vector<std::uint8_t>, int> table;
    std::vector<int> codes{256};
    std::vector<std::uint8_t> w;
    const auto code = [&](const std::vector<std::uint8_t>& s) { return s.size() == 1 ? s[0] : table.at(s); };
    for (std::uint8_t c : data) {
        std::vector<std::uint8_t> wc = w;
        wc.push_back(c);
        if (w.empty() || table.count(wc)) {
            w = wc;
            continue;
        }
        codes.push_back(code(w));
        table[wc] = 258 + int(table.size());
        w = {c};
    }
    if (!w.empty()) codes.push_back(code(w));
    codes.push_back(257);
    EXPECT_LT(codes.size(), 250u);
    return codes;
}

// 9-bit codes packed high bit first, or low bit first as the old library wrote them.
std::vector<std::uint8_t> PackCodes(const std::vector<int>& codes, bool lowBitFirst) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int n = 0;
    for (int c : codes) {
        acc = lowBitFirst ? acc | (std::uint32_t(c) << n) : (acc << 9) | std::uint32_t(c);
        n += 9;
        for (; n >= 8; n -= 8) {
            out.push_back(std::uint8_t(lowBitFirst ? acc : acc >> (n - 8)));
            if (lowBitFirst) acc >>= 8;
        }
    }
    if (n > 0) out.push_back(std::uint8_t(lowBitFirst ? acc : acc << (8 - n)));
    return out;
}

struct Codec {
    const char* name;
    int compression;
    int predictor = 1;
    int bits = 8;
    bool bigEndian = false;
    bool fillOrder2 = false;
    bool oldLzw = false;
};

// A 2 x 3 grey picture in two strips (rows 0-1 and row 2), written the codec's way.
// Row 0 ends inside an LZW string, so a string carries over into the next row.
std::vector<std::uint8_t> GreyInStrips(const Codec& c) {
    const std::vector<std::vector<std::uint8_t>> strips = {{7, 7, 7, 1}, {9, 9}};
    TiffFile t = Basic(2, 3, 1, {std::uint32_t(c.bits)}, c.compression);
    t.bigEndian = c.bigEndian;
    t.Tag(278, kShort, {2});
    if (c.predictor != 1) t.Tag(317, kShort, {std::uint32_t(c.predictor)});
    if (c.fillOrder2) t.Tag(266, kShort, {2});
    for (const auto& grey : strips) {
        std::vector<std::uint8_t> raw;
        for (std::size_t i = 0; i < grey.size(); ++i) {
            // Differences along the row when predicted; 16-bit samples get a low byte
            // that must not matter.
            const int prev = (c.predictor == 2 && i % 2 == 1) ? grey[i - 1] : 0;
            const int v = (grey[i] - prev) & 0xFF;
            if (c.bits == 8) {
                raw.push_back(std::uint8_t(v));
            } else {
                const int low = c.predictor == 2 ? 0 : 0x5A;
                raw.push_back(std::uint8_t(c.bigEndian ? v : low));
                raw.push_back(std::uint8_t(c.bigEndian ? low : v));
            }
        }
        std::vector<std::uint8_t> data;
        if (c.compression == 5) {
            data = PackCodes(LzwCodes(raw), c.oldLzw);
        } else if (c.compression == 8 || c.compression == 32946) {
            uLongf size = compressBound(uLong(raw.size()));
            data.resize(size);
            EXPECT_EQ(compress2(data.data(), &size, raw.data(), uLong(raw.size()), 9), Z_OK);
            data.resize(size);
        } else if (c.compression == 32773) {
            const std::size_t row = raw.size() / (grey.size() / 2);
            for (std::size_t at = 0; at < raw.size(); at += row) {
                data.push_back(std::uint8_t(row - 1));
                data.insert(data.end(), raw.begin() + std::ptrdiff_t(at),
                            raw.begin() + std::ptrdiff_t(at + row));
            }
        } else {
            data = raw;
        }
        if (c.fillOrder2)
            for (auto& b : data) {
                std::uint8_t r = 0;
                for (int i = 0; i < 8; ++i) r = std::uint8_t(r | (((b >> i) & 1) << (7 - i)));
                b = r;
            }
        t.strips.emplace_back();
        t.strips.back().data = data;
    }
    return t.Build();
}

TEST_F(TifTest, EveryCodecPredictorAndSampleWidthGivesTheSamePixels) {
    const Codec codecs[] = {
        {"none", 1},
        {"none, fill order 2", 1, 1, 8, false, true},
        {"PackBits, fill order 2", 32773, 1, 8, false, true},
        {"LZW", 5},
        {"LZW, old bit order", 5, 1, 8, false, false, true},
        {"LZW, predictor, big-endian", 5, 2, 8, true},
        {"LZW, fill order 2", 5, 1, 8, false, true},
        {"Deflate", 8},
        {"old Deflate code, predictor", 32946, 2},
        {"Deflate, 16 bits", 8, 1, 16},
        {"LZW, 16 bits big-endian, predictor", 5, 2, 16, true},
        {"Deflate, 16 bits little-endian, predictor", 8, 2, 16},
    };
    for (const Codec& c : codecs) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TPixelGraphic> img;
        ASSERT_NO_THROW(img = Read(*reader, GreyInStrips(c)));
        ASSERT_EQ(img->PixelFormat(), pgpf8Bit);
        EXPECT_EQ(Values(*img), (ValueRows{{7, 7}, {7, 1}, {9, 9}}));
    }
}

TEST_F(TifTest, DamagedCompressedStripsAreRefused) {
    const auto lzw = [](std::vector<int> codes) {
        TiffFile t = Basic(2, 1, 1, {8}, 5);
        t.strips.emplace_back();
        t.strips.back().data = PackCodes(codes, false);
        return t;
    };
    const struct {
        const char* name;
        TiffFile file;
        const char* message;
    } cases[] = {
        {"code beyond the table", lzw({256, 7, 300, 257}), "TIFF (LZW): Invalid value for code"},
        {"string code before any byte", lzw({256, 258, 257}), "TIFF (LZW): Invalid value for code"},
        {"end code inside the row", lzw({256, 7, 257}), "TIFF: Unexpected end of file"},
        {"byte count shorter than the codes", lzw({256, 7, 7, 257}).Tag(279, kLong, {1}),
         "TIFF: Unexpected end of file"},
        {"not a zlib stream", Basic(2, 1, 1, {8}, 8).Strip({1, 2, 3, 4, 5, 6}),
         "TIFF (Deflate): Invalid value for data"},
        {"floating-point predictor", lzw({256, 7, 7, 257}).Tag(317, kShort, {3}),
         "TIFF: Invalid value for Predictor"},
        {"predictor on 4-bit samples", Basic(4, 1, 1, {4}, 8).Tag(317, kShort, {2}).Strip({0}),
         "TIFF: Invalid value for Predictor"},
    };
    for (const auto& c : cases) EXPECT_EQ(Error(c.file.Build()), c.message) << c.name;
    EXPECT_EQ(Error(lzw({256, 7, 7, 257}).Build()), "");
}

TEST_F(TifTest, OnePaletteBitShowsItsColourMapAndOrientationTurnsThePicture) {
    TiffFile t = Basic(2, 1, 3, {1});
    std::vector<std::uint32_t> map = {0xFF00, 0x1000, 0x0000, 0x8000, 0x0000, 0xFFFF};
    t.Tag(320, kShort, map).Tag(274, kShort, {8}).Strip({0x40});
    auto img = Read(*reader, t.Build());
    ASSERT_EQ(img->PixelFormat(), pgpf1Bit);
    // Stored row (red, light blue) turned a quarter anticlockwise: light blue on top.
    EXPECT_EQ(Colours(*img), (ColourRows{{PGRGB(0x10, 0x80, 0xFF)}, {PGRGB(0xFF, 0, 0)}}));
}

}  // namespace
}  // namespace quipix::test
