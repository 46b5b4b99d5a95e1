// Factories of the built-in format readers, one source file per format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
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
// heic heif avif; where the build has no libheif, a reader that hands them to the
// system's decoder, if a front end installed one, and else says it cannot read them
std::unique_ptr<TFileFormatReader> MakeHEIFReader(const std::string& extension);
// What a system's decoder made of a HEIF or AVIF file: the picture, the system has no
// decoder for it, or it failed (the error text says why).
enum class SystemDecode { Done, NoDecoder, Failed };
// Fills image as a 24-bit picture, upright, its transparency over the picture's
// background colour, reduced by no more than image.ShownWidth x ShownHeight allow.
using SystemHeifDecoder = SystemDecode (*)(std::span<const std::uint8_t> file, TPixelGraphic& image,
                                           std::string& error);
// For the whole process (nullptr: none); set by a front end at its start.
void SetSystemHeifDecoder(SystemHeifDecoder decoder);
#ifdef QUIPIX_HAVE_WEBP
std::unique_ptr<TFileFormatReader> MakeWEBPReader();
#endif
#ifdef QUIPIX_HAVE_GIF
std::unique_ptr<TFileFormatReader> MakeGIFReader();
#endif

}  // namespace quipix
