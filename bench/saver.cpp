// The animation engine tick by tick at 1920 x 1080 and 3840 x 2160 over a stretched
// photo-like picture and over the default black background, including the conversion
// that presents each change: the changed rows of the frame into a 32-bit buffer of the
// window's size, as a saver window does on every platform, with the allocator tuned as
// the saver windows tune it, and the ticks 10 ms apart, as the saver's timer brings
// them. Each benchmark runs whole joke cycles and reports p50, p99 and max
// milliseconds per state as counters, and beside them the allocations and page faults
// per tick after the first joke: a steady tick has none, and the output says so when
// one does.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "saver/engine.h"
#include "saver/saver_run.h"

// Every allocation of the program is counted: the engine's pictures and buffers all
// come through operator new.
namespace {
std::atomic<long> allocations{0};
}
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace quipix {
namespace {

// Shows frames the way a saver window does: it keeps no copy, and converts the area
// of every change from the engine's picture into its 32-bit buffer.
class PresentingHost : public SceneHost {
public:
    PresentingHost(int w, int h) : w_(w), h_(h), buffer_(std::size_t(w) * std::size_t(h)) {}
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    int ScreenWidth() const override { return w_; }
    int ScreenHeight() const override { return h_; }
    int ColorDepth() const override { return 24; }
    bool IsPreview() const override { return false; }
    void StartTimer(int) override {}
    void StopAndClose() override { stopped_ = true; }
    bool stopped_ = false;

protected:
    void FrameChanged(const TRect& area) override {
        if (EmptyRect(area)) return;
        ConvertFrameRows(
            Frame(), area,
            reinterpret_cast<std::uint8_t*>(buffer_.data() + std::size_t(area.Top) * w_ + area.Left),
            std::size_t(w_) * 4);
    }

private:
    int w_, h_;
    std::vector<std::uint32_t> buffer_;
};

// A 24-bit BMP of smooth colour fields with fine grain: thousands of colours, as a
// photograph has, so palette reduction and dithering do real work.
std::string PhotoLikePicture() {
    static const std::string path = [] {
        const int w = 1600, h = 1200;
        const int stride = (w * 3 + 3) & ~3;
        std::vector<unsigned char> data(54 + std::size_t(stride) * h);
        auto put32 = [&](int at, unsigned v) {
            for (int i = 0; i < 4; ++i) data[std::size_t(at + i)] = (v >> (8 * i)) & 0xFF;
        };
        data[0] = 'B';
        data[1] = 'M';
        put32(2, unsigned(data.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, w);
        put32(22, h);
        data[26] = 1;
        data[28] = 24;
        put32(34, unsigned(stride * h));
        unsigned seed = 12345;
        for (int y = 0; y < h; ++y) {
            unsigned char* row = data.data() + 54 + std::size_t(stride) * (h - 1 - y);
            for (int x = 0; x < w; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int grain = int((seed >> 16) % 17) - 8;
                const double fx = x / double(w), fy = y / double(h);
                const int r = int(128 + 100 * std::sin(6.0 * fx + 2.0 * fy)) + grain;
                const int g = int(110 + 90 * std::sin(4.0 * fy - 3.0 * fx * fy)) + grain;
                const int b = int(120 + 110 * std::cos(5.0 * fx * fx + 3.0 * fy)) + grain;
                row[x * 3] = (unsigned char)std::clamp(b, 0, 255);
                row[x * 3 + 1] = (unsigned char)std::clamp(g, 0, 255);
                row[x * 3 + 2] = (unsigned char)std::clamp(r, 0, 255);
            }
        }
        const auto file = std::filesystem::temp_directory_path() / "quipix-bench-photo.bmp";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return file.string();
    }();
    return path;
}

// The saver's settings over the photo, or over the default solid black background.
EngineServices BenchServices(int fadeMode, bool photo = true) {
    EngineServices s;
    s.loadSettings = [fadeMode, photo] {
        TSettings t;
        t.Speed = 5;
        t.FadeMode = fadeMode;
        if (photo) {
            t.BackgroundType = background_type::Picture;
            t.Bitmap = PhotoLikePicture();
        }
        t.Question = {.Face = "Arial", .Color = 255, .Size = 24, .Speed = 5, .Bold = true, .ThreeD = true};
        t.Answer = t.Question;
        t.Answer.Color = 0xFF0000;
        Settings = t;
    };
    s.nextJoke = [] {
        Settings.CurrentQuestion = "Why did the scarecrow win an award for his work in the fields?";
        Settings.CurrentAnswer = "Because he was outstanding in his field.\r\nEvery single day.";
    };
    s.random = [seed = 1u](std::uint32_t n) mutable {
        seed = seed * 134775813u + 1u;
        return std::uint32_t((std::uint64_t(n) * seed) >> 32);
    };
    return s;
}

// CPU time of this thread: on a machine shared with other work a tick's wall time
// also counts the time other processes had the core.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long MinorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

double Percentile(std::vector<double>& v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void BM_JokeCycle(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const int fadeMode = int(state.range(2));
    const bool photo = state.range(3) != 0;
    TuneAllocatorForPictures();
    PresentingHost host(w, h);
    TSaverEngine engine(host, BenchServices(fadeMode, photo));
    engine.SetUpScene();
    std::map<int, std::vector<double>> ticks, cpu;
    // Per state: steady ticks (from the fifth joke on: by then every kept picture has
    // reached the size it keeps needing), and the allocations and page faults they made.
    std::map<int, long> steadyTicks, steadyAllocs, steadyFaults;
    int jokes = 0;
    // Ticks come every interval as the saver's timer brings them, with the process
    // asleep in between: caches go cold and the core slows meanwhile, which makes a
    // slide tick cost about three times what it costs back to back.
    auto next = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const bool steady = ++jokes > 4;
        // From the current state round to the same point of the next joke.
        bool faded = false;
        for (int i = 0; i < 100000; ++i) {
            const int s = engine.AnimationState();
            if (s == TSaverEngine::NewJoke && faded) break;
            if (s >= TSaverEngine::HomePageInCorner) faded = true;  // the fades follow the answer
            std::this_thread::sleep_until(next);
            next = std::max(next + std::chrono::milliseconds(kFullScreenTickMs),
                            std::chrono::steady_clock::now());
            const long a0 = allocations.load(std::memory_order_relaxed), f0 = MinorFaults();
            const double c0 = ThreadCpuMs();
            const auto t0 = std::chrono::steady_clock::now();
            engine.Timer1Timer();
            const auto t1 = std::chrono::steady_clock::now();
            const double c1 = ThreadCpuMs();
            // Read before the bookkeeping below, which allocates itself.
            const long a1 = allocations.load(std::memory_order_relaxed), f1 = MinorFaults();
            cpu[s].push_back(c1 - c0);
            if (steady) {
                ++steadyTicks[s];
                steadyAllocs[s] += a1 - a0;
                steadyFaults[s] += f1 - f0;
            }
            ticks[s].push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        if (host.stopped_) state.SkipWithError("the engine stopped");
    }
    std::fprintf(
        stderr,
        "\n%dx%d %s over %s: state ticks | wall p50 p99 max | cpu p50 p99 max (ms) | steady allocations "
        "and page faults per tick\n",
        w, h, fadeMode == fade_mode::FadeInPlace ? "fade in place" : "fade to black",
        photo ? "a photo" : "black");
    for (auto& [s, v] : ticks) {
        const double p50 = Percentile(v, 0.5), p99 = Percentile(v, 0.99), max = v.back();
        std::vector<double>& c = cpu[s];
        const double c50 = Percentile(c, 0.5), c99 = Percentile(c, 0.99), cmax = c.back();
        const double n = double(std::max(1L, steadyTicks[s]));
        const double allocs = double(steadyAllocs[s]) / n, faults = double(steadyFaults[s]) / n;
        std::fprintf(stderr, "  state %2d %6zu | %7.2f %7.2f %7.2f | %7.2f %7.2f %7.2f | %6.2f %8.2f%s\n", s,
                     v.size(), p50, p99, max, c50, c99, cmax, allocs, faults,
                     allocs > 0 ? "  <- allocates in a steady tick" : "");
        char name[32];
        std::snprintf(name, sizeof name, "s%02d_p50", s);
        state.counters[name] = p50;
        std::snprintf(name, sizeof name, "s%02d_p99", s);
        state.counters[name] = p99;
        std::snprintf(name, sizeof name, "s%02d_max", s);
        state.counters[name] = max;
        std::snprintf(name, sizeof name, "s%02d_cpu_max", s);
        state.counters[name] = cmax;
        std::snprintf(name, sizeof name, "s%02d_allocs", s);
        state.counters[name] = allocs;
        std::snprintf(name, sizeof name, "s%02d_faults", s);
        state.counters[name] = faults;
    }
}

BENCHMARK(BM_JokeCycle)
    ->ArgNames({"w", "h", "fadeMode", "photo"})
    ->Args({1920, 1080, fade_mode::FadeToBlack, 1})
    ->Args({1920, 1080, fade_mode::FadeInPlace, 1})
    ->Args({1920, 1080, fade_mode::FadeToBlack, 0})
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JokeCycle)
    ->ArgNames({"w", "h", "fadeMode", "photo"})
    ->Args({3840, 2160, fade_mode::FadeToBlack, 1})
    ->Args({3840, 2160, fade_mode::FadeInPlace, 1})
    ->Args({3840, 2160, fade_mode::FadeToBlack, 0})
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond);

// Setting the scene up: picture load, stretch and the clean copy, up to the first
// tick that shows the scene (the picture is made on a worker thread meanwhile).
void BM_SetUpScene(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    for (auto _ : state) {
        PresentingHost host(w, h);
        TSaverEngine engine(host, BenchServices(0));
        engine.SetUpScene();
        while (engine.AnimationState() != TSaverEngine::FadeIn) engine.Timer1Timer();
    }
}
BENCHMARK(BM_SetUpScene)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quipix
