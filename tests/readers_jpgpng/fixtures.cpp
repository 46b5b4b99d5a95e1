// Helpers for the JPEG and PNG reader tests.
#include "fixtures.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

Pnm ReadPnm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pos = 0;
    const auto token = [&]() {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        const std::size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        return data.substr(start, pos - start);
    };
    Pnm p;
    const std::string magic = token();
    if (magic != "P5" && magic != "P6") throw std::runtime_error("not a binary PNM: " + path);
    p.channels = magic == "P5" ? 1 : 3;
    p.width = std::stoi(token());
    p.height = std::stoi(token());
    p.maxval = std::stoi(token());
    ++pos;  // the single whitespace before the samples
    const std::size_t count = std::size_t(p.width) * p.height * p.channels;
    const int bytes = p.maxval > 255 ? 2 : 1;
    if (data.size() < pos + count * bytes) throw std::runtime_error("short PNM: " + path);
    p.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(data.data() + pos + i * bytes);
        p.samples[i] = bytes == 2 ? (b[0] << 8) | b[1] : b[0];
    }
    return p;
}

void LoadBytes(TPixelGraphic& image, const Bytes& bytes, const std::string& extension) {
    TPGMemoryStream stream(bytes);
    image.LoadFromStream(stream, extension, 0);
}

int MaxDifference(const TPixelGraphic& image, const Pnm& reference) {
    if (image.Width() != reference.width || image.Height() != reference.height) return 1 << 20;
    const int shift = reference.maxval > 255 ? 8 : 0;  // 16-bit references: the high byte
    int worst = 0;
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            const PGColor c = image.Pixels(x, y);
            const int got[3] = {PGRed(c), PGGreen(c), PGBlue(c)};
            for (int ch = 0; ch < 3; ++ch) {
                const int want = reference.at(x, y, reference.channels == 1 ? 0 : ch) >> shift;
                worst = std::max(worst, std::abs(got[ch] - want));
            }
        }
    }
    return worst;
}

}  // namespace quipix::test
