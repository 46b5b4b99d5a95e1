// Benchmark entry: an offscreen QGuiApplication with the Qt platform services and text
// engine installed.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>

#include "qt/qt_text_engine.h"
#include "qt/services.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    quipix::platform::InstallServices(quipix::platform::QtServices());
    quipix::InstallQtTextEngine(96);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
