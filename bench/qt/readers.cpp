// Decoding speed of the picture readers. One 1920 x 1080 photo-like picture is made
// at start and encoded in every format the library reads (small encoders below, and
// libjpeg, libpng, libwebp and giflib for their own formats); each file is then
// decoded from memory through our registry, through Qt's QImageReader where Qt reads
// the format, and for JPEG, PNG, WebP and TIFF through the bare library with the same
// settings, as the yardstick. A 3840 x 2160 JPEG measures the large pictures.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>
#ifdef QUIPIX_HAVE_WEBP
#include <webp/decode.h>
#include <webp/encode.h>
#endif
#ifdef QUIPIX_BENCH_LIBTIFF
#include <tiffio.h>
#endif
#ifdef QUIPIX_HAVE_GIF
#include <gif_lib.h>
#endif

#include "imaging/orientation.h"
#include "imaging/pixel_graphic.h"
#include "imaging/stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kW = 1920;
constexpr int kH = 1080;

void Put16(Bytes& b, unsigned v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// Smooth colour fields with hard edges and a little sensor noise, top row first, RGB.
Bytes MakePhoto(int w = kW, int h = kH) {
    Bytes rgb(std::size_t(w) * h * 3);
    std::uint32_t seed = 12345;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 29) - 4;
            const bool edge = ((x / 240) + (y / 180)) % 3 == 0;
            const double fx = x * 0.0041, fy = y * 0.0063;
            int c[3] = {int(128 + 90 * std::sin(fx + 0.5 * fy)), int(120 + 80 * std::cos(fy - fx)),
                        int(110 + 100 * std::sin(0.7 * fx * fy + 1))};
            if (edge) c[0] = 255 - c[0];
            for (int i = 0; i < 3; ++i) {
                const int v = c[i] + noise;
                rgb[(std::size_t(y) * w + x) * 3 + i] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return rgb;
}

// The picture reduced to a 6 x 6 x 6 colour cube, for the 8-bit formats.
struct Indexed {
    Bytes index;                        // top row first
    std::vector<std::uint8_t> palette;  // 216 RGB triples
};
Indexed ToIndexed(const Bytes& rgb) {
    Indexed out;
    for (int i = 0; i < 216; ++i)
        for (int v : {i / 36, (i / 6) % 6, i % 6}) out.palette.push_back(std::uint8_t(v * 51));
    out.index.resize(std::size_t(kW) * kH);
    for (std::size_t p = 0; p < out.index.size(); ++p) {
        const auto q = [&](int c) { return (rgb[p * 3 + c] + 25) / 51; };
        out.index[p] = std::uint8_t(q(0) * 36 + q(1) * 6 + q(2));
    }
    return out;
}

Bytes BmpHeader(std::uint32_t dataSize, std::uint32_t paletteBytes, int bits, int compression, int colors) {
    Bytes b = {'B', 'M'};
    Put32(b, 54 + paletteBytes + dataSize);
    Put32(b, 0);
    Put32(b, 54 + paletteBytes);
    Put32(b, 40);
    Put32(b, kW);
    Put32(b, kH);
    Put16(b, 1);
    Put16(b, unsigned(bits));
    Put32(b, std::uint32_t(compression));
    Put32(b, dataSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, std::uint32_t(colors));
    Put32(b, 0);
    return b;
}

Bytes EncodeBmp24(const Bytes& rgb) {
    const int stride = (kW * 3 + 3) & ~3;
    Bytes b = BmpHeader(std::uint32_t(stride) * kH, 0, 24, 0, 0);
    for (int y = kH - 1; y >= 0; --y) {
        const std::uint8_t* row = &rgb[std::size_t(y) * kW * 3];
        for (int x = 0; x < kW; ++x) b.insert(b.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        b.resize(b.size() + std::size_t(stride - kW * 3), 0);
    }
    return b;
}

// 32-bit bit fields, 8 bits a channel (red 0xFF0000, green 0xFF00, blue 0xFF). With
// alpha the file has the 124-byte header whose fourth mask is 0xFF000000, and the
// picture is opaque but for a band of partly transparent pixels.
Bytes EncodeBmp32(const Bytes& rgb, bool alpha) {
    const std::uint32_t headerSize = alpha ? 124 : 40;
    const std::uint32_t masksBytes = alpha ? 0 : 12;
    const std::uint32_t data = 4u * kW * kH;
    Bytes b = {'B', 'M'};
    Put32(b, 14 + headerSize + masksBytes + data);
    Put32(b, 0);
    Put32(b, 14 + headerSize + masksBytes);
    Put32(b, headerSize);
    Put32(b, kW);
    Put32(b, kH);
    Put16(b, 1);
    Put16(b, 32);
    Put32(b, 3);
    Put32(b, data);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (std::uint32_t m : {0xFF0000u, 0xFF00u, 0xFFu}) Put32(b, m);
    if (alpha) {
        Put32(b, 0xFF000000u);
        b.resize(14 + headerSize, 0);
    }
    for (int y = kH - 1; y >= 0; --y) {
        const std::uint8_t* row = &rgb[std::size_t(y) * kW * 3];
        const std::uint8_t a = alpha && y % 270 < 30 ? std::uint8_t(y * 7) : 255;
        for (int x = 0; x < kW; ++x) b.insert(b.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x], a});
    }
    return b;
}

