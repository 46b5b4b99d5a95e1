// Fuzz target: the PCX reader on arbitrary bytes, reading the picture and its
// information. Any exception is a clean result; a crash, hang or huge allocation is not.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "imaging/file_format_reader.h"
#include "imaging/readers/readers.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<quipix::TFileFormatReader> reader = [] {
        quipix::InitPixelGraphicLibrary();
        return quipix::MakePCXReader();
    }();
    quipix::TPGMemoryStream stream({data, size});
    try {
        quipix::TPixelGraphic image;
        reader->ReadImage(stream, image, 0);
    } catch (const std::exception&) {
    }
    stream.Seek(0);
    try {
        (void)reader->GetImageInfo(stream, 0);
    } catch (const std::exception&) {
    }
    return 0;
}
