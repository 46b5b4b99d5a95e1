// Helpers for the JPEG and PNG reader tests: PNG files written chunk by chunk, and
// loading from bytes (reference pictures: support/reference_picture.h).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "imaging/file_format_reader.h"
#include "support/image_checks.h"
#include "support/reference_picture.h"

namespace quipix::test {

using Bytes = std::vector<std::uint8_t>;

// A PNG built from its parts. Rows are the raw scanlines without filter bytes.
struct PngParts {
    int width = 1;
    int height = 1;
    int depth = 8;
    int colorType = 2;
    std::vector<Bytes> rows{};
    // Chunks written between IHDR and IDAT, in order: (type, data).
    std::vector<std::pair<std::string, Bytes>> chunks{};
};
Bytes MakePng(const PngParts& parts);
// One chunk: length, type, data and CRC (a wrong CRC when corruptCrc).
Bytes PngChunk(const std::string& type, const Bytes& data, bool corruptCrc = false);
Bytes Be16(unsigned v);
Bytes Be32(std::uint32_t v);

// Loads bytes through the registry with the given warning action.
void LoadBytes(TPixelGraphic& image, const Bytes& bytes, const std::string& extension = "");
// Loads bytes into image with the warning action and returns the message of the
// exception of class E raised, or "" when the picture loaded; the image keeps what was
// read.
template <class E>
std::string LoadMessage(TPixelGraphic& image, const Bytes& bytes, TPGWarningAction action) {
    image.ReadWarningAction = action;
    return MessageOf<E>([&] { LoadBytes(image, bytes); });
}
template <class E>
std::string LoadMessage(const Bytes& bytes, TPGWarningAction action) {
    TPixelGraphic image;
    return LoadMessage<E>(image, bytes, action);
}

// The registered reader of an extension.
TFileFormatReader& RegisteredReader(const std::string& extension);

// Restores the process-wide warning box handler after a test.
struct BoxHandlerGuard {
    ~BoxHandlerGuard() { SetWarningBoxHandler(nullptr); }
};

}  // namespace quipix::test
