// TIFF strip decoding: LZW (both bit orders), Deflate, the horizontal predictor and
// 16-bit samples. The decoders work one row at a time, so memory stays one row plus
// one input block however large a strip claims to be. Where libdeflate is at hand a
// Deflate strip of known, moderate size is inflated whole by it instead: about three
// times zlib's speed on photos.
#include <algorithm>
#include <array>
#include <cstring>

#include <zlib.h>
#ifdef QUIPIX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/tif_internal.h"

namespace quipix::tif {

void RaiseFull(const std::string& message) { throw EPGTIFFileFormatReader(message); }
void Raise(const std::string& text) { RaiseFull("TIFF: " + text); }

namespace {

constexpr std::size_t kInputBlock = 64 * 1024;

constexpr std::array<std::uint8_t, 256> kReversed = [] {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) r |= 0x80 >> b;
        t[std::size_t(i)] = std::uint8_t(r);
    }
    return t;
}();

[[noreturn]] void RaiseEnd() { Raise(GetPGLangStr(msg::UnexpectedEndOfFile)); }

}  // namespace

std::uint8_t ReversedBits(std::uint8_t byte) { return kReversed[byte]; }

void ReverseBits(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = kReversed[bytes[i]];
}

StripInput::StripInput(TPGStream& stream, bool reverseBits)
    : stream_(stream), reverse_(reverseBits), buffer_(kInputBlock) {}

void StripInput::Start(std::int64_t position, std::int64_t count) {
    stream_.Seek(position);
    const std::int64_t inFile = std::max<std::int64_t>(stream_.Size() - position, 0);
    left_ = count < 0 ? inFile : std::min(count, inFile);
    length_ = 0;
}

bool StripInput::Refill() {
    if (left_ <= 0) return false;
    length_ = stream_.Read(buffer_.data(), std::size_t(std::min<std::int64_t>(left_, kInputBlock)));
    if (length_ == 0) return false;
    left_ -= std::int64_t(length_);
    if (reverse_) ReverseBits(buffer_.data(), length_);
    return true;
}

namespace {

// TIFF's LZW: 9- to 12-bit codes, 256 clears the table, 257 ends the strip. Today's
// writers pack codes high bit first and widen one code early; the old library
// packed them low bit first and widened on time. Strips of the old kind begin with
// the bytes 0x00 0x01 (a clear code), which no new-style strip can begin with.
class LzwDecoder : public RowDecoder {
public:
    LzwDecoder(TPGStream& stream, bool reverseBits) : input_(stream, reverseBits) {
        for (int c = 0; c < 256; ++c) table_[c] = {0, 1, std::uint8_t(c), std::uint8_t(c)};
    }

    void StartStrip(std::int64_t position, std::int64_t count, std::size_t stripBytes) override {
        input_.Start(position, count);
        whole_ = stripBytes <= kWholeStripBytes;
        if (whole_) {
            if (strip_.size() < stripBytes + kSlack) strip_.resize(stripBytes + kSlack);
            stripBytes_ = stripBytes;
            decoded_ = handed_ = 0;
        }
        in_ = end_ = nullptr;
        bits_ = 0;
        bitCount_ = 0;
        pendingPos_ = pendingLen_ = 0;
        ResetTable();
        compat_ = false;
        if (input_.Refill()) {
            in_ = input_.Data();
            end_ = in_ + input_.Length();
            compat_ = input_.Length() >= 2 && in_[0] == 0 && (in_[1] & 1);
        }
    }

    void Row(std::uint8_t* out, std::size_t size) override {
        if (whole_) {
            // Rows are asked for in order and the strip holds them all.
            const std::size_t end = std::min(handed_ + size, stripBytes_);
            if (compat_)
                DecodeStrip<true>(end);
            else
                DecodeStrip<false>(end);
            std::memcpy(out, strip_.data() + handed_, end - handed_);
            handed_ = end;
            return;
        }
        if (compat_)
            DecodeRow<true>(out, size);
        else
            DecodeRow<false>(out, size);
    }

private:
    static constexpr int kClear = 256, kEnd = 257, kCodes = 4096;
    // Strips up to this size are decoded into one buffer, where every string a code
    // stands for has been written before: it is copied from there instead of being
    // walked back along its prefixes a byte at a time. Larger strips go row by row.
    static constexpr std::size_t kWholeStripBytes = std::size_t(4) << 20;
    // Room past the strip's end for a string cut off there and for copies in
    // eight-byte steps.
    static constexpr std::size_t kSlack = kCodes + 16;

