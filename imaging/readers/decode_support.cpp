// Shared pieces of the hand-written readers: buffered bytes, size limits, row flips.
#include "imaging/readers/decode_support.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "imaging/cpu_features.h"
#include "imaging/messages.h"
#include "imaging/pixel_graphic_impl.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quipix::decode {

std::size_t ReadPadded(TPGStream& stream, void* buffer, std::size_t count) {
    const std::size_t got = stream.Read(buffer, count);
    if (got < count) std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, count - got);
    return got;
}

ByteSource::ByteSource(TPGStream& stream, std::size_t bufferSize, RaiseFn raise, std::string endMessage)
    : stream_(stream),
      memory_(stream.Memory()),
      size_(bufferSize),
      buffer_(memory_ ? 0 : bufferSize),
      window_(buffer_.data()),
      raise_(raise),
      endMessage_(std::move(endMessage)) {}

namespace {

[[noreturn]] void Call(RaiseFn raise, const std::string& message) {
    raise(message);
    throw std::logic_error("raise function returned");  // a raise function always throws
}

}  // namespace

void ByteSource::RaiseEnd() const { Call(raise_, endMessage_); }

bool ByteSource::TryFill() {
    pos_ = 0;
    if (memory_) {
        // The same steps as through the buffer, without the copy.
        window_ = memory_ + stream_.Position();
        len_ = std::size_t(std::min<std::int64_t>(stream_.Remaining(), std::int64_t(size_)));
        stream_.Skip(std::int64_t(len_));
    } else {
        len_ = stream_.Read(buffer_.data(), size_);
    }
    return len_ > 0;
}

void ByteSource::Fill() {
    if (!TryFill()) RaiseEnd();
}

void ByteSource::Gather(std::size_t count) {
    if (memory_) {
        // The window moves on to start at what is left.
        stream_.Skip(-std::int64_t(len_ - pos_));
        TryFill();
        return;
    }
    // What is left moves to the front; the stream fills up behind it.
    len_ -= pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, len_);
    pos_ = 0;
    count = std::min(count, size_);
    while (len_ < count) {
        const std::size_t got = stream_.Read(buffer_.data() + len_, size_ - len_);
        if (got == 0) break;
        len_ += got;
    }
}

void ByteSource::Read(std::uint8_t* out, std::size_t count) {
    // What the buffer holds first; a rest of a buffer's size or more goes straight
    // from the stream, the same bytes without the copy.
    const std::size_t buffered = std::min(count, len_ - pos_);
    if (buffered) std::memcpy(out, window_ + pos_, buffered);
    pos_ += buffered;
    out += buffered;
    count -= buffered;
    while (count >= size_) {
        const std::size_t got = stream_.Read(out, count);
        if (got == 0) RaiseEnd();
        out += got;
        count -= got;
    }
    while (count > 0) {
        if (pos_ == len_) Fill();
        const std::size_t n = std::min(count, len_ - pos_);
        std::memcpy(out, window_ + pos_, n);
        pos_ += n;
        out += n;
        count -= n;
    }
}

void ByteSource::SeekTo(std::int64_t position) {
    stream_.Seek(position);
    pos_ = len_ = 0;
}

void CheckPictureSize(std::int64_t width, std::int64_t height, TPGPixelFormat format,
                      std::int64_t minEncodedBytes, std::int64_t available, RaiseFn raise) {
    // Dimensions beyond 2^30 cannot fit the limit anyway; testing them first keeps
    // the products below from overflowing.
    constexpr std::int64_t kMaxSide = std::int64_t(1) << 30;
    const bool sidesFit = width <= kMaxSide && height <= kMaxSide;
    const std::int64_t stride = sidesFit ? PixelStride(int(width), format) : 0;
    if (!sidesFit || (height != 0 && stride > kMaxBufferBytes / height))
        Call(raise, GetPGLangStr(msg::OutOfRange, "Image size"));
    if (stride * height > kFreeBufferBytes && available < minEncodedBytes / 8)
        Call(raise, GetPGLangStr(msg::UnexpectedEndOfFile));
}

FreshPicture::FreshPicture(TPixelGraphic& image, int width, int height, TPGPixelFormat format,
                           std::size_t rowBytes)
    : image_(image), rowBytes_(rowBytes) {
    // SetSize keeps a picture of the same size and clears it to its background
    // colour, which the rows left unwritten must show then.
    if (width == image.Width() && height == image.Height() && format == image.PixelFormat()) {
        image.SetSize(width, height, format);
        finished_ = true;
        return;
    }
    image.SetSizeUncleared(width, height, format);
    written_.assign(image.Empty() ? 0 : std::size_t(image.Height()), 0);
}

FreshPicture::~FreshPicture() { Finish(); }

void FreshPicture::Finish() {
    if (finished_) return;
    finished_ = true;
    const std::size_t stride = std::size_t(image_.Stride());
    const std::size_t used = std::min(rowBytes_, stride);
    for (std::size_t y = 0; y < written_.size(); ++y) {
        std::uint8_t* row = image_.ScanLine(int(y));
        if (!written_[y])
            std::memset(row, 0, stride);
        else if (stride > used)
            std::memset(row + used, 0, stride - used);
    }
}

