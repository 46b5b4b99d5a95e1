// Whole pictures as nested vectors, top row first, so that one exact EXPECT_EQ checks
// every pixel and a failure prints both pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pixel_graphic.h"

namespace quipix::test {

// The colour of every pixel.
inline std::vector<std::vector<PGColor>> Colours(const TPixelGraphic& image) {
    std::vector<std::vector<PGColor>> rows(std::size_t(image.Height()));
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) rows[std::size_t(y)].push_back(image.Pixels(x, y));
    return rows;
}

// The stored value (palette index, or colour in a true-colour picture) of every pixel.
inline std::vector<std::vector<std::uint32_t>> Values(const TPixelGraphic& image) {
    std::vector<std::vector<std::uint32_t>> rows(std::size_t(image.Height()));
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) rows[std::size_t(y)].push_back(image.PixelValues(x, y));
    return rows;
}

using ColourRows = std::vector<std::vector<PGColor>>;
using ValueRows = std::vector<std::vector<std::uint32_t>>;

}  // namespace quipix::test
