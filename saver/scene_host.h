// The scene-host seam: what the animation engine needs of whatever shows its frames.
// The saver window, the preview, the --record driver, the tests and the benchmarks
// each implement it, so one engine runs unchanged in all of them.
#pragma once

#include "imaging/pixel_graphic.h"

namespace quipix {

class SceneHost {
public:
    virtual ~SceneHost() = default;

    // Size of the scene (the window's client area) and of the whole screen; the
    // ratio of the two scales the fonts in a preview.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    // Bits per pixel of the screen; 8 or less runs the limited mode.
    virtual int ColorDepth() const = 0;
    // True inside the display settings' small preview window.
    virtual bool IsPreview() const = 0;

    // Starts the ticks at the given interval; the host then calls the engine's
    // Timer1Timer once per tick, never re-entered.
    virtual void StartTimer(int intervalMs) = 0;
    // Stops the ticks and closes the window, silently.
    virtual void StopAndClose() = 0;

    // Hands a picture over: the host keeps its own copy and shows it. Null shows nothing.
    virtual void ShowPicture(const TPixelGraphic* picture) = 0;
    // The host's own copy, which the engine may draw on; the host shows its changes.
    // Valid until the next ShowPicture.
    virtual TPixelGraphic* ShownPicture() = 0;
    // Shows a black 24-bit picture of the given size, as ShowPicture of a fresh one
    // would; a host may make it in its own copy without a source of that size.
    virtual void ShowBlack(int width, int height) {
        TPixelGraphic black;
        black.SetSize(width, height, pgpf24Bit);
        ShowPicture(&black);
    }
};

}  // namespace quipix