    struct Code {
        std::uint16_t prefix;
        std::uint16_t length;
        std::uint8_t last;   // the string's last byte
        std::uint8_t first;  // and its first
    };

    // Decodes the strip on up to byte target; the same codes in the same order as
    // DecodeRow, so every fault shows at the same row.
    template <bool Compat>
    void DecodeStrip(std::size_t target) {
        std::uint8_t* buf = strip_.data();
        std::size_t pos = decoded_;
        while (pos < target) {
            const int code = ReadCode<Compat>();
            if (code < 0 || code == kEnd) RaiseEnd();
            if (code == kClear) {
                ResetTable();
                continue;
            }
            if (prev_ < 0) {
                if (code > 255) Invalid();
                prevStart_ = pos;
                buf[pos++] = std::uint8_t(code);
                prev_ = code;
                continue;
            }
            if (code > next_) Invalid();
            // The new string stands where the previous one was written, followed by
            // the first byte of this one.
            if (DefineCode<Compat>(code)) start_[next_ - 1] = std::uint32_t(prevStart_);
            prevStart_ = pos;
            if (code < 256) {
                buf[pos++] = std::uint8_t(code);
            } else {
                // All but the last byte lie before pos; the copy may run up to seven
                // bytes further, into what is written next or into the slack.
                const Code& c = table_[code];
                const std::uint8_t* src = buf + start_[code];
                std::uint8_t* dst = buf + pos;
                for (std::size_t i = 0; i + 1 < c.length; i += 8) std::memcpy(dst + i, src + i, 8);
                dst[c.length - 1] = c.last;
                pos += std::min<std::size_t>(c.length, stripBytes_ - pos);
            }
            prev_ = code;
        }
        decoded_ = pos;
    }

    template <bool Compat>
    void DecodeRow(std::uint8_t* out, std::size_t size) {
        std::size_t pos = 0;
        if (pendingPos_ < pendingLen_) {
            pos = std::min(size, pendingLen_ - pendingPos_);
            std::memcpy(out, pending_ + pendingPos_, pos);
            pendingPos_ += pos;
        }
        while (pos < size) {
            const int code = ReadCode<Compat>();
            if (code < 0 || code == kEnd) RaiseEnd();
            if (code == kClear) {
                ResetTable();
                continue;
            }
            if (prev_ < 0) {
                if (code > 255) Invalid();
                out[pos++] = std::uint8_t(code);
                prev_ = code;
                continue;
            }
            if (code > next_) Invalid();
            DefineCode<Compat>(code);
            if (code < 256 && pos < size) {
                out[pos++] = std::uint8_t(code);
            } else {
                Emit(code, out, pos, size);
            }
            prev_ = code;
        }
    }

    [[noreturn]] static void Invalid() {
        RaiseFull("TIFF (LZW): " + GetPGLangStr(msg::InvalidValueFor, "code"));
    }

    // Defines the next code while the table has room: the previous string and the first
    // byte of code's (of the previous string's own when code is the one being defined).
    // The code width grows as the table fills. Returns whether a code was defined.
    template <bool Compat>
    bool DefineCode(int code) {
        if (next_ >= kCodes) return false;
        const Code& p = table_[prev_];
        const std::uint8_t head = code < next_ ? table_[code].first : p.first;
        table_[next_] = {std::uint16_t(prev_), std::uint16_t(p.length + 1), head, p.first};
        ++next_;
        if (width_ < 12 && next_ >= (1 << width_) - (Compat ? 0 : 1)) ++width_;
        return true;
    }

    void ResetTable() {
        width_ = 9;
        next_ = 258;
        prev_ = -1;
    }

