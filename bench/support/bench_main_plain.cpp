// Benchmark entry without Qt (the Windows build): the GDI text engine at 96 dpi.
#include <benchmark/benchmark.h>

#ifdef QUIPIX_HAVE_GDI_TEXT
#include "imaging/win32/gdi_text_engine.h"
#endif

int main(int argc, char** argv) {
#ifdef QUIPIX_HAVE_GDI_TEXT
    quipix::InstallGdiTextEngine(96);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