namespace {

// A pixel at a time, for the last few of a row.
void SwapRedBluePixels(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels) {
    for (std::size_t x = 0; x < pixels; ++x, in += 3, out += 3) {
        const std::uint8_t red = in[0];
        out[0] = in[2];
        out[1] = in[1];
        out[2] = red;
    }
}

void SwapRedBlueWords(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels) {
    // Four bytes at a time: red, green, blue and the next red byte-swapped and
    // shifted give blue, green, red; the fourth byte, the next pixel's, is written
    // back as it was, so that in and out may be the same buffer.
    static_assert(std::endian::native == std::endian::little);
    std::size_t x = 0;
    for (; x + 1 < pixels; ++x, in += 3, out += 3) {
        std::uint32_t v;
        std::memcpy(&v, in, 4);
        v = (__builtin_bswap32(v) >> 8) | (v & 0xFF000000u);
        std::memcpy(out, &v, 4);
    }
    SwapRedBluePixels(in, out, pixels - x);
}

#if defined(__x86_64__) || defined(__i386__)
// Five pixels per byte shuffle; the sixteenth byte is written back as it was, and
// the next five are loaded before the store, so in and out may be the same buffer.
__attribute__((target("ssse3"))) void SwapRedBlueShuffle(const std::uint8_t* in, std::uint8_t* out,
                                                         std::size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::size_t x = 0;
    if (pixels >= 6) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        for (; x + 11 <= pixels; x += 5) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x + 15));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
            v = next;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
        x += 5;
    }
    SwapRedBluePixels(in + 3 * x, out + 3 * x, pixels - x);
}
#endif

}  // namespace

void SwapRedBlue(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels) {
#if defined(__x86_64__) || defined(__i386__)
    if (HaveByteShuffle()) return SwapRedBlueShuffle(in, out, pixels);
#endif
    SwapRedBlueWords(in, out, pixels);
}

std::string Pow2Text(int bits) {
    if (bits < 0) return "0";
    if (bits < 64) return std::to_string(std::uint64_t(1) << bits);
    return "2^" + std::to_string(bits);
}

