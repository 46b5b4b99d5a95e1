#include "saver/saver_run.h"

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quipix {

TSaverRun::TSaverRun(std::function<void()> ended, std::optional<ScreenPoint> pointer)
    : ended_(std::move(ended)) {
    if (pointer) rules_.PointerAt(pointer->x, pointer->y);
}

SaverWindow& TSaverRun::Add(std::unique_ptr<SaverWindow> window) {
    SaverWindow& added = *window;
    added.OnClosed = [this] { WindowClosed(); };
    windows_.push_back(std::move(window));
    if (started_ && !ending_) added.Start();
    return added;
}

bool TSaverRun::Remove(const SaverWindow& window) {
    std::erase_if(windows_, [&](const auto& w) { return w.get() == &window; });
    return ending_ && EndIfAllClosed();
}

bool TSaverRun::Start() {
    started_ = true;
    bool shown = false;
    // Indexed: a window's start may add another (a monitor found meanwhile). A window
    // that closes while it starts ends the run: the rest are not shown.
    for (std::size_t i = 0; i < windows_.size() && !ending_; ++i) shown = windows_[i]->Start() || shown;
    return shown;
}

bool TSaverRun::WindowClosed() {
    if (!ending_) {
        ending_ = true;
        for (std::size_t i = 0; i < windows_.size(); ++i)
            if (!windows_[i]->Closed()) windows_[i]->StopAndClose();
    }
    // A window closing from inside the loop above has come back here already, and
    // may have found the last one closed.
    return EndIfAllClosed();
}

bool TSaverRun::EndIfAllClosed() {
    if (over_ || !AllClosed()) return false;
    over_ = true;
    if (ended_) ended_();
    return true;
}

bool TSaverRun::AllClosed() const {
    return std::all_of(windows_.begin(), windows_.end(), [](const auto& w) { return w->Closed(); });
}

void TuneAllocatorForPictures() {
#if defined(__GLIBC__)
    // By default glibc serves a size it has once freed from its heap afterwards, which
    // keeps the memory when it is freed again; with a fixed threshold every picture is
    // mapped on its own and unmapped when it is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

}  // namespace quipix
