// Turning and mirroring pictures by their EXIF/TIFF Orientation value, in every
// pixel format, against the displayed layouts the format's table defines.
#include <gtest/gtest.h>

#include <random>

#include "imaging/orientation.h"
#include "support/image_checks.h"

namespace quipix::test {
namespace {

// A stored 3 x 2 picture with the values 1 2 3 / 4 5 6, and how each orientation
// shows it (rows top first).
const ValueRows kShown[9] = {
    {},
    {{1, 2, 3}, {4, 5, 6}},
    {{3, 2, 1}, {6, 5, 4}},
    {{6, 5, 4}, {3, 2, 1}},
    {{4, 5, 6}, {1, 2, 3}},
    {{1, 4}, {2, 5}, {3, 6}},
    {{4, 1}, {5, 2}, {6, 3}},
    {{6, 3}, {5, 2}, {4, 1}},
    {{3, 6}, {2, 5}, {1, 4}},
};

TEST(Orientation, EachValueShowsTheStoredPictureAsTheTableSays) {
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        TPixelGraphic img;
        img.SetSize(3, 2, pgpf8Bit);
        for (int i = 0; i < 6; ++i) img.SetPixelValues(i % 3, i / 3, std::uint32_t(i + 1));
        ApplyOrientation(img, o);
        EXPECT_EQ(img.PixelFormat(), pgpf8Bit);
        EXPECT_EQ(Values(img), kShown[o]);
    }
    TPixelGraphic same;
    same.SetSize(2, 1, pgpf8Bit);
    same.SetPixelValues(1, 0, 9);
    for (int o : {0, 9, -1}) ApplyOrientation(same, o);
    EXPECT_EQ(same.PixelValues(1, 0), 9u);
}

// The sub-byte and 24-bit layouts move pixels exactly as the 8-bit one does, also
// across byte boundaries and with palettes kept.
TEST(Orientation, EveryPixelFormatMovesLikeTheEightBitOne) {
    std::mt19937 random(5);
    const int w = 19, h = 5;
    std::vector<std::uint32_t> values(w * h);
    for (auto& v : values) v = random() & 0xFFFFFF;
    for (TPGPixelFormat format : {pgpf1Bit, pgpf4Bit, pgpf24Bit}) {
        const std::uint32_t mask = format == pgpf1Bit ? 1 : format == pgpf4Bit ? 15 : 0xFFFFFF;
        for (int o = 2; o <= 8; ++o) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << ", orientation " << o);
            TPixelGraphic index, img;
            index.SetSize(w, h, pgpf8Bit);
            img.SetSize(w, h, format);
            if (format != pgpf24Bit) img.SetPaletteCount(2);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    index.SetPixelValues(x, y, std::uint32_t(y * w + x) & 0xFF);
                    img.SetPixelValues(x, y, values[std::size_t(y * w + x)] & mask);
                }
            ApplyOrientation(index, o);
            ApplyOrientation(img, o);
            ASSERT_EQ(img.Width(), index.Width());
            ASSERT_EQ(img.Height(), index.Height());
            EXPECT_EQ(img.PixelFormat(), format);
            EXPECT_EQ(img.PaletteCount(), format == pgpf24Bit ? 0 : 2);
            for (int y = 0; y < img.Height(); ++y)
                for (int x = 0; x < img.Width(); ++x)
                    ASSERT_EQ(img.PixelValues(x, y), values[index.PixelValues(x, y)] & mask) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace quipix::test
