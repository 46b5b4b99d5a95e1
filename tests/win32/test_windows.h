// A plain window for the Windows tests, and the skip of a test that needs windows
// where none can be made.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

namespace quipix::test {

inline constexpr COLORREF kParentColor = RGB(255, 0, 255);

// A plain top-level window of the given size, hidden unless asked.
class TestWindow {
public:
    TestWindow(int width, int height, DWORD style = WS_POPUP) {
        WNDCLASSW c{};
        c.lpfnWndProc = DefWindowProcW;
        c.hInstance = GetModuleHandleW(nullptr);
        c.hbrBackground = CreateSolidBrush(kParentColor);
        c.lpszClassName = L"QuipixTestWindow";
        RegisterClassW(&c);
        window_ = CreateWindowExW(0, c.lpszClassName, L"parent", style, 0, 0, width, height, nullptr, nullptr,
                                  c.hInstance, nullptr);
    }
    ~TestWindow() { Destroy(); }
    void Destroy() {
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
    }
    HWND get() const { return window_; }
    // Without a display (Wine with no X server) there are no windows to test with.
    static bool Possible() {
        static const bool possible = [] {
            TestWindow probe(10, 10);
            return probe.get() != nullptr;
        }();
        return possible;
    }

private:
    HWND window_ = nullptr;
};

}  // namespace quipix::test

#define QUIPIX_NEEDS_WINDOWS() \
    if (!::quipix::test::TestWindow::Possible()) GTEST_SKIP() << "no display: windows cannot be made"
