// The body shared by the single-reader fuzz targets: the picture information, then
// (unless the picture is huge) the picture itself under the warning action,
// transform and size (full or reduced) that the input's last byte picks. Any
// exception is a clean result; a crash, hang or huge allocation is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "imaging/file_format_reader.h"
#include "imaging/stream.h"

namespace quipix::fuzz {

// Pictures above this many pixels are only sized up: decoding them is slow without
// being more interesting, and each reader's own size limit is tested elsewhere.
constexpr long long kMaxFuzzPixels = 4'000'000;

inline int ReadWith(TFileFormatReader& reader, const std::uint8_t* data, std::size_t size) {
    TPGMemoryStream stream({data, size});
    long long pixels = 0;
    try {
        const TImageInfo info = reader.GetImageInfo(stream, 0);
        pixels = static_cast<long long>(info.Width) * info.Height;
    } catch (const std::exception&) {}
    if (pixels > kMaxFuzzPixels) return 0;
    stream.Seek(0);
    try {
        TPixelGraphic image;
        const std::uint8_t flags = size > 0 ? data[size - 1] : 0;
        image.ReadWarningAction = (flags & 1) ? pgwaRaise : pgwaIgnore;
        image.FastDCT = (flags & 2) != 0;
        // The reduced read, toward a small picture.
        if (flags & 4) image.ShownWidth = image.ShownHeight = 16;
        // ... or straight to a size of another shape, as a background is.
        if (flags & 8) {
            image.ShownWidth = 24;
            image.ShownHeight = 10;
            image.ShownStretched = true;
        }
        reader.ReadImage(stream, image, 0);
    } catch (const std::exception&) {}
    return 0;
}

}  // namespace quipix::fuzz

// Defines the fuzz entry for one reader, made once by `factory`.
#define QUIPIX_FUZZ_READER(factory)                                                     \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        static const auto reader = [] {                                                 \
            quipix::InitPixelGraphicLibrary();                                          \
            return factory;                                                             \
        }();                                                                            \
        return quipix::fuzz::ReadWith(*reader, data, size);                             \
    }
