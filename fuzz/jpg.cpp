// Fuzz target: the JPEG reader on arbitrary bytes, under the ignoring and the raising
// warning action (chosen by the last byte), then its picture information. Any
// exception is a clean result; a crash, hang or huge allocation is not.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "imaging/file_format_reader.h"
#include "imaging/readers/readers.h"
#include "imaging/stream.h"

namespace {
// Pictures above this many pixels are only sized up: decoding them is slow without
// being more interesting, and the reader's own limit is tested elsewhere.
constexpr long long kMaxFuzzPixels = 4'000'000;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<quipix::TFileFormatReader> reader = [] {
        quipix::InitPixelGraphicLibrary();
        return quipix::MakeJPGReader("jpg");
    }();
    quipix::TPGMemoryStream stream({data, size});
    long long pixels = 0;
    try {
        const quipix::TImageInfo info = reader->GetImageInfo(stream, 0);
        pixels = static_cast<long long>(info.Width) * info.Height;
    } catch (const std::exception&) {
    }
    if (pixels > kMaxFuzzPixels) return 0;
    stream.Seek(0);
    try {
        quipix::TPixelGraphic image;
        const std::uint8_t flags = size > 0 ? data[size - 1] : 0;
        image.ReadWarningAction = (flags & 1) ? quipix::pgwaRaise : quipix::pgwaIgnore;
        image.FastDCT = (flags & 2) != 0;
        reader->ReadImage(stream, image, 0);
    } catch (const std::exception&) {
    }
    return 0;
}
