// Text drawing as the saver does it every tick (three layers of a three-line joke
// into a strip), and the image control's conversion of a changed area.
#include <benchmark/benchmark.h>

#include <QImage>

#include "imaging/canvas.h"
#include "imaging/pixel_graphic.h"
#include "qt/pg_image.h"

namespace quipix {
namespace {

// Smooth colour ramps with some texture, like a photo background.
void FillPhotoLike(TPixelGraphic& g) {
    for (int y = 0; y < g.Height(); ++y) {
        std::uint8_t* row = g.ScanLine(y);
        for (int x = 0; x < g.Width(); ++x) {
            row[x * 3 + 0] = std::uint8_t((x * 255 / std::max(1, g.Width())) ^ (y & 7));
            row[x * 3 + 1] = std::uint8_t((y * 255 / std::max(1, g.Height())) + ((x * y) & 15));
            row[x * 3 + 2] = std::uint8_t(((x + y) / 5) & 0xFF);
        }
    }
}

constexpr const char* kJoke =
    "Why did the scarecrow win an award?\r\nBecause he was outstanding\r\nin his field.";

void DrawLayers(TPixelGraphic& strip, const std::string& text, int width, int height) {
    TPGCanvas& c = strip.Canvas();
    const unsigned flags = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    TRect dark{0, 0, width, height}, light{2, 2, width + 2, height + 2}, face{1, 1, width + 1, height + 1};
    c.Font.Color = PGRGB(128, 0, 0);
    c.DrawText(text, dark, flags);
    c.Font.Color = PGRGB(255, 76, 76);
    c.DrawText(text, light, flags);
    c.Font.Color = PGRGB(255, 0, 0);
    c.DrawText(text, face, flags);
}

struct Strip {
    TPixelGraphic background, strip;
    Strip() {
        background.SetSize(1728, 200, pgpf24Bit);
        FillPhotoLike(background);
        strip.SetSize(1728, 200, pgpf24Bit);
        TPGCanvas& c = strip.Canvas();
        c.Font.Name = "Arial";
        c.Font.Size = 32;
        c.Font.Bold = true;
        c.Brush.Style = TBrushStyle::Clear;
    }
};

// The saver's tick: restore the strip from the background, draw the three layers.
void BM_JokeText3D(benchmark::State& state) {
    Strip s;
    for (auto _ : state) {
        s.strip.Canvas().Draw(0, 0, s.background);
        DrawLayers(s.strip, kJoke, 1728, 200);
        benchmark::DoNotOptimize(s.strip.ScanLine(0));
    }
}
BENCHMARK(BM_JokeText3D)->Unit(benchmark::kMillisecond);

// A new joke every time: layout and rasterising included (the first tick of a joke).
void BM_JokeText3DNewText(benchmark::State& state) {
    Strip s;
    int n = 0;
    for (auto _ : state) {
        s.strip.Canvas().Draw(0, 0, s.background);
        DrawLayers(s.strip, std::string(kJoke) + std::to_string(n++), 1728, 200);
        benchmark::DoNotOptimize(s.strip.ScanLine(0));
    }
}
BENCHMARK(BM_JokeText3DNewText)->Unit(benchmark::kMillisecond);

void BM_ImageControlConvert(benchmark::State& state) {
    TPixelGraphic picture;
    picture.SetSize(1920, 1080, pgpf24Bit);
    FillPhotoLike(picture);
    QImage display;
    ConvertPixelGraphicArea(picture, display, 0, 0, 1920, 1080);
    const int w = int(state.range(0)), h = int(state.range(1));
    const int left = (1920 - w) / 2, top = 1080 - h;
    for (auto _ : state) {
        ConvertPixelGraphicArea(picture, display, left, top, left + w, top + h);
        benchmark::DoNotOptimize(display.constBits());
    }
}
BENCHMARK(BM_ImageControlConvert)->Args({1920, 1080})->Args({1728, 200})->Unit(benchmark::kMillisecond);

void BM_ImageControlConvert8Bit(benchmark::State& state) {
    TPixelGraphic picture;
    picture.SetSize(1920, 1080, pgpf8Bit);
    picture.SetPaletteIdent(pGray256);
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x) picture.ScanLine(y)[x] = std::uint8_t(x ^ y);
    QImage display;
    for (auto _ : state) {
        ConvertPixelGraphicArea(picture, display, 0, 0, 1920, 1080);
        benchmark::DoNotOptimize(display.constBits());
    }
}
BENCHMARK(BM_ImageControlConvert8Bit)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quipix
