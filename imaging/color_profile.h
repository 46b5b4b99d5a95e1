// Pictures whose file embeds an ICC colour profile (photos from phones, often in
// Display P3) are converted to sRGB, what the screen is taken to show, so that they
// do not look washed out or too strong.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/pixel_graphic.h"

namespace quipix {

// Converts a 24-bit picture's pixels, or a paletted picture's palette, from the RGB
// or grey profile to sRGB. A profile that is damaged, of another colour space, or a
// build without colour management leaves the picture as it is.
void ConvertToSRGB(TPixelGraphic& image, std::span<const std::uint8_t> profile);

// An RGB space named by numbers instead of a profile (as HEIF and AVIF files do): the
// CIE x, y chromaticities of its red, green and blue primaries and of its white, and
// the tone curve of its samples.
struct RGBSpace {
    enum class Curve { sRGB, BT709, Linear, Gamma22, Gamma28 };
    double red[2], green[2], blue[2], white[2];
    Curve curve;
};

// The ICC profile of the space, which the load then converts like an embedded one;
// empty without colour management.
std::vector<std::uint8_t> MakeRGBProfile(const RGBSpace& space);

}  // namespace quipix
