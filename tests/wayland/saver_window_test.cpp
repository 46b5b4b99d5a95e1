// The Wayland saver window keeps the saver window contract on a compositor inside the
// test (fake_compositor.h): outputs side by side, the seat's events as a compositor
// sends them, and what each surface shows as the compositor was given it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "support/saver_window_contract.h"
#include "wayland/display.h"
#include "wayland/fake_compositor.h"
#include "wayland/saver_surface.h"

namespace quipix::test {
namespace {

constexpr int kWidth = 200, kHeight = 150, kGap = 10;
// Where the pointer first shows itself: over the first output, as the run starts.
constexpr ScreenPoint kStart{20, 20};

class WaylandSaverDriver {
public:
    static bool Possible() { return true; }
    void Open(int windows, EngineServices services, std::function<void(const std::string&)> showError) {
        compositor_ = std::make_unique<FakeCompositor>(windows, kWidth, kHeight, kGap);
        setenv("WAYLAND_SOCKET", std::to_string(compositor_->TakeClientSocket()).c_str(), 1);
        display_ = std::make_unique<TWaylandDisplay>();
        saver_ = std::make_unique<TWaylandSaverRun>(*display_, nullptr, std::move(services));
        ASSERT_TRUE(display_->Connect());
        ASSERT_TRUE(saver_->Start());
        for (int i = 0; i < windows; ++i) Window(i).ShowError = showError;
        // The configures that set the scenes up, then their first frames' commits.
        Sync();
        Sync();
        compositor_->PointerAt(0, kStart.x, kStart.y);
        Sync();
    }
    void Key(int) {
        Sent([](FakeCompositor& c) { c.Key(); });
    }
    void Press(int) {
        Sent([](FakeCompositor& c) { c.Button(true); });
    }
    void Release(int) {
        Sent([](FakeCompositor& c) { c.Button(false); });
    }
    void Move(int window, int x, int y) {
        Sent([&](FakeCompositor& c) { c.PointerAt(window, x - c.OutputX(window), y); });
    }
    ScreenPoint Pointer() { return kStart; }
    bool Closed(int window) { return Window(window).Closed(); }
    int Countdown() { return saver_->Run().Rules().MouseCountdown(); }
    const TPixelGraphic* Shown(int window) { return Window(window).Frame().Picture; }
    PGColor OnScreen(int window, int x, int y) {
        Window(window).Render();
        Sync();
        return PGColor(compositor_->Pixel(window, x, y));
    }
    bool TimerActive(int window) { return Window(window).TimerActive(); }
    TSaverEngine& Engine(int window) { return *Window(window).Engine(); }
    void Tick(int window) { Window(window).Tick(); }
    int Ended() { return saver_->Run().Over() ? 1 : 0; }

private:
    TWaylandSaverWindow& Window(int i) { return saver_->Window(std::size_t(i)); }
    // Everything sent so far has been handled on both sides.
    void Sync() { EXPECT_TRUE(display_->Roundtrip()); }
    template <class Send>
    void Sent(Send send) {
        send(*compositor_);
        Sync();
    }

    // The client goes before its compositor.
    std::unique_ptr<FakeCompositor> compositor_;
    std::unique_ptr<TWaylandDisplay> display_;
    std::unique_ptr<TWaylandSaverRun> saver_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Wayland, SaverWindowContract, WaylandSaverDriver);

}  // namespace
}  // namespace quipix::test
