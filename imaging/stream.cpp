// The bounded streams readers read through: memory views and files. No read ever
// goes past the end; a short read is an error only for ReadExact.
#include "imaging/stream.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "imaging/exceptions.h"

namespace quipix {

void TPGStream::ReadExact(void* buffer, std::size_t count) {
    if (Read(buffer, count) != count) throw EReadError();
}

std::uint8_t TPGStream::ReadU8() {
    std::uint8_t b;
    ReadExact(&b, 1);
    return b;
}

std::uint16_t TPGStream::ReadU16LE() {
    std::uint8_t b[2];
    ReadExact(b, 2);
    return std::uint16_t(b[0] | (b[1] << 8));
}

std::uint32_t TPGStream::ReadU32LE() {
    std::uint8_t b[4];
    ReadExact(b, 4);
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
           (std::uint32_t(b[3]) << 24);
}

std::uint16_t TPGStream::ReadU16BE() {
    std::uint8_t b[2];
    ReadExact(b, 2);
    return std::uint16_t((b[0] << 8) | b[1]);
}

std::uint32_t TPGStream::ReadU32BE() {
    std::uint8_t b[4];
    ReadExact(b, 4);
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
           std::uint32_t(b[3]);
}

std::size_t TPGMemoryStream::Read(void* buffer, std::size_t count) {
    const auto avail = std::size_t(Size() - pos_);
    const std::size_t n = std::min(count, avail);
    if (n) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += std::int64_t(n);
    return n;
}

void TPGMemoryStream::Seek(std::int64_t position) { pos_ = std::clamp<std::int64_t>(position, 0, Size()); }

std::FILE* OpenRegularFile(const std::string& fileName, std::int64_t& size) {
#ifdef _WIN32
    // Opening a path does not wait on Windows; only the kind of file is checked.
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file) return nullptr;
    struct _stati64 st {};
    if (_fstati64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        return nullptr;
    }
#else
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    // Reads block again as usual once the file is known to be regular.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        return nullptr;
    }
#endif
    size = std::int64_t(st.st_size);
    return file;
}

TPGFileStream::TPGFileStream(const std::string& fileName) {
    file_ = OpenRegularFile(fileName, size_);
    if (!file_) throw EFOpenError(fileName);
}

TPGFileStream::~TPGFileStream() {
    if (file_) std::fclose(file_);
}

std::size_t TPGFileStream::Read(void* buffer, std::size_t count) {
    const std::size_t n = std::min(count, std::size_t(size_ - pos_));
    if (n == 0) return 0;
    const std::size_t got = std::fread(buffer, 1, n, file_);
    pos_ += std::int64_t(got);
    return got;
}

void TPGFileStream::Seek(std::int64_t position) {
    position = std::clamp<std::int64_t>(position, 0, size_);
    if (position == pos_) return;
    if (fseeko(file_, off_t(position), SEEK_SET) == 0) pos_ = position;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
    TPGFileStream stream(fileName);
    std::vector<std::uint8_t> bytes(std::size_t(stream.Size()));
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace quipix
