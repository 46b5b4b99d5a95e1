// The scene-host seam: what the animation engine needs of whatever shows its frames.
// The saver window, the preview, the --record driver, the tests and the benchmarks
// each implement it, so one engine runs unchanged in all of them.
//
// The engine owns every picture it shows and tells the host what to show as a frame
// (saver/scene_frame.h): which picture, where, over which fill, at which brightness.
// A host paints straight from the engine's picture, converting only the area that
// changed (FrameChanged); a full screen is never copied to be shown. A host that would
// rather keep a copy of its own implements ShowPicture and ShownPicture (and ShowBlack)
// instead, and the default FrameChanged keeps that copy up to date.
#pragma once

#include "imaging/pixel_graphic.h"
#include "saver/scene_frame.h"

namespace quipix {

// The tick intervals the engine asks for: speeds are per tick, so these set how fast
// the texts slide and the fades run.
inline constexpr int kFullScreenTickMs = 10;
inline constexpr int kPreviewTickMs = 100;  // the display settings' small preview

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
    // Timer1Timer once per tick, never re-entered. Between two ticks the host may ask
    // the engine's IdleTicks how many coming ticks only wait, sleep through them and
    // hand them back with SkipIdleTicks.
    virtual void StartTimer(int intervalMs) = 0;
    // Stops the ticks and closes the window, silently.
    virtual void StopAndClose() = 0;

    // --- called by the engine ---
    // Shows frame. The engine keeps frame.Picture alive and changes it only as it
    // tells through Repaint, until the next Show. changed, when given, is the only
    // part of the window that differs from the frame shown before.
    void Show(const TSceneFrame& frame) {
        frame_ = frame;
        FrameChanged({0, 0, Width(), Height()});
    }
    void Show(const TSceneFrame& frame, const TRect& changed) {
        frame_ = frame;
        FrameChanged(IntersectRect(changed, {0, 0, Width(), Height()}));
    }
    // The engine drew on the shown picture: area (window pixels) shows something new.
    void Repaint(const TRect& area) { FrameChanged(IntersectRect(area, {0, 0, Width(), Height()})); }
    // What the window shows.
    const TSceneFrame& Frame() const { return frame_; }

    // --- a host that keeps its own copy of what it shows ---
    // Takes a copy of picture and shows it; null shows nothing.
    virtual void ShowPicture(const TPixelGraphic*) {}
    // That copy, 24 bits, the window's size; null until one is made.
    virtual TPixelGraphic* ShownPicture() { return nullptr; }
    // Shows a black 24-bit picture of the given size, as ShowPicture of a fresh one
    // would; a host may make it in its own copy without a source of that size.
    virtual void ShowBlack(int width, int height) {
        TPixelGraphic black;
        black.SetSize(width, height, pgpf24Bit);
        ShowPicture(&black);
    }

protected:
    // Area (inside the window, perhaps empty) of Frame() is new: the host paints it,
    // now or with its next display frame. The default brings the copy of ShowPicture up
    // to date and reports the area through the copy's change notification.
    virtual void FrameChanged(const TRect& area);

private:
    TSceneFrame frame_;
};

}  // namespace quipix
