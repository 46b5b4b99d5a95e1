// The BMP reader's pixel decoders, kept apart from its header handling.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/pixel_graphic.h"
#include "imaging/readers/decode_support.h"
#include "imaging/stream.h"

namespace quipix::bmp {

// Raises EPGBMPFileFormatReader with "BMP: " and text.
[[noreturn]] void Raise(const std::string& text);

// 16- and 32-bit rows, each channel taken from its mask (red, green, blue, alpha),
// into a 24-bit image whose size is already set. With an alpha mask the pixels are
// composited over background, unless every alpha value is 0: writers that leave the
// alpha bytes empty mean an opaque picture. A file that ends early leaves the
// remaining rows black. The picture was sized through fresh, which this finishes.
void ReadBitFieldRows(TPGStream& stream, TPixelGraphic& image, decode::FreshPicture& fresh,
                      const void* sender, int bits, const std::uint32_t masks[4], PGColor background);

// RLE8 (rle4 false) or RLE4 data into an 8- or 4-bit image whose size is set.
void DecodeRle(std::span<const std::uint8_t> data, bool rle4, TPixelGraphic& image, const void* sender);

}  // namespace quipix::bmp
