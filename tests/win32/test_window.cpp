// A stand-in for the display settings' preview area, for the system test: a plain
// borderless window at (x, y) of w x h, filled with magenta so that a preview drawn
// into it shows. It prints its handle as Windows passes it on a command line
// (decimal), destroys the window after the given seconds, and ends two seconds later,
// so that a preview can be seen to end with its parent while this process lives.
// Usage: quipix-test-window [seconds [x y w h]]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr UINT_PTR kDestroy = 1, kQuit = 2;

// Named: a lambda has no stdcall calling convention in a 32-bit build.
void CALLBACK Quit(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_TIMER:
        KillTimer(window, w);
        if (w == kDestroy) {
            SetTimer(nullptr, kQuit, 2000, &Quit);
            const BOOL destroyed = DestroyWindow(window);
            std::printf(destroyed ? "destroyed\n" : "not destroyed\n");
            std::fflush(stdout);
        }
        return 0;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(window, &r);
        HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
        FillRect(reinterpret_cast<HDC>(w), &r, magenta);
        DeleteObject(magenta);
        return 1;
    }
    default:
        return DefWindowProcW(window, message, w, l);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int x = argc > 5 ? std::atoi(argv[2]) : 40, y = argc > 5 ? std::atoi(argv[3]) : 40;
    const int width = argc > 5 ? std::atoi(argv[4]) : 320, height = argc > 5 ? std::atoi(argv[5]) : 240;
    WNDCLASSW c{};
    c.lpfnWndProc = Procedure;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"QuipixTestPreviewArea";
    RegisterClassW(&c);
    HWND window = CreateWindowExW(0, c.lpszClassName, L"Quipix test preview area",
                                  WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width, height, nullptr,
                                  nullptr, c.hInstance, nullptr);
    if (!window) return 1;
    std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window) & 0xFFFFFFFFu));
    std::fflush(stdout);
    SetTimer(window, kDestroy, UINT(seconds > 0 ? seconds : 1) * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
