// The TIFF reader's strip decoders (LZW and Deflate) and row filters, kept apart
// from its directory handling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/stream.h"

namespace quipix::tif {

[[noreturn]] void RaiseFull(const std::string& message);  // EPGTIFFileFormatReader
[[noreturn]] void Raise(const std::string& text);         // with "TIFF: " before text

// Reverses the bit order of every byte (FillOrder 2 data).
void ReverseBits(std::uint8_t* bytes, std::size_t count);
std::uint8_t ReversedBits(std::uint8_t byte);

// The compressed bytes of one strip: from its offset up to its byte count, never past
// the end of the file, read in blocks so that no claimed size is ever allocated.
class StripInput {
public:
    StripInput(TPGStream& stream, bool reverseBits);
    // Starts a strip at an absolute position; count < 0 means up to the end of the file.
    void Start(std::int64_t position, std::int64_t count);
    // The next block of the strip, or false when the strip has no more bytes.
    bool Refill();
    const std::uint8_t* Data() const { return buffer_.data(); }
    std::size_t Length() const { return length_; }

private:
    TPGStream& stream_;
    bool reverse_;
    std::vector<std::uint8_t> buffer_;
    std::size_t length_ = 0;
    std::int64_t left_ = 0;
};

// Decompresses strips row by row; stripBytes is what the strip's rows hold in all.
// A row that the strip's data cannot fill raises
// "TIFF: Unexpected end of file"; data that breaks the format raises the decoder's
// own message.
class RowDecoder {
public:
    virtual ~RowDecoder() = default;
    virtual void StartStrip(std::int64_t position, std::int64_t count, std::size_t stripBytes) = 0;
    virtual void Row(std::uint8_t* out, std::size_t size) = 0;
};

std::unique_ptr<RowDecoder> MakeLzwDecoder(TPGStream& stream, bool reverseBits);
std::unique_ptr<RowDecoder> MakeDeflateDecoder(TPGStream& stream, bool reverseBits);

// Horizontal differencing (Predictor 2) undone on one row of 8- or 16-bit samples
// with samples values per pixel; 16-bit samples are in the file's byte order.
void UndoHorizontalPredictor(std::uint8_t* row, std::size_t bytes, int samples, int bits, bool bigEndian);

// Keeps the high byte of every 16-bit sample, in place: count samples.
void NarrowTo8Bits(std::uint8_t* row, std::size_t count, bool bigEndian);

}  // namespace quipix::tif
