// Camera-sized photos (48 megapixels, 8000 x 6000) shown on a 1080p or 4K screen and
// in the open dialog's preview: the saver's loading path (read toward the screen's
// size, then stretched onto it) against the bare libraries' decode, the floor any
// loader has to pay, and against the full-size read the saver did before. The
// pictures are written once, row by row, into the temporary folder (QUIPIX_BENCH_DIR
// to choose another), so that a run filtered to one case shows that case's own peak
// memory.
#include <benchmark/benchmark.h>

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/background.h"
#include "imaging/picture_preview.h"
#include "imaging/pixel_graphic.h"

namespace quipix {
namespace {

constexpr int kWidth = 8000, kHeight = 6000;

// A photo-like row: gradients, a wave and noise.
void PhotoRow(int y, std::vector<std::uint8_t>& rgb) {
    unsigned seed = unsigned(y) * 2654435761u;
    for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int noise = int((seed >> 16) % 13) - 6;
        rgb[std::size_t(x) * 3] = std::uint8_t(std::clamp(40 + 180 * x / kWidth + noise, 0, 255));
        rgb[std::size_t(x) * 3 + 1] = std::uint8_t(std::clamp(90 + 120 * y / kHeight + noise, 0, 255));
        rgb[std::size_t(x) * 3 + 2] =
            std::uint8_t(std::clamp(int(128 + 80 * std::sin(x / 90.0) * std::cos(y / 70.0)) + noise, 0, 255));
    }
}

std::string Folder() {
    const char* dir = std::getenv("QUIPIX_BENCH_DIR");
    return dir ? dir : (std::filesystem::temp_directory_path() / "quipix-bench-photos").string();
}

std::string JpegFile() {
    const std::string path = Folder() + "/photo48.jpg";
    if (std::filesystem::exists(path)) return path;
    std::filesystem::create_directories(Folder());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<std::uint8_t> row(std::size_t(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
        PhotoRow(y, row);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return path;
}

std::string PngFile() {
    const std::string path = Folder() + "/photo48.png";
    if (std::filesystem::exists(path)) return path;
    std::filesystem::create_directories(Folder());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<std::uint8_t> row(std::size_t(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
        PhotoRow(y, row);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return path;
}

int ScreenWidth(const benchmark::State& s) { return s.range(0) == 1080 ? 1920 : 3840; }
int ScreenHeight(const benchmark::State& s) { return s.range(0) == 1080 ? 1080 : 2160; }

// What the saver does to show its background: the load, then the stretch onto the
// screen. range(1) 0 reads at full size, as before pictures were read to size.
void BM_SaverBackground(benchmark::State& state, const std::string& path) {
    const int w = ScreenWidth(state), h = ScreenHeight(state);
    const bool toSize = state.range(1) != 0;
    for (auto _ : state) {
        TPixelGraphic picture, scene;
        LoadBackgroundPicture(picture, path, toSize ? w : 0, toSize ? h : 0);
        scene.SetSize(w, h, pgpf24Bit);
        DrawBackground(scene, background_type::Picture, 0, 0, 0, false, picture);
        benchmark::DoNotOptimize(scene.Buffer());
    }
}
BENCHMARK_CAPTURE(BM_SaverBackground, jpeg, JpegFile())
    ->Args({1080, 1})
    ->Args({2160, 1})
    ->Args({1080, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaverBackground, png, PngFile())
    ->Args({1080, 1})
    ->Args({1080, 0})
    ->Unit(benchmark::kMillisecond);

// Bare libjpeg at the same DCT scaling, rows decoded into one buffer and dropped.
void BM_LibjpegScaled(benchmark::State& state) {
    const std::string path = JpegFile();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        jpeg_decompress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_decompress(&c);
        jpeg_stdio_src(&c, f);
        jpeg_read_header(&c, TRUE);
        c.scale_num = 1;
        c.scale_denom = unsigned(state.range(0) == 1080 ? 4 : 2);
        c.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&c);
        std::vector<std::uint8_t> rows(std::size_t(c.output_width) * 3 * 16);
        JSAMPROW p[16];
        for (int i = 0; i < 16; ++i) p[i] = rows.data() + std::size_t(i) * c.output_width * 3;
        while (c.output_scanline < c.output_height) jpeg_read_scanlines(&c, p, 16);
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        std::fclose(f);
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_LibjpegScaled)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);

// Bare libpng, every row decoded into one buffer and dropped.
void BM_LibpngRows(benchmark::State& state) {
    const std::string path = PngFile();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_read_info(png, info);
        png_set_bgr(png);
        png_read_update_info(png, info);
        std::vector<std::uint8_t> row(png_get_rowbytes(png, info));
        for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
            png_read_row(png, row.data(), nullptr);
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        benchmark::DoNotOptimize(row.data());
    }
}
BENCHMARK(BM_LibpngRows)->Unit(benchmark::kMillisecond);

// The open dialog's preview of the photo (229 x 173, as at 96 dpi).
void BM_OpenDialogPreview(benchmark::State& state) {
    const std::string path = JpegFile();
    for (auto _ : state) {
        PicturePreview preview;
        MakePicturePreview(preview, path, 229, 173, smPrecise);
        benchmark::DoNotOptimize(preview.Picture.Buffer());
    }
}
BENCHMARK(BM_OpenDialogPreview)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quipix
