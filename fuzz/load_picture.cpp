// Fuzz target: picture loading through the reader registry, as the saver loads its
// background: the registry picks the reader by signature, or by the extension "tga"
// when the last byte asks for it; the warning action comes from the last byte too.
// Any exception is a clean result; a crash, hang or huge allocation is not.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz/fuzz_reader.h"
#include "imaging/pixel_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quipix::InitPixelGraphicLibrary();
    const std::uint8_t flags = size > 0 ? data[size - 1] : 0;
    const std::string extension = (flags & 2) ? "tga" : "";
    quipix::TPGMemoryStream stream({data, size});
    try {
        if (quipix::TFileFormatReader* reader = quipix::FindFileFormatReader(stream, extension)) {
            const quipix::TImageInfo info = reader->GetImageInfo(stream, 0);
            if (static_cast<long long>(info.Width) * info.Height > quipix::fuzz::kMaxFuzzPixels) return 0;
        }
    } catch (const std::exception&) {}
    stream.Seek(0);
    try {
        quipix::TPixelGraphic image;
        image.ReadWarningAction = (flags & 1) ? quipix::pgwaRaise : quipix::pgwaIgnore;
        image.LoadFromStream(stream, extension, 0);
    } catch (const std::exception&) {}
    return 0;
}
