// The GDI text engine: lays text out with DrawTextW and renders the coverage mask the
// canvas blends, through one memory DC and DIB section per DPI. Used on one thread.
#pragma once

#include <memory>

namespace quipix {

class TextEngine;

// A GDI engine of its own, not installed. dpi: dots per inch for points; 0 takes the
// screen's (96 when it reports none).
std::shared_ptr<TextEngine> MakeGdiTextEngine(int dpi);

// Installs the GDI engine as the process-wide text engine (see text_engine.h), laying
// text out at dpi (0: the screen's) unless a ScopedTextDpi says otherwise.
void InstallGdiTextEngine(int dpi = 0);

// While one lives, the installed GDI engine lays text out at dpi: a saver window's
// scene is drawn at its own monitor's DPI. 0 means the engine's own. Scopes nest; on
// the engine's thread only. With another engine installed it does nothing.
class ScopedTextDpi {
public:
    explicit ScopedTextDpi(int dpi);
    ~ScopedTextDpi();
    ScopedTextDpi(const ScopedTextDpi&) = delete;
    ScopedTextDpi& operator=(const ScopedTextDpi&) = delete;

private:
    bool active_ = false;
    int previous_ = 0;
};

}  // namespace quipix
