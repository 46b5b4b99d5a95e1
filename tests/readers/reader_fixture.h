// Helpers of the reader tests: files written byte by byte, reading through one
// reader, and loading through the registry.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/file_format_reader.h"
#include "imaging/pixel_graphic.h"
#include "imaging/stream.h"
#include "support/image_checks.h"
#include "support/reference_picture.h"

namespace quipix::test {

// Little- and big-endian byte building.
class Bytes {
public:
    Bytes& u8(int v) {
        data.push_back(std::uint8_t(v));
        return *this;
    }
    Bytes& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& u32(std::uint32_t v) { return u16(int(v & 0xFFFF)).u16(int(v >> 16)); }
    Bytes& u16be(int v) { return u8((v >> 8) & 0xFF).u8(v & 0xFF); }
    Bytes& u32be(std::uint32_t v) { return u16be(int(v >> 16)).u16be(int(v & 0xFFFF)); }
    Bytes& str(const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& fill(std::size_t n, int v) {
        data.insert(data.end(), n, std::uint8_t(v));
        return *this;
    }
    Bytes& raw(std::initializer_list<int> v) {
        for (int b : v) u8(b);
        return *this;
    }
    std::size_t size() const { return data.size(); }
    std::vector<std::uint8_t> data;
};

// Bytes in memory that a reader must copy from, as from a file: the stream shows no
// memory of its own to be read in place.
class CopiedStream : public TPGMemoryStream {
public:
    using TPGMemoryStream::TPGMemoryStream;
    const std::uint8_t* Memory() const override { return nullptr; }
};

// Reads bytes through a reader into a fresh image; exceptions pass through.
inline std::unique_ptr<TPixelGraphic> Read(TFileFormatReader& reader, const std::vector<std::uint8_t>& bytes,
                                           TPGWarningAction action = pgwaRaise) {
    InitPixelGraphicLibrary();
    auto image = std::make_unique<TPixelGraphic>();
    image->ReadWarningAction = action;
    TPGMemoryStream stream(bytes);
    reader.ReadImage(stream, *image, 0);
    return image;
}

// Loads bytes through the registry as a file with the given extension would be,
// palette identification and gamma correction included; copied, through a
// CopiedStream.
inline std::unique_ptr<TPixelGraphic> Load(const std::vector<std::uint8_t>& bytes,
                                           const std::string& extension, TPGWarningAction action = pgwaRaise,
                                           bool copied = false) {
    auto image = std::make_unique<TPixelGraphic>();
    image->ReadWarningAction = action;
    TPGMemoryStream inPlace(bytes);
    CopiedStream copy(bytes);
    image->LoadFromStream(copied ? static_cast<TPGStream&>(copy) : inPlace, extension, 0);
    return image;
}

inline TImageInfo Info(TFileFormatReader& reader, const std::vector<std::uint8_t>& bytes, int index = 0) {
    InitPixelGraphicLibrary();
    TPGMemoryStream stream(bytes);
    return reader.GetImageInfo(stream, index);
}

// The message reading bytes with reader raises (class E), or "" when it loads.
template <class E>
std::string ReadError(TFileFormatReader& reader, const std::vector<std::uint8_t>& bytes,
                      TPGWarningAction action = pgwaRaise) {
    return MessageOf<E>([&] { Read(reader, bytes, action); });
}

}  // namespace quipix::test