    template <bool Compat>
    int ReadCode() {
        if (bitCount_ < width_ && end_ - in_ >= 6) {
            // Six bytes at once while the block has them: at least four codes' worth.
            for (int i = 0; i < 6; ++i, bitCount_ += 8) {
                if (Compat)
                    bits_ |= std::uint64_t(*in_++) << bitCount_;
                else
                    bits_ = (bits_ << 8) | *in_++;
            }
        }
        while (bitCount_ < width_) {
            if (in_ == end_) {
                if (!input_.Refill()) return -1;
                in_ = input_.Data();
                end_ = in_ + input_.Length();
            }
            if (Compat)
                bits_ |= std::uint64_t(*in_++) << bitCount_;
            else
                bits_ = (bits_ << 8) | *in_++;
            bitCount_ += 8;
        }
        const std::uint32_t mask = (1u << width_) - 1;
        int code;
        if (Compat) {
            code = int(bits_ & mask);
            bits_ >>= width_;
        } else {
            code = int((bits_ >> (bitCount_ - width_)) & mask);
        }
        bitCount_ -= width_;
        return code;
    }

    // Writes the string of code, back to front along its prefixes. What does not fit
    // the row waits for the next one.
    void Emit(int code, std::uint8_t* out, std::size_t& pos, std::size_t size) {
        const std::size_t len = table_[code].length;
        const bool fits = len <= size - pos;
        std::uint8_t* dst = fits ? out + pos : pending_;
        for (std::size_t i = len; i-- > 0;) {
            const Code& c = table_[code];
            dst[i] = c.last;
            code = c.prefix;
        }
        if (fits) {
            pos += len;
            return;
        }
        const std::size_t n = size - pos;
        std::memcpy(out + pos, pending_, n);
        pendingPos_ = n;
        pendingLen_ = len;
        pos = size;
    }

    StripInput input_;
    const std::uint8_t* in_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    std::uint64_t bits_ = 0;  // never more than 11 + 48 bits pending
    int bitCount_ = 0;
    bool compat_ = false;
    int width_ = 9, next_ = 258, prev_ = -1;
    Code table_[kCodes];
    std::uint8_t pending_[kCodes];  // a string is at most 4096 - 257 bytes long
    std::size_t pendingPos_ = 0, pendingLen_ = 0;
    // The whole-strip mode: the decoded strip, how far it is decoded and handed
    // out, where each code's string starts in it and where the previous code's did.
    bool whole_ = false;
    std::vector<std::uint8_t> strip_;
    std::size_t stripBytes_ = 0, decoded_ = 0, handed_ = 0, prevStart_ = 0;
    std::uint32_t start_[kCodes] = {};
};

// Deflate (Adobe's code 8 and the older 32946): one zlib stream per strip.
class DeflateDecoder : public RowDecoder {
public:
    DeflateDecoder(TPGStream& stream, bool reverseBits)
        : stream_(stream), reverse_(reverseBits), input_(stream, reverseBits) {}
    ~DeflateDecoder() override {
        if (ready_) inflateEnd(&z_);
#ifdef QUIPIX_HAVE_LIBDEFLATE
        libdeflate_free_decompressor(whole_);
#endif
    }

    void StartStrip(std::int64_t position, std::int64_t count, std::size_t stripBytes) override {
        stripPos_ = stripLen_ = 0;
        wholeStrip_ = InflateWhole(position, count, stripBytes);
        if (wholeStrip_) return;
        input_.Start(position, count);
        if (!ready_) {
            if (inflateInit(&z_) != Z_OK) Invalid();
            ready_ = true;
        } else if (inflateReset(&z_) != Z_OK) {
            Invalid();
        }
        z_.avail_in = 0;
        ended_ = false;
    }

    void Row(std::uint8_t* out, std::size_t size) override {
        if (wholeStrip_) {
            if (size > stripLen_ - stripPos_) RaiseEnd();
            std::memcpy(out, strip_.data() + stripPos_, size);
            stripPos_ += size;
            return;
        }
        z_.next_out = out;
        z_.avail_out = uInt(size);  // rows are far below 4 GiB (the picture size limit)
        while (z_.avail_out > 0) {
            if (ended_) RaiseEnd();
            if (z_.avail_in == 0) {
                if (!input_.Refill()) RaiseEnd();
                z_.next_in = const_cast<Bytef*>(input_.Data());
                z_.avail_in = uInt(input_.Length());
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END)
                ended_ = true;
            else if (r != Z_OK && !(r == Z_BUF_ERROR && z_.avail_in == 0))
                Invalid();  // a stream that can make no progress is damaged too
        }
    }

private:
    [[noreturn]] static void Invalid() {
        RaiseFull("TIFF (Deflate): " + GetPGLangStr(msg::InvalidValueFor, "data"));
    }

