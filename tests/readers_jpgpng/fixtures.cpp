// Helpers for the JPEG and PNG reader tests.
#include "fixtures.h"

#include <zlib.h>

#include <stdexcept>

#include "imaging/stream.h"

namespace quipix::test {

Bytes Be16(unsigned v) { return {std::uint8_t(v >> 8), std::uint8_t(v)}; }

Bytes Be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

Bytes PngChunk(const std::string& type, const Bytes& data, bool corruptCrc) {
    Bytes out = Be32(std::uint32_t(data.size()));
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), uInt(type.size()));
    if (!data.empty()) crc = crc32(crc, data.data(), uInt(data.size()));
    if (corruptCrc) crc ^= 1;
    const Bytes c = Be32(std::uint32_t(crc));
    out.insert(out.end(), c.begin(), c.end());
    return out;
}

Bytes MakePng(const PngParts& parts) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr = Be32(std::uint32_t(parts.width));
    const Bytes h = Be32(std::uint32_t(parts.height));
    ihdr.insert(ihdr.end(), h.begin(), h.end());
    ihdr.push_back(std::uint8_t(parts.depth));
    ihdr.push_back(std::uint8_t(parts.colorType));
    ihdr.insert(ihdr.end(), {0, 0, 0});
    const auto append = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    append(PngChunk("IHDR", ihdr));
    for (const auto& [type, data] : parts.chunks) append(PngChunk(type, data));
    Bytes raw;
    for (const Bytes& row : parts.rows) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), row.begin(), row.end());
    }
    uLongf size = compressBound(uLong(raw.size()));
    Bytes packed(size);
    if (compress2(packed.data(), &size, raw.data(), uLong(raw.size()), 9) != Z_OK)
        throw std::runtime_error("compress2 failed");
    packed.resize(size);
    append(PngChunk("IDAT", packed));
    append(PngChunk("IEND", {}));
    return out;
}

TFileFormatReader& RegisteredReader(const std::string& extension) {
    for (TFileFormatReader* r : PGFileFormatReaders())
        if (r->Extension() == extension) return *r;
    throw std::runtime_error("no " + extension + " reader");
}

void LoadBytes(TPixelGraphic& image, const Bytes& bytes, const std::string& extension) {
    TPGMemoryStream stream(bytes);
    image.LoadFromStream(stream, extension, 0);
}

}  // namespace quipix::test
