// Shared pieces of the hand-written readers: buffered bytes, size limits, row flips.
#include "imaging/readers/decode_support.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace quipix::decode {

std::size_t ReadPadded(TPGStream& stream, void* buffer, std::size_t count) {
    const std::size_t got = stream.Read(buffer, count);
    if (got < count) std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, count - got);
    return got;
}

ByteSource::ByteSource(TPGStream& stream, std::size_t bufferSize, RaiseFn raise, std::string endMessage)
    : stream_(stream), buffer_(bufferSize), raise_(raise), endMessage_(std::move(endMessage)) {}

void ByteSource::RaiseEnd() const {
    raise_(endMessage_);
    throw std::logic_error("raise function returned");  // raise_ always throws
}

bool ByteSource::TryFill() {
    len_ = stream_.Read(buffer_.data(), buffer_.size());
    pos_ = 0;
    return len_ > 0;
}

void ByteSource::Fill() {
    if (!TryFill()) RaiseEnd();
}

void ByteSource::Read(std::uint8_t* out, std::size_t count) {
    while (count > 0) {
        if (pos_ == len_) Fill();
        const std::size_t n = std::min(count, len_ - pos_);
        std::memcpy(out, buffer_.data() + pos_, n);
        pos_ += n;
        out += n;
        count -= n;
    }
}

void ByteSource::SeekTo(std::int64_t position) {
    stream_.Seek(position);
    pos_ = len_ = 0;
}

SizeVerdict CheckPictureSize(std::int64_t width, std::int64_t height, TPGPixelFormat format,
                             std::int64_t minEncodedBytes, std::int64_t available) {
    // Dimensions beyond 2^30 cannot fit the limit anyway; testing them first keeps
    // the products below from overflowing.
    constexpr std::int64_t kMaxSide = std::int64_t(1) << 30;
    if (width > kMaxSide || height > kMaxSide) return SizeVerdict::TooLarge;
    const std::int64_t stride = (std::int64_t(PixelFormatBits(format)) * width + 31) / 32 * 4;
    if (height != 0 && stride > kMaxBufferBytes / height) return SizeVerdict::TooLarge;
    const std::int64_t bytes = stride * height;
    if (bytes > kFreeBufferBytes && available < minEncodedBytes / 8) return SizeVerdict::TooLittleData;
    return SizeVerdict::Ok;
}

std::string Pow2Text(int bits) {
    if (bits < 0) return "0";
    if (bits < 64) return std::to_string(std::uint64_t(1) << bits);
    return "2^" + std::to_string(bits);
}

void FlipRows(TPixelGraphic& image) {
    const int h = image.Height();
    const std::size_t stride = std::size_t(image.Stride());
    if (h < 2 || stride == 0) return;
    std::vector<std::uint8_t> tmp(stride);
    for (int j = 0; j < h / 2; ++j) {
        std::uint8_t* a = image.ScanLine(j);
        std::uint8_t* b = image.ScanLine(h - 1 - j);
        std::memcpy(tmp.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, tmp.data(), stride);
    }
}

}  // namespace quipix::decode
