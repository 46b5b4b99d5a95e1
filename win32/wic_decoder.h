// HEIF and AVIF pictures through the Windows Imaging Component, which reads them where
// the system has the HEIF and AV1 extensions from the Store installed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/readers/readers.h"

namespace quipix::win32 {

// A SystemHeifDecoder: any file WIC has a decoder for, its first frame.
SystemDecode DecodeWithWic(std::span<const std::uint8_t> file, TPixelGraphic& image, std::string& error);

}  // namespace quipix::win32
