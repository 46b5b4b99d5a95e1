// The full-screen run that every front end plays the same way: one window per
// monitor (the primary first), each with a scene of its own at that monitor's size,
// sharing one set of closing rules; when one window closes, all close, and the run is
// over once the last has gone. A window may join or leave while the run goes on (a
// monitor plugged in or taken away) without ending the others.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "saver/closing_rules.h"

namespace quipix {

// The name the saver's error boxes carry.
inline constexpr char kSaverName[] = "Kelvara Jokes Screen Saver";
// The caption of every saver window, as the system's window lists show it (the
// trailing blank included: scripts that look for the saver's window match it).
inline constexpr char kSaverWindowTitle[] = "Full Screen - Screen Saver Window ";

// What the run needs of a saver window of any toolkit.
class SaverWindow {
public:
    virtual ~SaverWindow() = default;
    // Shows the window and sets its scene up; false when it cannot be shown.
    virtual bool Start() = 0;
    // Stops the ticks and closes the window, now or from the event loop; the window
    // calls OnClosed once it has closed.
    virtual void StopAndClose() = 0;
    virtual bool Closed() const = 0;

    // Called once, when the window has closed; the run it joins sets it.
    std::function<void()> OnClosed;
};

// A pointer position in screen coordinates, as the run's windows report its moves.
struct ScreenPoint {
    int x = 0, y = 0;
};

// Each monitor's scene is its own screen: its fonts keep their stored sizes, however
// the monitors differ from one another.
inline platform::ScreenInfo MonitorScreen(int width, int height, int colorDepth) {
    return {width, height, colorDepth};
}

class TSaverRun {
public:
    // ended runs once, when the run is over. pointer is where the pointer rests as the
    // saver starts, when the system can tell: a window appearing under it may report
    // a "move" there, which is none.
    explicit TSaverRun(std::function<void()> ended = {}, std::optional<ScreenPoint> pointer = {});
    // The windows hold on to the run's rules: a run stays where it was made.
    TSaverRun(const TSaverRun&) = delete;
    TSaverRun& operator=(const TSaverRun&) = delete;

    TClosingRules& Rules() { return rules_; }
    // Adds a window, whose close from now on goes to WindowClosed; once the run has
    // started it starts at once (not once the run is ending). Returns it.
    SaverWindow& Add(std::unique_ptr<SaverWindow> window);
    // Takes a window out without closing the others (its monitor has gone). True when
    // that leaves an ending run with every window closed: the run is over, as on the
    // last WindowClosed, which the window taken out will not call any more.
    bool Remove(const SaverWindow& window);
    // Starts every window, up to the first close; false when none could be shown, so
    // there is nothing to run.
    bool Start();
    // A window has closed: the others are asked to close. True on the one call after
    // which every window has closed (ended has run then), so the front end ends its
    // event loop once. Safe to call again from inside a window's StopAndClose.
    bool WindowClosed();
    bool Ending() const { return ending_; }
    // Every window has closed and WindowClosed has said so.
    bool Over() const { return over_; }
    std::size_t Count() const { return windows_.size(); }
    SaverWindow& Window(std::size_t i) const { return *windows_[i]; }

private:
    bool AllClosed() const;
    bool EndIfAllClosed();

    std::function<void()> ended_;
    TClosingRules rules_;
    std::vector<std::unique_ptr<SaverWindow>> windows_;
    bool started_ = false;
    bool ending_ = false;
    bool over_ = false;
};

// The allocator of a saver process: full-screen pictures come and go with the fade
// states, and each goes back to the system when it is freed (glibc only; elsewhere
// nothing changes).
void TuneAllocatorForPictures();

}  // namespace quipix
