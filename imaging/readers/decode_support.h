// Small pieces shared by the readers: a buffered byte source that raises the
// reader's own message at the end of the data, the progress bracket, the size limits
// every reader applies before it allocates, alpha blending, and explicit little- and
// big-endian field access, for bytes at hand and for header fields as they lie on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "imaging/stream.h"

namespace quipix::decode {

// Raises a reader's exception class with a message (a whole one, or the text after
// the reader's prefix, as the taker says).
using RaiseFn = void (*)(const std::string& message);

inline std::uint16_t U16LE(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t U32LE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint16_t U16BE(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint32_t U32BE(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

// Little-endian numbers as they lie in a file, read as their value. They are bytes
// only, so a struct of them and of single bytes has no padding: it is the header's
// layout on disk, read in one call and held to its size by a static_assert.
struct LE16 {
    std::uint8_t bytes[2];
    operator std::uint16_t() const { return U16LE(bytes); }
};
struct LE32 {
    std::uint8_t bytes[4];
    operator std::uint32_t() const { return U32LE(bytes); }
};
struct LE32Signed {
    std::uint8_t bytes[4];
    operator std::int32_t() const { return std::int32_t(U32LE(bytes)); }
};

// a * b for sizes taken from a file, INT64_MAX when the product does not fit (the
// limits below then refuse it), so no size arithmetic can overflow.
inline std::int64_t SaturatingMul(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    return __builtin_mul_overflow(a, b, &r) ? INT64_MAX : r;
}

// A sample of coverage alpha (0 to 255) over a background sample, rounded: how every
// reader flattens transparency onto the picture's BackGroundColor.
inline std::uint8_t Blend(int sample, int background, int alpha) {
    return std::uint8_t((sample * alpha + background * (255 - alpha) + 127) / 255);
}

// Reads up to count bytes and zero-fills what the stream could not supply; returns
// the number of bytes actually read.
std::size_t ReadPadded(TPGStream& stream, void* buffer, std::size_t count);

// Reads a stream through a fixed-size buffer, or through a window of that size on
// the stream's own memory when it has some. Needing a byte when the stream has none
// left raises the end message through raise, so every loop over file data ends.
class ByteSource {
public:
    ByteSource(TPGStream& stream, std::size_t bufferSize, RaiseFn raise, std::string endMessage);

    std::uint8_t Next() {
        if (pos_ == len_) Fill();
        return window_[pos_++];
    }
    // Next byte, or -1 at the end of the data (no error).
    int Peek() {
        if (pos_ == len_ && !TryFill()) return -1;
        return window_[pos_];
    }
    void Read(std::uint8_t* out, std::size_t count);
    // The buffered bytes: at least count of them (at most the buffer's size), fewer
    // only where the data ends. Take(n) delivers the first n.
    std::span<const std::uint8_t> Window(std::size_t count) {
        if (len_ - pos_ < count) Gather(count);
        return {window_ + pos_, len_ - pos_};
    }
    void Take(std::size_t count) { pos_ += count; }
    // Bytes not yet delivered: the buffered ones plus what the stream still holds.
    std::int64_t Remaining() const { return std::int64_t(len_ - pos_) + stream_.Remaining(); }
    // Drops the buffer and continues at an absolute stream position.
    void SeekTo(std::int64_t position);
    [[noreturn]] void RaiseEnd() const;

private:
    void Fill();
    bool TryFill();
    void Gather(std::size_t count);

    TPGStream& stream_;
    const std::uint8_t* memory_;        // the stream's own bytes, or null
    std::size_t size_;                  // the most bytes one fill takes
    std::vector<std::uint8_t> buffer_;  // where there is no memory_
    const std::uint8_t* window_;        // the buffer, or a part of memory_
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    RaiseFn raise_;
    std::string endMessage_;
};

// Limits applied before a reader allocates its picture. A picture whose pixel buffer
// exceeds kMaxBufferBytes is refused outright. Above kFreeBufferBytes the file must
// still hold at least an eighth of the fewest bytes its pixels could be encoded in,
// so a crafted header cannot make a small file allocate a huge buffer, while a
// picture that was only cut short still loads as far as it goes.
constexpr std::int64_t kMaxBufferBytes = std::int64_t(1) << 28;
constexpr std::int64_t kFreeBufferBytes = std::int64_t(1) << 22;

// A picture beyond the limits raises "Image size out of range", one whose file holds
// too little "Unexpected end of file", through the reader's raise, which is given the
// text after the reader's prefix. width and height must not be negative (callers let
// SetSize report those).
void CheckPictureSize(std::int64_t width, std::int64_t height, TPGPixelFormat format,
                      std::int64_t minEncodedBytes, std::int64_t available, RaiseFn raise);

// Sizes a picture for a reader that writes its rows itself, without clearing the
// pixels first (SetSizeUncleared). When this ends, normally or by an exception, every
// row not marked written is cleared, and so is the padding after the rowBytes bytes
// of every row marked: the picture is then exactly what SetSize and the same writes
// would have left. A row must be marked only once all its rowBytes bytes are defined.
class FreshPicture {
public:
    FreshPicture(TPixelGraphic& image, int width, int height, TPGPixelFormat format, std::size_t rowBytes);
    ~FreshPicture();
    FreshPicture(const FreshPicture&) = delete;
    FreshPicture& operator=(const FreshPicture&) = delete;

    void Written(int y) {
        if (!finished_) written_[std::size_t(y)] = 1;
    }
    // Clears now what the destructor would (once): for a reader that goes on to
    // work on the whole picture, or that must finish before its progress ends.
    void Finish();

private:
    TPixelGraphic& image_;
    std::size_t rowBytes_;
    std::vector<std::uint8_t> written_;  // per row, top row first
    bool finished_ = false;
};

// Progress start on construction, progress end on every exit. A picture sized through
// fresh is finished first, so that progress ends on the picture as it stays.
class ProgressScope {
public:
    explicit ProgressScope(TPixelGraphic& image, FreshPicture* fresh = nullptr)
        : image_(image), fresh_(fresh) {
        image_.ProgressStart();
    }
    ~ProgressScope() {
        if (fresh_) fresh_->Finish();
        image_.ProgressEnd();
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    TPixelGraphic& image_;
    FreshPicture* fresh_;
};

// Red, green, blue pixels to blue, green, red; in and out are the same buffer or do
// not overlap.
void SwapRedBlue(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels);

// 2^bits in decimal, as shown in the colour-count text.
std::string Pow2Text(int bits);
// A format's colour count for a bit depth, from its table; otherwise when the table
// has no such depth.
struct ColorCount {
    int bits;
    const char* text;
};
const char* ColorCountText(std::span<const ColorCount> table, int bits, const char* otherwise);

// Exchanges rows j and Height - 1 - j: top-down files read into the bottom-up buffer.
void FlipRows(TPixelGraphic& image);

// The largest whole factor a width x height picture can be reduced by and still cover
// a picture shown at targetWidth x targetHeight in both directions: 1 when either
// target side is not positive or the picture is not larger.
int ReductionFactor(int width, int height, int targetWidth, int targetHeight);

// Reduces a picture by boxes of factor x factor pixels as its rows arrive, top row
// first, into a 24-bit picture of ceil(width / factor) x ceil(height / factor): each
// pixel is the rounded mean of its box, the boxes at the right and bottom edges the
// mean of what they hold. Rows are blue, green, red (channels 3) or grey (1). Rows
// that never arrive stay black. The full picture is never held.
class BoxReducer {
public:
    BoxReducer(TPixelGraphic& out, int width, int height, int factor, int channels);
    void AddRow(const std::uint8_t* row);
    // Writes a last partly filled box row (a read that stops early); no row may follow.
    void Flush();

private:
    template <typename Sum>
    void EmitRow(std::vector<Sum>& sums);

    TPixelGraphic& out_;
    int width_, height_, factor_, channels_;
    int outWidth_;
    int rowsIn_ = 0;  // rows of the current box row so far
    int outRow_ = 0;  // the output row they fall into
    // Per byte of a row: the box row's sum down, in 16 bits while a box is at most
    // 257 rows high (half the memory traffic of 32), else in 32.
    std::vector<std::uint16_t> narrowSums_;
    std::vector<std::uint32_t> sums_;
};

// Reduces a picture to exactly outWidth x outHeight, neither larger than it, as its
// rows arrive, top row first, into a 24-bit picture: each pixel is the rounded mean of
// the area it covers, a source pixel on the border of two shared by what lies on
// either side. Rows are blue, green, red (channels 3) or grey (1). Rows that never
// arrive stay black. The full picture is never held.
class AreaReducer {
public:
    AreaReducer(TPixelGraphic& out, int width, int height, int outWidth, int outHeight, int channels);
    void AddRow(const std::uint8_t* row);

private:
    // A source pixel of an axis: the output pixel it starts in and its share there,
    // of the output size; the rest of that goes to the next output pixel.
    struct Share {
        int to;
        std::uint32_t weight;
    };
    static std::vector<Share> Shares(int from, int to);

    TPixelGraphic& out_;
    int channels_;
    std::vector<Share> columns_, rows_;
    int rowsIn_ = 0;
    // The output row filling and the one after, summed down but not yet across.
    std::vector<std::uint32_t> current_, next_;
};

// Reduces a decoded picture of any format in place by factor (24 bits out), as
// BoxReducer would have from its rows.
void ReducePicture(TPixelGraphic& image, int factor);

}  // namespace quipix::decode
