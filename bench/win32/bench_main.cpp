// Benchmark entry of the Windows build: the Windows platform services and the GDI text
// engine at 96 dpi.
#include <benchmark/benchmark.h>

#include "win32/gdi_text_engine.h"
#include "win32/native.h"

int main(int argc, char** argv) {
    quipix::platform::InstallServices(quipix::platform::Win32Services());
    quipix::InstallGdiTextEngine(96);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