Bytes EncodeBmpRle8(const Indexed& img) {
    Bytes data;
    for (int y = kH - 1; y >= 0; --y) {
        const std::uint8_t* row = &img.index[std::size_t(y) * kW];
        int i = 0;
        while (i < kW) {
            int run = 1;
            while (i + run < kW && run < 255 && row[i + run] == row[i]) ++run;
            if (run >= 2) {
                data.insert(data.end(), {std::uint8_t(run), row[i]});
                i += run;
                continue;
            }
            int j = i;  // a literal stretch ends where a run of two begins
            while (j < kW && j - i < 255 && !(j + 1 < kW && row[j] == row[j + 1])) ++j;
            const int n = j - i;
            if (n >= 3) {
                data.insert(data.end(), {0, std::uint8_t(n)});
                data.insert(data.end(), row + i, row + j);
                if (n % 2) data.push_back(0);
            } else {
                for (int k = i; k < j; ++k) data.insert(data.end(), {1, row[k]});
            }
            i = j;
        }
        data.insert(data.end(), {0, 0});
    }
    data.back() = 1;  // the last end of line becomes the end of the bitmap
    Bytes b = BmpHeader(std::uint32_t(data.size()), 216 * 4, 8, 1, 216);
    for (int i = 0; i < 216; ++i)
        b.insert(b.end(), {img.palette[3 * i + 2], img.palette[3 * i + 1], img.palette[3 * i], 0});
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

void PcxRun(Bytes& out, const std::uint8_t* p, int n) {
    int i = 0;
    while (i < n) {
        int run = 1;
        while (i + run < n && run < 63 && p[i + run] == p[i]) ++run;
        if (run > 1 || p[i] >= 0xC0) out.push_back(std::uint8_t(0xC0 | run));
        out.push_back(p[i]);
        i += run;
    }
}

Bytes PcxHeader(int planes) {
    Bytes b(128, 0);
    b[0] = 0x0A;
    b[1] = 5;
    b[2] = 1;
    b[3] = 8;
    b[8] = std::uint8_t((kW - 1) & 0xFF);
    b[9] = std::uint8_t((kW - 1) >> 8);
    b[10] = std::uint8_t((kH - 1) & 0xFF);
    b[11] = std::uint8_t((kH - 1) >> 8);
    b[65] = std::uint8_t(planes);
    b[66] = std::uint8_t(kW & 0xFF);
    b[67] = std::uint8_t(kW >> 8);
    b[68] = 1;
    return b;
}

Bytes EncodePcx8(const Indexed& img) {
    Bytes b = PcxHeader(1);
    for (int y = 0; y < kH; ++y) PcxRun(b, &img.index[std::size_t(y) * kW], kW);
    b.push_back(0x0C);
    b.insert(b.end(), img.palette.begin(), img.palette.end());
    b.resize(b.size() + (256 - 216) * 3, 0);
    return b;
}

Bytes EncodePcx24(const Bytes& rgb) {
    Bytes b = PcxHeader(3);
    Bytes plane(kW);
    for (int y = 0; y < kH; ++y) {
        for (int c = 0; c < 3; ++c) {
            for (int x = 0; x < kW; ++x) plane[x] = rgb[(std::size_t(y) * kW + x) * 3 + c];
            PcxRun(b, plane.data(), kW);
        }
    }
    return b;
}

Bytes EncodeTgaRle(const Bytes& rgb) {
    Bytes b(18, 0);
    b[2] = 10;
    b[12] = std::uint8_t(kW & 0xFF);
    b[13] = std::uint8_t(kW >> 8);
    b[14] = std::uint8_t(kH & 0xFF);
    b[15] = std::uint8_t(kH >> 8);
    b[16] = 24;
    b[17] = 0x20;  // top row first
    const auto px = [&](int y, int x) { return &rgb[(std::size_t(y) * kW + x) * 3]; };
    const auto same = [&](int y, int a, int c) { return std::memcmp(px(y, a), px(y, c), 3) == 0; };
    for (int y = 0; y < kH; ++y) {
        int i = 0;
        while (i < kW) {
            int run = 1;
            while (i + run < kW && run < 128 && same(y, i, i + run)) ++run;
            if (run >= 2) {
                b.push_back(std::uint8_t(0x80 | (run - 1)));
                b.insert(b.end(), {px(y, i)[2], px(y, i)[1], px(y, i)[0]});
                i += run;
                continue;
            }
            int j = i;
            while (j < kW && j - i < 128 && !(j + 1 < kW && same(y, j, j + 1))) ++j;
            b.push_back(std::uint8_t(j - i - 1));
            for (int k = i; k < j; ++k) b.insert(b.end(), {px(y, k)[2], px(y, k)[1], px(y, k)[0]});
            i = j;
        }
    }
    return b;
}

Bytes EncodePpm(const Bytes& rgb) {
    const std::string head = "P6\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n";
    Bytes b(head.begin(), head.end());
    b.insert(b.end(), rgb.begin(), rgb.end());
    return b;
}

void PackBits(Bytes& out, const std::uint8_t* p, int n) {
    int i = 0;
    while (i < n) {
        int run = 1;
        while (i + run < n && run < 128 && p[i + run] == p[i]) ++run;
        if (run >= 2) {
            out.push_back(std::uint8_t(1 - run));
            out.push_back(p[i]);
            i += run;
            continue;
        }
        int j = i;
        while (j < n && j - i < 128 && !(j + 1 < n && p[j] == p[j + 1])) ++j;
        out.push_back(std::uint8_t(j - i - 1));
        out.insert(out.end(), p + i, p + j);
        i = j;
    }
}

constexpr int kTiffRowsPerStrip = 16;

// An RGB TIFF of the given strips (kTiffRowsPerStrip rows each); a predictor other
// than 1 adds its tag.
Bytes TiffFromStrips(unsigned compression, unsigned predictor, const std::vector<Bytes>& packed) {
    const int strips = int(packed.size());
    const int tags = predictor != 1 ? 11 : 10;
    const std::uint32_t ifd = 8, bits = ifd + 2 + tags * 12 + 4;
    const std::uint32_t offsets = bits + 6, counts = offsets + 4 * strips;
    std::uint32_t data = counts + 4 * strips;
    Bytes b = {'I', 'I', 42, 0};
    Put32(b, ifd);
    Put16(b, tags);
    const auto tag = [&](unsigned id, unsigned type, std::uint32_t count, std::uint32_t value) {
        Put16(b, id);
        Put16(b, type);
        Put32(b, count);
        Put32(b, value);
    };
    tag(256, 4, 1, kW);
    tag(257, 4, 1, kH);
    tag(258, 3, 3, bits);
    tag(259, 3, 1, compression);
    tag(262, 3, 1, 2);
    tag(273, 4, std::uint32_t(strips), offsets);
    tag(277, 3, 1, 3);
    tag(278, 4, 1, kTiffRowsPerStrip);
    tag(279, 4, std::uint32_t(strips), counts);
    tag(284, 3, 1, 1);
    if (predictor != 1) tag(317, 3, 1, predictor);
    Put32(b, 0);
    for (int i = 0; i < 3; ++i) Put16(b, 8);
    for (const Bytes& s : packed) {
        Put32(b, data);
        data += std::uint32_t(s.size());
    }
    for (const Bytes& s : packed) Put32(b, std::uint32_t(s.size()));
    for (const Bytes& s : packed) b.insert(b.end(), s.begin(), s.end());
    return b;
}

Bytes EncodeTiffPackBits(const Bytes& rgb) {
    std::vector<Bytes> packed((kH + kTiffRowsPerStrip - 1) / kTiffRowsPerStrip);
    for (int y = 0; y < kH; ++y)
        PackBits(packed[y / kTiffRowsPerStrip], &rgb[std::size_t(y) * kW * 3], kW * 3);
    return TiffFromStrips(32773, 1, packed);
}

// TIFF's LZW as today's writers produce it: codes high bit first, one code early
// to widen, a clear code when the table is full.
Bytes LzwEncode(const Bytes& in) {
    Bytes out;
    std::uint32_t acc = 0;
    int bits = 0, width = 9, next = 258;
    const auto put = [&](int code) {
        acc = (acc << width) | std::uint32_t(code);
        for (bits += width; bits >= 8; bits -= 8) out.push_back(std::uint8_t(acc >> (bits - 8)));
    };
    constexpr std::size_t kSlots = 1 << 14;
    std::vector<std::uint32_t> keys(kSlots, ~0u);
    std::vector<std::uint16_t> codes(kSlots);
    put(256);
    int w = in[0];
    for (std::size_t i = 1; i < in.size(); ++i) {
        const std::uint32_t key = (std::uint32_t(w) << 8) | in[i];
        std::size_t h = (key * 2654435761u) >> 18;
        while (keys[h] != ~0u && keys[h] != key) h = (h + 1) & (kSlots - 1);
        if (keys[h] == key) {
            w = codes[h];
            continue;
        }
        put(w);
        keys[h] = key;
        codes[h] = std::uint16_t(next++);
        if (next >= (1 << width) && width < 12) ++width;
        if (next == 4094) {
            put(256);
            std::fill(keys.begin(), keys.end(), ~0u);
            width = 9;
            next = 258;
        }
        w = in[i];
    }
    put(w);
    if (++next >= (1 << width) && width < 12) ++width;  // the decoder's entry for w
    put(257);
    if (bits > 0) out.push_back(std::uint8_t(acc << (8 - bits)));
    return out;
}

// LZW or Deflate strips of horizontally differenced rows, the usual way of writing both.
Bytes EncodeTiffCompressed(const Bytes& rgb, bool lzw) {
    std::vector<Bytes> strips;
    for (int y0 = 0; y0 < kH; y0 += kTiffRowsPerStrip) {
        const int rows = std::min(kTiffRowsPerStrip, kH - y0);
        Bytes raw(rgb.begin() + std::ptrdiff_t(y0) * kW * 3,
                  rgb.begin() + std::ptrdiff_t(y0 + rows) * kW * 3);
        for (int r = 0; r < rows; ++r)
            for (int i = kW * 3 - 1; i >= 3; --i)
                raw[std::size_t(r) * kW * 3 + i] =
                    std::uint8_t(raw[std::size_t(r) * kW * 3 + i] - raw[std::size_t(r) * kW * 3 + i - 3]);
        if (lzw) {
            strips.push_back(LzwEncode(raw));
        } else {
            uLongf size = compressBound(uLong(raw.size()));
            Bytes z(size);
            compress2(z.data(), &size, raw.data(), uLong(raw.size()), 6);
            z.resize(size);
            strips.push_back(std::move(z));
        }
    }
    return TiffFromStrips(lzw ? 5 : 8, 2, strips);
}

Bytes EncodeJpeg(const Bytes& rgb, int w = kW, int h = kH) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);  // a failure here ends the benchmark program
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[std::size_t(c.next_scanline) * w * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

void AppendPng(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

Bytes EncodePng(const Bytes& rgb) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &out, AppendPng, nullptr);
    png_set_IHDR(png, info, kW, kH, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kH; ++y) png_write_row(png, &rgb[std::size_t(y) * kW * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

#ifdef QUIPIX_HAVE_WEBP
Bytes EncodeWebP(const Bytes& rgb, bool lossless) {
    std::uint8_t* out = nullptr;
    const std::size_t size = lossless ? WebPEncodeLosslessRGB(rgb.data(), kW, kH, kW * 3, &out)
                                      : WebPEncodeRGB(rgb.data(), kW, kH, kW * 3, 80, &out);
    Bytes b(out, out + size);
    WebPFree(out);
    return b;
}
#endif

#ifdef QUIPIX_HAVE_GIF
int AppendGif(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

Bytes EncodeGif(const Indexed& img) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendGif, &error);
    GifColorType colors[256] = {};
    for (int i = 0; i < 216; ++i)
        colors[i] = {img.palette[3 * i], img.palette[3 * i + 1], img.palette[3 * i + 2]};
    ColorMapObject* map = GifMakeMapObject(256, colors);
    EGifPutScreenDesc(gif, kW, kH, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, kW, kH, false, nullptr);
    for (int y = 0; y < kH; ++y)
        EGifPutLine(gif, const_cast<GifPixelType*>(&img.index[std::size_t(y) * kW]), kW);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}
#endif

struct File {
    std::string extension;
    const char* qtFormat;  // nullptr: Qt has no reader for it
    Bytes bytes;
};

const std::map<std::string, File>& Files() {
    static const std::map<std::string, File> files = [] {
        const Bytes rgb = MakePhoto();
        const Indexed indexed = ToIndexed(rgb);
        std::map<std::string, File> f;
        f["bmp24"] = {"bmp", "bmp", EncodeBmp24(rgb)};
        f["bmp32_bitfields"] = {"bmp", "bmp", EncodeBmp32(rgb, false)};
        f["bmp32_alpha"] = {"bmp", "bmp", EncodeBmp32(rgb, true)};
        f["bmp_rle8"] = {"bmp", "bmp", EncodeBmpRle8(indexed)};
        f["pcx8"] = {"pcx", nullptr, EncodePcx8(indexed)};
        f["pcx24"] = {"pcx", nullptr, EncodePcx24(rgb)};
        f["tga_rle"] = {"tga", "tga", EncodeTgaRle(rgb)};
        f["ppm"] = {"ppm", "ppm", EncodePpm(rgb)};
        f["tif_packbits"] = {"tif", "tiff", EncodeTiffPackBits(rgb)};
        f["tif_lzw"] = {"tif", "tiff", EncodeTiffCompressed(rgb, true)};
        f["tif_deflate"] = {"tif", "tiff", EncodeTiffCompressed(rgb, false)};
        f["jpg"] = {"jpg", "jpeg", EncodeJpeg(rgb)};
        f["jpg4k"] = {"jpg", "jpeg", EncodeJpeg(MakePhoto(3840, 2160), 3840, 2160)};
        f["png"] = {"png", "png", EncodePng(rgb)};
#ifdef QUIPIX_HAVE_WEBP
        f["webp"] = {"webp", "webp", EncodeWebP(rgb, false)};
        f["webp_lossless"] = {"webp", "webp", EncodeWebP(rgb, true)};
#endif
#ifdef QUIPIX_HAVE_GIF
        f["gif"] = {"gif", "gif", EncodeGif(indexed)};
#endif
        return f;
    }();
    return files;
}

void DecodeOurs(benchmark::State& state, const std::string& name) {
    const File& file = Files().at(name);
    quipix::TPixelGraphic image;
    image.ReadWarningAction = quipix::pgwaRaise;
    for (auto _ : state) {
        quipix::TPGMemoryStream stream(file.bytes);
        try {
            image.LoadFromStream(stream, file.extension, 0);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
        benchmark::DoNotOptimize(image.Buffer());
    }
    state.counters["bytes"] = double(file.bytes.size());
}

void DecodeQt(benchmark::State& state, const std::string& name) {
    const File& file = Files().at(name);
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(file.bytes.data()),
                                                    qsizetype(file.bytes.size()));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, file.qtFormat);
        const QImage image = reader.read();
        if (image.isNull()) {
            state.SkipWithError(("Qt cannot read it: " + reader.errorString().toStdString()).c_str());
            break;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The bare libjpeg decode with the reader's settings, rows into one buffer.
void DecodeBareJpeg(benchmark::State& state, const std::string& name) {
    const Bytes& bytes = Files().at(name).bytes;
    Bytes pixels;
    for (auto _ : state) {
        jpeg_decompress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, bytes.data(), bytes.size());
        jpeg_read_header(&c, TRUE);
        c.dct_method = JDCT_ISLOW;
        c.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&c);
        const std::size_t stride = std::size_t(c.output_width) * 3;
        pixels.resize(stride * c.output_height);
        JSAMPROW rows[16];
        while (c.output_scanline < c.output_height) {
            const int n = std::min<int>(16, int(c.output_height - c.output_scanline));
            for (int i = 0; i < n; ++i) rows[i] = &pixels[std::size_t(c.output_scanline + i) * stride];
            jpeg_read_scanlines(&c, rows, JDIMENSION(n));
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        benchmark::DoNotOptimize(pixels.data());
    }
}

struct MemoryReader {
    const Bytes* bytes;
    std::size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* m = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (m->pos + n > m->bytes->size()) png_error(png, "short");
    std::memcpy(out, m->bytes->data() + m->pos, n);
    m->pos += n;
}

void DecodeBarePng(benchmark::State& state) {
    const Bytes& bytes = Files().at("png").bytes;
    Bytes pixels(std::size_t(kW) * kH * 3);
    for (auto _ : state) {
        MemoryReader m{&bytes, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_set_read_fn(png, &m, ReadFromMemory);
        png_read_info(png, info);
        png_set_bgr(png);
        png_read_update_info(png, info);
        for (int y = 0; y < kH; ++y) png_read_row(png, &pixels[std::size_t(y) * kW * 3], nullptr);
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
}

#ifdef QUIPIX_HAVE_WEBP
// The bare libwebp decode of the whole file into one blue-green-red buffer.
void DecodeBareWebP(benchmark::State& state, const std::string& name) {
    const Bytes& bytes = Files().at(name).bytes;
    Bytes pixels(std::size_t(kW) * kH * 3);
    for (auto _ : state) {
        if (!WebPDecodeBGRInto(bytes.data(), bytes.size(), pixels.data(), pixels.size(), kW * 3)) {
            state.SkipWithError("libwebp cannot read it");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}
#endif

#ifdef QUIPIX_BENCH_LIBTIFF
// libtiff reading a file from memory.
struct TiffMemory {
    const Bytes* bytes;
    toff_t pos = 0;
};
tsize_t TiffRead(thandle_t h, tdata_t out, tsize_t n) {
    auto* m = static_cast<TiffMemory*>(h);
    const toff_t left = m->pos < m->bytes->size() ? m->bytes->size() - m->pos : 0;
    const tsize_t got = tsize_t(std::min<toff_t>(toff_t(n), left));
    std::memcpy(out, m->bytes->data() + m->pos, std::size_t(got));
    m->pos += toff_t(got);
    return got;
}
tsize_t TiffWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<TiffMemory*>(h);
    m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->bytes->size() + off;
    return m->pos;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<TiffMemory*>(h)->bytes->size(); }

// The bare libtiff decode: every strip into one buffer, top row first.
void DecodeBareTiff(benchmark::State& state, const std::string& name) {
    const Bytes& bytes = Files().at(name).bytes;
    Bytes pixels(std::size_t(kW) * kH * 3);
    TIFFSetWarningHandler(nullptr);
    for (auto _ : state) {
        TiffMemory m{&bytes};
        TIFF* tif = TIFFClientOpen("bench", "rm", &m, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                                   nullptr, nullptr);
        if (!tif) {
            state.SkipWithError("libtiff cannot open it");
            break;
        }
        const tstrip_t strips = TIFFNumberOfStrips(tif);
        std::uint8_t* at = pixels.data();
        for (tstrip_t i = 0; i < strips; ++i) {
            const tmsize_t got =
                TIFFReadEncodedStrip(tif, i, at, tmsize_t(pixels.data() + pixels.size() - at));
            if (got < 0) {
                state.SkipWithError("libtiff cannot decode a strip");
                break;
            }
            at += got;
        }
        TIFFClose(tif);
        benchmark::DoNotOptimize(pixels.data());
    }
}
#endif

const bool registered = [] {
    for (const char* name : {"bmp24", "bmp32_bitfields", "bmp32_alpha", "bmp_rle8", "pcx8", "pcx24",
                             "tga_rle", "ppm", "tif_packbits", "jpg", "jpg4k", "png"}) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("Decode/" + n + "/quipix").c_str(), [n](benchmark::State& s) {
            DecodeOurs(s, n);
        })->Unit(benchmark::kMillisecond);
        if (n != "pcx8" && n != "pcx24")
            benchmark::RegisterBenchmark(("Decode/" + n + "/qt").c_str(), [n](benchmark::State& s) {
                DecodeQt(s, n);
            })->Unit(benchmark::kMillisecond);
    }
    for (const std::string n : {"jpg", "jpg4k"})
        benchmark::RegisterBenchmark(("Decode/" + n + "/bare_libjpeg").c_str(), [n](benchmark::State& s) {
            DecodeBareJpeg(s, n);
        })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Decode/png/bare_libpng", DecodeBarePng)->Unit(benchmark::kMillisecond);
#ifdef QUIPIX_HAVE_WEBP
    for (const std::string n : {"webp", "webp_lossless"})
        benchmark::RegisterBenchmark(("Decode/" + n + "/bare_libwebp").c_str(), [n](benchmark::State& s) {
            DecodeBareWebP(s, n);
        })->Unit(benchmark::kMillisecond);
#endif
#ifdef QUIPIX_BENCH_LIBTIFF
    for (const std::string n : {"tif_packbits", "tif_lzw", "tif_deflate"})
        benchmark::RegisterBenchmark(("Decode/" + n + "/bare_libtiff").c_str(), [n](benchmark::State& s) {
            DecodeBareTiff(s, n);
        })->Unit(benchmark::kMillisecond);
#endif
    return true;
}();

// Turning a 3840 x 2160 photo upright: a half turn in place, a quarter turn into a
// fresh buffer (each call turns the previous result once more).
void Orient4K(benchmark::State& state) {
    quipix::TPixelGraphic image;
    image.SetSize(3840, 2160, quipix::TPGPixelFormat(state.range(1)));
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.ScanLine(y);
        for (int i = 0; i < image.Stride(); ++i) row[i] = std::uint8_t(i * 7 + y);
    }
    for (auto _ : state) {
        quipix::ApplyOrientation(image, int(state.range(0)));
        benchmark::DoNotOptimize(image.Buffer());
    }
}

// Compressed TIFF, lossy WebP and GIF against Qt's readers (TIFF and WebP from
// qt6-image-formats-plugins; Qt reads GIF itself).
const bool registeredCompressedTiff = [] {
    std::vector<std::string> names = {"tif_lzw", "tif_deflate"};
#ifdef QUIPIX_HAVE_WEBP
    names.push_back("webp");
    names.push_back("webp_lossless");
#endif
#ifdef QUIPIX_HAVE_GIF
    names.push_back("gif");
#endif
    for (const std::string& n : names) {
        benchmark::RegisterBenchmark(("Decode/" + n + "/quipix").c_str(), [n](benchmark::State& s) {
            DecodeOurs(s, n);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Decode/" + n + "/qt").c_str(), [n](benchmark::State& s) {
            DecodeQt(s, n);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Orient/4K", Orient4K)
        ->ArgNames({"orientation", "format"})
        ->Args({3, quipix::pgpf24Bit})
        ->Args({6, quipix::pgpf24Bit})
        ->Args({8, quipix::pgpf24Bit})
        ->Args({6, quipix::pgpf8Bit})
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
