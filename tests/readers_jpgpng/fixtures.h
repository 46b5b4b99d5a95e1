// Helpers for the JPEG and PNG reader tests: PNG files written chunk by chunk, PNM
// reference pictures, and loading from bytes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/pixel_graphic.h"

namespace quipix::test {

using Bytes = std::vector<std::uint8_t>;

// A PNG built from its parts. Rows are the raw scanlines without filter bytes.
struct PngParts {
    int width = 1;
    int height = 1;
    int depth = 8;
    int colorType = 2;
    std::vector<Bytes> rows{};
    // Chunks written between IHDR and IDAT, in order: (type, data).
    std::vector<std::pair<std::string, Bytes>> chunks{};
};
Bytes MakePng(const PngParts& parts);
// One chunk: length, type, data and CRC (a wrong CRC when corruptCrc).
Bytes PngChunk(const std::string& type, const Bytes& data, bool corruptCrc = false);
Bytes Be16(unsigned v);
Bytes Be32(std::uint32_t v);

// A binary PGM or PPM (maxval up to 65535): samples per pixel 1 or 3.
struct Pnm {
    int width = 0;
    int height = 0;
    int channels = 0;
    int maxval = 0;
    std::vector<int> samples;  // top row first
    int at(int x, int y, int c) const { return samples[(std::size_t(y) * width + x) * channels + c]; }
};
Pnm ReadPnm(const std::string& path);

// Loads bytes through the registry with the given warning action.
void LoadBytes(TPixelGraphic& image, const Bytes& bytes, const std::string& extension = "");

// The largest difference of any channel between the picture and the reference.
int MaxDifference(const TPixelGraphic& image, const Pnm& reference);

}  // namespace quipix::test
