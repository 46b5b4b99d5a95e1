// Pictures whose file embeds an ICC colour profile (photos from phones, often in
// Display P3) are converted to sRGB, what the screen is taken to show, so that they
// do not look washed out or too strong.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/pixel_graphic.h"

namespace quipix {

// Converts a 24-bit picture's pixels, or a paletted picture's palette, from the RGB
// profile to sRGB. A profile that is damaged, not RGB, or a build without colour
// management leaves the picture as it is.
void ConvertToSRGB(TPixelGraphic& image, std::span<const std::uint8_t> profile);

}  // namespace quipix
