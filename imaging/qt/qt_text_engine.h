// The Qt text engine: lays text out with QTextLayout and renders an 8-bit coverage
// mask with QPainter. Needs a QGuiApplication, and is used on the GUI thread only
// (fonts and the layout caches are not shared between threads).
#pragma once

namespace quipix {

// Installs the Qt engine as the process-wide text engine (see text_engine.h).
// dpi: logical dots per inch for points; 0 takes the primary screen's (96 without one).
void InstallQtTextEngine(double dpi = 0);

}  // namespace quipix
