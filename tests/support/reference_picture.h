// Reference pictures decoded by other tools, as binary PBM, PGM or PPM files, and the
// comparison of a read picture with them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "support/test_support.h"

namespace quipix::test {

// A binary PBM, PGM or PPM (maxval 255 or 65535): samples per pixel 1 or 3, top row
// first; a PBM is read as a PGM of black (0) and white (255).
struct Pnm {
    int width = 0;
    int height = 0;
    int channels = 0;
    int maxval = 0;
    std::vector<int> samples{};
    int at(int x, int y, int c) const { return samples[(std::size_t(y) * width + x) * channels + c]; }
    // The colour a reader shows: two-byte samples by their high byte, as the readers do.
    PGColor Colour(int x, int y) const {
        const int shift = maxval > 255 ? 8 : 0;
        const auto sample = [&](int c) { return at(x, y, channels == 1 ? 0 : c) >> shift; };
        return PGRGB(sample(0), sample(1), sample(2));
    }
};

inline Pnm ReadPnm(const std::string& path) {
    const std::vector<std::uint8_t> data = ReadBytes(path);
    std::size_t pos = 2;
    const auto number = [&] {
        while (pos < data.size() && !std::isdigit(data[pos])) {
            if (data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
            }
            ++pos;
        }
        int v = 0;
        while (pos < data.size() && std::isdigit(data[pos])) v = v * 10 + (data[pos++] - '0');
        return v;
    };
    Pnm p;
    const char kind = data.size() >= 2 && data[0] == 'P' ? char(data[1]) : 0;
    if (kind != '4' && kind != '5' && kind != '6') {
        ADD_FAILURE() << path << " is not a binary PBM, PGM or PPM";
        return p;
    }
    p.channels = kind == '6' ? 3 : 1;
    p.width = number();
    p.height = number();
    p.maxval = kind == '4' ? 255 : number();
    ++pos;  // the single whitespace before the samples
    if (p.maxval != 255 && p.maxval != 65535) ADD_FAILURE() << path << ": maxval " << p.maxval;
    const std::size_t w = std::size_t(p.width), count = w * std::size_t(p.height) * std::size_t(p.channels);
    const std::size_t bytes =
        kind == '4' ? (w + 7) / 8 * std::size_t(p.height) : count * (p.maxval > 255 ? 2 : 1);
    if (data.size() < pos + bytes) {
        ADD_FAILURE() << path << " is short";
        return Pnm{};
    }
    const std::uint8_t* in = data.data() + pos;
    for (std::size_t i = 0; i < count; ++i) {
        if (kind == '4')
            p.samples.push_back((in[i / w * ((w + 7) / 8) + i % w / 8] >> (7 - i % w % 8)) & 1 ? 0 : 255);
        else
            p.samples.push_back(p.maxval > 255 ? (in[2 * i] << 8) | in[2 * i + 1] : in[i]);
    }
    return p;
}

// The largest difference of any channel between the picture and the reference (a
// huge one when their sizes differ).
inline int MaxDifference(const TPixelGraphic& image, const Pnm& reference) {
    if (image.Width() != reference.width || image.Height() != reference.height) return 1 << 20;
    int worst = 0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const PGColor got = image.Pixels(x, y), want = reference.Colour(x, y);
            worst = std::max({worst, std::abs(PGRed(got) - PGRed(want)),
                              std::abs(PGGreen(got) - PGGreen(want)), std::abs(PGBlue(got) - PGBlue(want))});
        }
    return worst;
}

// Every pixel against the reference, each channel within tolerance; reports the size
// or the first pixel that differs.
inline ::testing::AssertionResult SamePixels(const TPixelGraphic& image, const Pnm& reference,
                                             int tolerance = 0) {
    if (image.Width() != reference.width || image.Height() != reference.height)
        return ::testing::AssertionFailure() << "size " << image.Width() << "x" << image.Height()
                                             << ", expected " << reference.width << "x" << reference.height;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const PGColor got = image.Pixels(x, y), want = reference.Colour(x, y);
            const auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
            if (!near(PGRed(got), PGRed(want)) || !near(PGGreen(got), PGGreen(want)) ||
                !near(PGBlue(got), PGBlue(want)))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << want;
        }
    return ::testing::AssertionSuccess();
}

}  // namespace quipix::test
