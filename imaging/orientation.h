// Pictures stored sideways or mirrored (phone photos, scans): the EXIF and TIFF
// Orientation value says where the stored first row and first column belong, and
// ApplyOrientation turns the picture so that it shows upright.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/pixel_graphic.h"

namespace quipix {

// 1 as stored, 2 mirrored, 3 half a turn, 4 upside down, 5 mirrored along the
// diagonal, 6 stored a quarter turn anticlockwise, 7 the other diagonal, 8 stored a
// quarter turn clockwise.
constexpr bool ValidOrientation(int orientation) { return orientation >= 1 && orientation <= 8; }

// Turns and mirrors the picture in place; its pixel format and palette stay. Values
// outside 2..8 leave it as it is. For 5 to 8 width and height change places.
void ApplyOrientation(TPixelGraphic& image, int orientation);

// The Orientation of an APP1 segment's payload ("Exif\0\0" and a TIFF header), or 1
// when it holds none or is damaged.
int ExifOrientation(std::span<const std::uint8_t> app1);

// What reading did, for the picture tool: "6 (turned 90 degrees clockwise)".
std::string OrientationText(int orientation);

}  // namespace quipix
