// The Qt text engine: lays text out with QTextLayout and renders an 8-bit coverage
// mask with QPainter. Needs a QGuiApplication, and is used on the GUI thread only
// (fonts and the layout caches are not shared between threads).
#pragma once

#include <memory>

class QScreen;

namespace quipix {

class TextEngine;

// A Qt engine of its own, not installed: a window on a screen of another DPI draws
// through it. dpi 0 takes the primary screen's logical DPI (96 without one).
std::shared_ptr<TextEngine> MakeQtTextEngine(double dpi);

// The pixels-per-inch for text on a picture in the screen's device pixels: its
// logical DPI times its device pixel ratio. 96 without a screen.
double ScreenTextDpi(const QScreen* screen);

// Installs the Qt engine as the process-wide text engine (see text_engine.h).
// dpi: logical dots per inch for points; 0 takes the primary screen's (96 without one).
void InstallQtTextEngine(double dpi = 0);

}  // namespace quipix
