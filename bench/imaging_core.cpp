// The pixel image's per-tick work at full-screen sizes: strip and tile copies,
// stretched backgrounds, the palette-mode colour reduction and the cross-fade loop.
// Pictures are photo-like: smooth gradients, noise and a few hard-edged shapes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "imaging/pixel_graphic.h"
#include "saver/engine.h"

namespace quipix {
namespace {

void MakePhoto(TPixelGraphic& g, int w, int h, unsigned seed) {
    g.SetSize(w, h, pgpf24Bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = g.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const int noise = int(rng() % 17) - 8;
            int r = 40 + 180 * x / w + noise, gr = 90 + 120 * y / h + noise / 2,
                b = 200 - 150 * (x + y) / (w + h) - noise;
            // A sun, a dark band and a bright block with hard edges.
            const int dx = x - w / 3, dy = y - h / 4;
            if (dx * dx + dy * dy < (h / 8) * (h / 8)) r = 250, gr = 220 + noise, b = 90;
            if (y > h * 2 / 3 && y < h * 2 / 3 + h / 20) r /= 3, gr /= 3, b /= 3;
            if (x > w * 3 / 4 && x < w * 7 / 8 && y > h / 2 && y < h * 5 / 6)
                r = 30, gr = 160, b = 60 + noise;
            p[0] = std::uint8_t(std::clamp(b, 0, 255));
            p[1] = std::uint8_t(std::clamp(gr, 0, 255));
            p[2] = std::uint8_t(std::clamp(r, 0, 255));
        }
    }
}

int W(const benchmark::State& s) { return s.range(0) == 0 ? 1920 : 3840; }
int H(const benchmark::State& s) { return s.range(0) == 0 ? 1080 : 2160; }

void BM_CopyRectStrip(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, W(state), H(state), 1);
    dst.SetSize(1728, 200, pgpf24Bit);
    for (auto _ : state) {
        dst.CopyRect(0, 0, src, 96, H(state) / 2, 1728, 200);
        benchmark::DoNotOptimize(dst.Buffer());
    }
}
BENCHMARK(BM_CopyRectStrip)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_CopyRectWhole(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, W(state), H(state), 2);
    dst.SetSize(W(state), H(state), pgpf24Bit);
    for (auto _ : state) {
        dst.CopyRect(0, 0, src, 0, 0, W(state), H(state));
        benchmark::DoNotOptimize(dst.Buffer());
    }
}
BENCHMARK(BM_CopyRectWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StretchDown4KTo1080(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, 3840, 2160, 3);
    dst.SetSize(1920, 1080, pgpf24Bit);
    for (auto _ : state) {
        dst.AssignStretched(src);
        benchmark::DoNotOptimize(dst.Buffer());
    }
}
BENCHMARK(BM_StretchDown4KTo1080)->Unit(benchmark::kMillisecond);

void BM_StretchUp1080To4K(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, 1920, 1080, 4);
    dst.SetSize(3840, 2160, pgpf24Bit);
    for (auto _ : state) {
        dst.AssignStretched(src);
        benchmark::DoNotOptimize(dst.Buffer());
    }
}
BENCHMARK(BM_StretchUp1080To4K)->Unit(benchmark::kMillisecond);

void BM_OptimizedPalette236(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, W(state), H(state), 5);
    dst.SetSize(W(state), H(state), pgpf8Bit);
    for (auto _ : state) {
        dst.CreateOptimizedPalette(src, 236, false);
        benchmark::DoNotOptimize(dst.Palette().data());
    }
}
BENCHMARK(BM_OptimizedPalette236)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The colour reduction alone; each round starts from a fresh nearest-colour cache, as
// after a new palette.
void BM_DitherTo8Bit(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, W(state), H(state), 6);
    dst.SetSize(W(state), H(state), pgpf8Bit);
    dst.CreateOptimizedPalette(src, 236, false);
    for (auto _ : state) {
        dst.SetPaletteCount(dst.PaletteCount());  // drops the cache
        dst.AssignStretched(src);
        benchmark::DoNotOptimize(dst.Buffer());
    }
}
BENCHMARK(BM_DitherTo8Bit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What the saver does at the start of a palette-mode fade: palette, then reduction.
void BM_PaletteModeSnapshot(benchmark::State& state) {
    TPixelGraphic src, dst;
    MakePhoto(src, W(state), H(state), 7);
    dst.SetSize(W(state), H(state), pgpf8Bit);
    for (auto _ : state) {
        dst.CreateOptimizedPalette(src, 236, false);
        dst.AssignStretched(src);
        benchmark::DoNotOptimize(dst.Buffer());
    }
}
BENCHMARK(BM_PaletteModeSnapshot)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One cross-fade step of the saver: out = (clean * L + snap * (256 - L)) div 256 for
// every byte, through the engine's own loop, row by row as ScanLine gives the rows.
void BM_CrossFade(benchmark::State& state) {
    TPixelGraphic clean, snap, out;
    MakePhoto(clean, W(state), H(state), 8);
    MakePhoto(snap, W(state), H(state), 9);
    out.SetSize(W(state), H(state), pgpf24Bit);
    int level = 0;
    for (auto _ : state) {
        level = (level + 7) & 255;
        const std::size_t bytes = std::size_t(out.Width()) * 3;
        for (int y = 0; y < out.Height(); ++y)
            CrossFadeBytes(out.ScanLine(y), clean.ScanLine(y), snap.ScanLine(y), bytes, level);
        benchmark::DoNotOptimize(out.Buffer());
    }
}
BENCHMARK(BM_CrossFade)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quipix
