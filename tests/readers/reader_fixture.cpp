// PPM references and pixel comparison for the reader tests.
#include "reader_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "support/test_support.h"

namespace quipix::test {

RGBPicture LoadPPM(const std::string& path) {
    std::vector<std::uint8_t> bytes = ReadBytes(path);
    RGBPicture pic;
    std::size_t pos = 2;
    const auto number = [&] {
        while (pos < bytes.size() && !std::isdigit(bytes[pos])) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            }
            ++pos;
        }
        int v = 0;
        while (pos < bytes.size() && std::isdigit(bytes[pos])) v = v * 10 + (bytes[pos++] - '0');
        return v;
    };
    const char kind = bytes.size() >= 2 && bytes[0] == 'P' ? char(bytes[1]) : 0;
    if (kind != '4' && kind != '5' && kind != '6') {
        ADD_FAILURE() << path << " is not a binary PBM, PGM or PPM";
        return pic;
    }
    pic.width = number();
    pic.height = number();
    const int maxval = kind == '4' ? 1 : number();
    ++pos;
    // Two-byte samples (maxval 65535) are read by their high byte, as the readers do.
    const bool wide = maxval == 65535;
    if (kind != '4' && !wide) {
        EXPECT_EQ(maxval, 255) << path;
    }
    const std::size_t w = std::size_t(pic.width), h = std::size_t(pic.height);
    std::size_t size = kind == '4' ? (w + 7) / 8 * h : kind == '5' ? w * h : w * h * 3;
    if (wide && kind != '4') {
        if (bytes.size() < pos + 2 * size) {
            ADD_FAILURE() << path << " is short";
            return pic;
        }
        for (std::size_t i = 0; i < size; ++i) bytes[pos + i] = bytes[pos + 2 * i];
    }
    if (bytes.size() < pos + size) {
        ADD_FAILURE() << path << " is short";
        return pic;
    }
    const std::uint8_t* in = bytes.data() + pos;
    pic.rgb.resize(w * h * 3);
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) {
            std::uint8_t* out = &pic.rgb[(y * w + x) * 3];
            if (kind == '6') {
                std::copy(in + (y * w + x) * 3, in + (y * w + x) * 3 + 3, out);
            } else {
                const std::uint8_t v = kind == '5'                                          ? in[y * w + x]
                                       : (in[y * ((w + 7) / 8) + x / 8] >> (7 - x % 8)) & 1 ? 0
                                                                                            : 255;
                out[0] = out[1] = out[2] = v;
            }
        }
    return pic;
}

::testing::AssertionResult SamePixels(const TPixelGraphic& image, const RGBPicture& expected, int tolerance) {
    if (image.Width() != expected.width || image.Height() != expected.height)
        return ::testing::AssertionFailure() << "size " << image.Width() << "x" << image.Height()
                                             << ", expected " << expected.width << "x" << expected.height;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            const PGColor want = expected.At(x, y);
            const PGColor got = image.Pixels(x, y);
            const auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
            if (!near(PGRed(got), PGRed(want)) || !near(PGGreen(got), PGGreen(want)) ||
                !near(PGBlue(got), PGBlue(want)))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << want;
        }
    return ::testing::AssertionSuccess();
}

}  // namespace quipix::test
