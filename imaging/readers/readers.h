// Factories of the built-in format readers, one source file per format.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "imaging/file_format_reader.h"

namespace quipix {

std::unique_ptr<TFileFormatReader> MakeBMPReader(const std::string& extension);  // bmp dib rle
std::unique_ptr<TFileFormatReader> MakeJPGReader(const std::string& extension);  // jpg jpeg jif
std::unique_ptr<TFileFormatReader> MakePNGReader();
// The most memory the PNG decoder held during the calling thread's last PNG read.
std::size_t LastPNGDecoderPeakBytes();
std::unique_ptr<TFileFormatReader> MakePCXReader();
std::unique_ptr<TFileFormatReader> MakePxMReader(const std::string& extension);  // pbm pgm ppm
std::unique_ptr<TFileFormatReader> MakeTGAReader();
std::unique_ptr<TFileFormatReader> MakeTIFReader(const std::string& extension);  // tif tiff
// heic heif avif; where the build has no libheif, a reader that says it cannot read them
std::unique_ptr<TFileFormatReader> MakeHEIFReader(const std::string& extension);
#ifdef QUIPIX_HAVE_WEBP
std::unique_ptr<TFileFormatReader> MakeWEBPReader();
#endif
#ifdef QUIPIX_HAVE_GIF
std::unique_ptr<TFileFormatReader> MakeGIFReader();
#endif

}  // namespace quipix