    // Inflates a counted strip whole when libdeflate is there and the strip is not
    // large; false leaves it to zlib, also for damaged or cut data, so that every
    // failure reads the same either way.
    bool InflateWhole(std::int64_t position, std::int64_t count, std::size_t stripBytes) {
#ifdef QUIPIX_HAVE_LIBDEFLATE
        constexpr std::int64_t kLimit = 32 << 20;
        const std::int64_t inFile = stream_.Size() - position;
        if (count < 0 || count > kLimit || std::int64_t(stripBytes) > kLimit || inFile <= 0) return false;
        if (!whole_ && !(whole_ = libdeflate_alloc_decompressor())) return false;
        packed_.resize(std::size_t(std::min(count, inFile)));
        stream_.Seek(position);
        packed_.resize(stream_.Read(packed_.data(), packed_.size()));
        if (reverse_) ReverseBits(packed_.data(), packed_.size());
        strip_.resize(stripBytes);
        std::size_t got = 0;
        if (libdeflate_zlib_decompress(whole_, packed_.data(), packed_.size(), strip_.data(), stripBytes,
                                       &got) != LIBDEFLATE_SUCCESS ||
            got < stripBytes)
            return false;
        stripLen_ = got;
        return true;
#else
        (void)position, (void)count, (void)stripBytes;
        return false;
#endif
    }

    TPGStream& stream_;
    bool reverse_;
#ifdef QUIPIX_HAVE_LIBDEFLATE
    libdeflate_decompressor* whole_ = nullptr;
#endif
    std::vector<std::uint8_t> packed_, strip_;
    std::size_t stripPos_ = 0, stripLen_ = 0;
    bool wholeStrip_ = false;
    StripInput input_;
    z_stream z_{};
    bool ready_ = false;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<RowDecoder> MakeLzwDecoder(TPGStream& stream, bool reverseBits) {
    return std::make_unique<LzwDecoder>(stream, reverseBits);
}

std::unique_ptr<RowDecoder> MakeDeflateDecoder(TPGStream& stream, bool reverseBits) {
    return std::make_unique<DeflateDecoder>(stream, reverseBits);
}

void UndoHorizontalPredictor(std::uint8_t* row, std::size_t bytes, int samples, int bits, bool bigEndian) {
    const std::size_t step = std::size_t(samples) * std::size_t(bits / 8);
    if (bits == 8) {
        // RGB rows keep one running sum per sample in a register; the three sums are
        // independent, so the loop does not wait on memory.
        if (step == 3 && bytes % 3 == 0 && bytes >= 3) {
            std::uint8_t r = row[0], g = row[1], b = row[2];
            for (std::size_t i = 3; i < bytes; i += 3) {
                r = std::uint8_t(r + row[i]);
                g = std::uint8_t(g + row[i + 1]);
                b = std::uint8_t(b + row[i + 2]);
                row[i] = r;
                row[i + 1] = g;
                row[i + 2] = b;
            }
            return;
        }
        for (std::size_t i = step; i < bytes; ++i) row[i] = std::uint8_t(row[i] + row[i - step]);
        return;
    }
    const auto get = [&](const std::uint8_t* p) { return bigEndian ? decode::U16BE(p) : decode::U16LE(p); };
    for (std::size_t i = step; i + 1 < bytes; i += 2) {
        const std::uint16_t v = std::uint16_t(get(row + i) + get(row + i - step));
        row[i + (bigEndian ? 0 : 1)] = std::uint8_t(v >> 8);
        row[i + (bigEndian ? 1 : 0)] = std::uint8_t(v);
    }
}

void NarrowTo8Bits(std::uint8_t* row, std::size_t count, bool bigEndian) {
    const std::uint8_t* high = row + (bigEndian ? 0 : 1);
    for (std::size_t i = 0; i < count; ++i) row[i] = high[2 * i];
}

}  // namespace quipix::tif
