// TPGStream: the bounded stream every reader reads through. Reads never go past the
// end; ReadExact raises EReadError on a short read, Read returns what there was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace quipix {

class TPGStream {
public:
    virtual ~TPGStream() = default;
    // Reads up to count bytes; returns the number read (0 at the end).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::int64_t Position() const = 0;
    virtual std::int64_t Size() const = 0;
    // Moves to an absolute position, clamped to 0..Size().
    virtual void Seek(std::int64_t position) = 0;
    // All Size() bytes when the stream holds them in memory (valid while it lives),
    // so that they can be read where they lie; null otherwise.
    virtual const std::uint8_t* Memory() const { return nullptr; }

    void ReadExact(void* buffer, std::size_t count);  // EReadError when short
    std::int64_t Remaining() const { return Size() - Position(); }
    void Skip(std::int64_t count) { Seek(Position() + count); }
    std::uint8_t ReadU8();
    std::uint16_t ReadU16LE();
    std::uint32_t ReadU32LE();
    std::uint16_t ReadU16BE();
    std::uint32_t ReadU32BE();
};

// A view of bytes in memory (the caller keeps them alive).
class TPGMemoryStream : public TPGStream {
public:
    explicit TPGMemoryStream(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t Read(void* buffer, std::size_t count) override;
    std::int64_t Position() const override { return pos_; }
    std::int64_t Size() const override { return std::int64_t(data_.size()); }
    void Seek(std::int64_t position) override;
    const std::uint8_t* Memory() const override { return data_.data(); }

private:
    std::span<const std::uint8_t> data_;
    std::int64_t pos_ = 0;
};

// Opens a regular file for reading, with its size; null for anything else (a
// folder, a FIFO, a device) or when it cannot be opened. The open itself never
// waits: a FIFO's open would block until a writer came.
std::FILE* OpenRegularFile(const std::string& fileName, std::int64_t& size);

// A regular file opened for reading; raises EFOpenError when it cannot be opened.
class TPGFileStream : public TPGStream {
public:
    explicit TPGFileStream(const std::string& fileName);
    ~TPGFileStream() override;
    TPGFileStream(const TPGFileStream&) = delete;
    TPGFileStream& operator=(const TPGFileStream&) = delete;
    std::size_t Read(void* buffer, std::size_t count) override;
    std::int64_t Position() const override { return pos_; }
    std::int64_t Size() const override { return size_; }
    void Seek(std::int64_t position) override;

private:
    std::FILE* file_ = nullptr;
    std::int64_t pos_ = 0;
    std::int64_t size_ = 0;
};

// Reads a whole file into memory (EFOpenError when it cannot be opened).
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName);

}  // namespace quipix
