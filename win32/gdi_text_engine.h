// The GDI text engine: lays text out with DrawTextW and renders the coverage mask the
// canvas blends, through one memory DC and DIB section. Used on one thread.
#pragma once

#include <memory>

namespace quipix {

class TextEngine;

// A GDI engine of its own, not installed. dpi: dots per inch for points; 0 takes the
// screen's (96 when it reports none).
std::shared_ptr<TextEngine> MakeGdiTextEngine(int dpi);

// Installs the GDI engine as the process-wide text engine (see text_engine.h).
void InstallGdiTextEngine(int dpi = 0);

}  // namespace quipix