const char* ColorCountText(std::span<const ColorCount> table, int bits, const char* otherwise) {
    for (const ColorCount& c : table)
        if (c.bits == bits) return c.text;
    return otherwise;
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

int ReductionFactor(int width, int height, int targetWidth, int targetHeight) {
    if (targetWidth <= 0 || targetHeight <= 0) return 1;
    return std::max(1, std::min(width / targetWidth, height / targetHeight));
}

BoxReducer::BoxReducer(TPixelGraphic& out, int width, int height, int factor, int channels)
    : out_(out),
      width_(width),
      height_(height),
      factor_(factor),
      channels_(channels),
      outWidth_((width + factor - 1) / factor) {
    const std::size_t rowBytes = std::size_t(width) * std::size_t(channels);
    if (factor <= 257)
        narrowSums_.resize(rowBytes);
    else
        sums_.resize(rowBytes);
    out.SetSize(outWidth_, (height + factor - 1) / factor, pgpf24Bit);
}

// Down as the rows come, every byte in a plain loop the vectoriser takes; across once
// per box row.
void BoxReducer::AddRow(const std::uint8_t* row) {
    if (outRow_ >= out_.Height()) return;
    const auto addDown = [row](auto& sums) {
        auto* sum = sums.data();
        for (std::size_t i = 0; i < sums.size(); ++i) sum[i] += row[i];
    };
    if (narrowSums_.empty())
        addDown(sums_);
    else
        addDown(narrowSums_);
    if (++rowsIn_ == factor_ || outRow_ * factor_ + rowsIn_ == height_) Flush();
}

void BoxReducer::Flush() {
    if (rowsIn_ == 0) return;
    if (narrowSums_.empty())
        EmitRow(sums_);
    else
        EmitRow(narrowSums_);
}

template <typename Sum>
void BoxReducer::EmitRow(std::vector<Sum>& sums) {
    std::uint8_t* out = out_.ScanLine(outRow_);
    const Sum* column = sums.data();
    const std::uint32_t boxCount = std::uint32_t(factor_ * rowsIn_);
    const Divider divide(boxCount);
    for (int x0 = 0; x0 < width_; x0 += factor_, out += 3) {
        const int n = std::min(factor_, width_ - x0);
        std::uint32_t b = 0, g = 0, r = 0;
        if (channels_ == 3) {
            for (int i = 0; i < n; ++i, column += 3) {
                b += column[0];
                g += column[1];
                r += column[2];
            }
        } else {
            for (int i = 0; i < n; ++i) b += *column++;
            g = r = b;
        }
        if (n == factor_) {
            out[0] = std::uint8_t(divide(b + boxCount / 2));
            out[1] = std::uint8_t(divide(g + boxCount / 2));
            out[2] = std::uint8_t(divide(r + boxCount / 2));
        } else {
            const std::uint32_t count = std::uint32_t(n * rowsIn_);
            out[0] = std::uint8_t((b + count / 2) / count);
            out[1] = std::uint8_t((g + count / 2) / count);
            out[2] = std::uint8_t((r + count / 2) / count);
        }
    }
    std::fill(sums.begin(), sums.end(), Sum(0));
    rowsIn_ = 0;
    ++outRow_;
}

void ReducePicture(TPixelGraphic& image, int factor) {
    if (factor < 2 || image.Empty()) return;
    TPixelGraphic reduced;
    BoxReducer reducer(reduced, image.Width(), image.Height(), factor, 3);
    std::vector<std::uint8_t> row(image.PixelFormat() == pgpf24Bit ? 0 : std::size_t(image.Width()) * 3);
    for (int y = 0; y < image.Height(); ++y) {
        if (row.empty()) {
            reducer.AddRow(image.ScanLine(y));
            continue;
        }
        for (int x = 0; x < image.Width(); ++x) {
            const PGColor c = image.Pixels(x, y);
            row[std::size_t(x) * 3] = std::uint8_t(PGBlue(c));
            row[std::size_t(x) * 3 + 1] = std::uint8_t(PGGreen(c));
            row[std::size_t(x) * 3 + 2] = std::uint8_t(PGRed(c));
        }
        reducer.AddRow(row.data());
    }
    image.SetSize(0, 0, pgpf24Bit);
    image.SetSize(reduced.Width(), reduced.Height(), pgpf24Bit);
    image.CopyRect(0, 0, reduced, 0, 0, reduced.Width(), reduced.Height());
}

// Source pixel i spans [i * to, (i + 1) * to) and output pixel j [j * from, (j + 1) *
// from): whole numbers, each output pixel adding up to from.
std::vector<AreaReducer::Share> AreaReducer::Shares(int from, int to) {
    std::vector<Share> shares(static_cast<std::size_t>(from));
    for (int i = 0; i < from; ++i) {
        const std::int64_t start = std::int64_t(i) * to;
        const int j = int(start / from);
        const std::int64_t end = std::min(start + to, std::int64_t(j + 1) * from);
        shares[std::size_t(i)] = {j, std::uint32_t(end - start)};
    }
    return shares;
}

AreaReducer::AreaReducer(TPixelGraphic& out, int width, int height, int outWidth, int outHeight, int channels)
    : out_(out),
      channels_(channels),
      columns_(Shares(width, outWidth)),
      rows_(Shares(height, outHeight)),
      current_(std::size_t(width) * std::size_t(channels)),
      next_(current_.size()) {
    out.SetSize(outWidth, outHeight, pgpf24Bit);
}

// Down first, every byte of the row into the output row it starts in and the next
// (plain loops the vectoriser takes); across only for each output row.
void AreaReducer::AddRow(const std::uint8_t* row) {
    if (rowsIn_ >= int(rows_.size())) return;
    const Share& r = rows_[std::size_t(rowsIn_++)];
    const std::uint32_t here = r.weight, rest = std::uint32_t(out_.Height()) - r.weight;
    std::uint32_t* current = current_.data();
    std::uint32_t* next = next_.data();
    const std::size_t n = current_.size();
    for (std::size_t i = 0; i < n; ++i) current[i] += here * row[i];
    if (rest > 0)
        for (std::size_t i = 0; i < n; ++i) next[i] += rest * row[i];
    // The output row is whole when the next source row starts below it.
    if (rowsIn_ < int(rows_.size()) && rows_[std::size_t(rowsIn_)].to == r.to) return;
    // Across, an output pixel at a time: the part of a source column past its
    // output pixel is carried into the next.
    const double scale = 1.0 / (double(columns_.size()) * double(rows_.size()));
    const std::uint64_t outWidth = std::uint64_t(out_.Width());
    std::uint8_t* out = out_.ScanLine(r.to);
    std::uint64_t sum[3] = {}, carry[3] = {};
    int at = 0;  // the output pixel summed
    const std::uint32_t* column = current;
    for (const Share& s : columns_) {
        if (s.to != at) {
            ++at;
            for (int c = 0; c < 3; ++c) {
                *out++ = std::uint8_t(double(sum[c]) * scale + 0.5);  // a mean: never above 255.5
                sum[c] = carry[c];
                carry[c] = 0;
            }
        }
        for (int c = 0; c < 3; ++c) {
            const std::uint64_t v = column[channels_ == 3 ? c : 0];
            sum[c] += v * s.weight;
            carry[c] += v * (outWidth - s.weight);
        }
        column += channels_;
    }
    for (int c = 0; c < 3; ++c) *out++ = std::uint8_t(double(sum[c]) * scale + 0.5);
    current_.swap(next_);
    std::fill(next_.begin(), next_.end(), 0);
}

}  // namespace quipix::decode
