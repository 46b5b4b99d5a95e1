// Benchmark entry of the Windows build: the GDI text engine at 96 dpi.
#include <benchmark/benchmark.h>

#include "win32/gdi_text_engine.h"

int main(int argc, char** argv) {
    quipix::InstallGdiTextEngine(96);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
