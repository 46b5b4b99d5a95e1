// The Windows front end against real windows (Wine's or Windows' own): window
// handles on the command line, the preview's life inside its parent, the saver
// window contract, the picture open dialog's size and the dialog fonts' faces, the
// bundled jokes and help topics written out of the executable, and the resources
// Windows reads of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_program.h"
#include "common/settings.h"
#include "saver/closing_rules.h"
#include "support/saver_window_contract.h"
#include "support/test_support.h"
#include "test_windows.h"
#include "win32/native.h"
#include "win32/open_dialog_hook.h"
#include "win32/owner_draw.h"
#include "win32/saver_window.h"

namespace quipix {
namespace {

namespace fs = std::filesystem;
using namespace test;  // the saver window contract
using platform::win32::HwndFromId;
using platform::win32::IdFromHwnd;

// Runs the messages already queued, and those the timers bring within limitMs.
void PumpMessages(int limitMs, const std::function<bool()>& done) {
    const ULONGLONG end = GetTickCount64() + ULONGLONG(limitMs);
    MSG msg;
    while (!done() && GetTickCount64() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Defaults, over the vertical gradient, which differs from row to row.
EngineServices QuietServices() {
    return {[] {
                Settings = TSettings{};
                Settings.BackgroundType = background_type::Gradient;
            },
            [] {
                Settings.CurrentQuestion = "Q";
                Settings.CurrentAnswer = "A";
            },
            [](std::uint32_t) { return 0u; }};
}

TEST(WindowHandleArguments, RealHandlesSurviveTheCommandLine) {
    QUIPIX_NEEDS_WINDOWS();
    TestWindow parent(200, 150);
    ASSERT_NE(parent.get(), nullptr);
    const unsigned long value = static_cast<unsigned long>(IdFromHwnd(parent.get()));
    // Windows passes the handle in decimal, after a blank or a colon.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"/p", std::to_string(value)}, {"/p:" + std::to_string(value)}, {"/P", std::to_string(value)}}) {
        ParseCommandLine(args);
        EXPECT_EQ(RunMode, Preview) << args[0];
        EXPECT_EQ(HwndFromId(ParentWindow), parent.get()) << args[0];
    }
    platform::WindowRect rect;
    ASSERT_TRUE(platform::GetWindowRect(ParentWindow, rect));
    EXPECT_EQ(rect.Width(), 200);
    EXPECT_EQ(rect.Height(), 150);
    parent.Destroy();
    EXPECT_FALSE(platform::GetWindowRect(ParentWindow, rect));
}

TEST(WindowHandleArguments, OnlyAParentAsLargeAsTheScreenRunsFullScreen) {
    QUIPIX_NEEDS_WINDOWS();
    const platform::ScreenInfo screen = platform::PrimaryScreen();
    struct Case {
        int width, height;
        std::int32_t mode;
    };
    for (const Case& c :
         {Case{screen.Width, screen.Height, FullScreen}, Case{screen.Width - 1, screen.Height, Preview},
          Case{screen.Width, screen.Height - 1, Preview}}) {
        TestWindow parent(c.width, c.height);
        ASSERT_NE(parent.get(), nullptr);
        ParseCommandLine({"/p", std::to_string(IdFromHwnd(parent.get()))});
        ApplyPreviewEqualsScreen();
        EXPECT_EQ(RunMode, c.mode) << c.width << " x " << c.height;
    }
}

TEST(PreviewWindow, FillsItsParentAndEndsWithIt) {
    QUIPIX_NEEDS_WINDOWS();
    TestWindow parent(160, 120, WS_POPUP | WS_VISIBLE);
    ASSERT_NE(parent.get(), nullptr);
    TClosingRules rules;
    win32::TfrmFullScreen preview(parent.get(), rules, QuietServices());
    std::vector<std::string> errors;
    preview.ShowError = [&](const std::string& e) { errors.push_back(e); };
    bool closed = false;
    preview.OnClosed = [&] { closed = true; };
    ASSERT_TRUE(preview.Start());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(GetParent(preview.Handle()), parent.get());
    EXPECT_TRUE(preview.IsPreview());
    EXPECT_EQ(preview.Width(), 160);
    EXPECT_EQ(preview.Height(), 120);
    // No input ever reaches it.
    EXPECT_FALSE(IsWindowEnabled(preview.Handle()));
    // Past the first fade-in from black.
    PumpMessages(3000, [&] {
        return preview.ShownPicture() && preview.ShownPicture()->PixelFormat() == pgpf24Bit &&
               preview.ShownPicture()->Pixels(0, 0) != 0;
    });
    const TPixelGraphic* shown = preview.ShownPicture();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Width(), 160);
    EXPECT_EQ(shown->Height(), 120);
    // What the window shows is the picture, over the parent's own colour.
    UpdateWindow(preview.Handle());
    HDC dc = GetDC(preview.Handle());
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{80, 60}, std::pair{159, 119}}) {
        const COLORREF pixel = GetPixel(dc, x, y);
        EXPECT_NE(pixel, kParentColor) << x << "," << y;
        EXPECT_EQ(pixel, shown->Pixels(x, y)) << x << "," << y;
    }
    ReleaseDC(preview.Handle(), dc);
    parent.Destroy();
    PumpMessages(2000, [&] { return closed; });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(preview.Closed());
}

TEST(PreviewWindow, AParentThatIsGoneStartsNothing) {
    HWND gone;
    {
        TestWindow parent(100, 100);
        gone = parent.get();
    }
    TClosingRules rules;
    win32::TfrmFullScreen preview(gone, rules, QuietServices());
    EXPECT_FALSE(preview.Start());
    EXPECT_TRUE(preview.Closed());
}

// Full-screen windows of a run, side by side at the top left of the screen, driven
// by the messages the system sends. The cursor is moved to the far corner first, so
// that no real pointer movement reaches the windows while a test runs.
class Win32SaverDriver {
public:
    static bool Possible() { return TestWindow::Possible(); }
    ~Win32SaverDriver() {
        run_.reset();
        Pump();
    }
    void Open(int windows, EngineServices services, std::function<void(const std::string&)> showError) {
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        for (int i = 0; i < windows; ++i) monitors_.push_back(RECT{i * 210, 0, i * 210 + 200, 150});
        run_ = win32::MakeScreenRun(monitors_, services, [this] { ++ended_; });
        for (int i = 0; i < windows; ++i) Form(i).ShowError = showError;
        ASSERT_TRUE(run_->Start());
        Pump();
    }
    void Key(int window) { Send(window, WM_KEYDOWN, VK_SHIFT, 0); }
    void Press(int window) { Send(window, WM_RBUTTONDOWN, MK_RBUTTON, 0); }
    void Release(int window) { Send(window, WM_LBUTTONUP, 0, 0); }
    void Move(int window, int x, int y) {
        // In client coordinates, as the message carries them.
        const RECT& m = monitors_[std::size_t(window)];
        Send(window, WM_MOUSEMOVE, 0, MAKELPARAM(x - m.left, y - m.top));
    }
    ScreenPoint Pointer() {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }
    // The windows close from the message loop.
    bool Closed(int window) {
        Pump();
        return Form(window).Closed();
    }
    int Countdown() { return run_->Rules().MouseCountdown(); }
    const TPixelGraphic* Shown(int window) { return Form(window).ShownPicture(); }
    PGColor OnScreen(int window, int x, int y) {
        HWND h = Form(window).Handle();
        UpdateWindow(h);
        HDC dc = GetDC(h);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(h, dc);
        return PGColor(c);
    }
    bool TimerActive(int window) { return Form(window).TimerActive(); }
    TSaverEngine& Engine(int window) { return *Form(window).Engine(); }
    void Tick(int window) { Send(window, WM_TIMER, 1, 0); }
    int Ended() { return ended_; }

private:
    win32::TfrmFullScreen& Form(int window) {
        return static_cast<win32::TfrmFullScreen&>(run_->Window(std::size_t(window)));
    }
    void Send(int window, UINT message, WPARAM w, LPARAM l) {
        SendMessageW(Form(window).Handle(), message, w, l);
    }
    // Runs what is queued, without waiting for timers.
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    std::vector<RECT> monitors_;
    std::unique_ptr<TSaverRun> run_;
    int ended_ = 0;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, SaverWindowContract, Win32SaverDriver);

// What the picture open dialog looked like at each step of the test below.
struct OpenDialogSeen {
    int step = 0;
    bool resizable = false, fits = false;
    RECT frame{}, work{};
    int stripWidth[2] = {0, 0};
    bool stripAtRight[2] = {false, false};
};
OpenDialogSeen gOpenDialogSeen;
constexpr const wchar_t* kOpenDialogTitle = L"Quipix open dialog test";

void CALLBACK LookAtOpenDialog(HWND, UINT, UINT_PTR, DWORD) {
    OpenDialogSeen& seen = gOpenDialogSeen;
    const HWND dialog = FindWindowW(nullptr, kOpenDialogTitle);
    // The hook's child dialog holds the strip.
    const HWND strip = dialog ? FindWindowExW(dialog, nullptr, L"#32770", nullptr) : nullptr;
    if (!strip || !GetWindow(strip, GW_CHILD) || seen.step > 1) return;
    RECT client{}, place{};
    GetClientRect(dialog, &client);
    GetWindowRect(strip, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    seen.stripWidth[seen.step] = place.right - place.left;
    seen.stripAtRight[seen.step] = place.right == client.right && place.top == 0 && place.bottom == client.bottom;
    GetWindowRect(dialog, &seen.frame);
    if (seen.step == 0) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
        seen.work = monitor.rcWork;
        seen.resizable = (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_THICKFRAME) != 0;
        seen.fits = seen.frame.left >= seen.work.left && seen.frame.top >= seen.work.top &&
                    seen.frame.right <= seen.work.right && seen.frame.bottom <= seen.work.bottom;
        // Larger by what the user might drag it.
        SetWindowPos(dialog, nullptr, 0, 0, seen.frame.right - seen.frame.left + 60,
                     seen.frame.bottom - seen.frame.top + 40, SWP_NOMOVE | SWP_NOZORDER);
    } else {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    ++seen.step;
}

TEST(PictureOpenDialog, FitsItsMonitorAndKeepsItsStripAtTheRightEdgeWhenResized) {
    QUIPIX_NEEDS_WINDOWS();
    gOpenDialogSeen = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, LookAtOpenDialog);
    const auto chosen = win32::RunPictureOpenDialog(nullptr, kOpenDialogTitle,
                                                    platform::win32::Widen(DataPath("png")));
    KillTimer(nullptr, timer);
    const OpenDialogSeen& seen = gOpenDialogSeen;
    EXPECT_FALSE(chosen);
    ASSERT_EQ(seen.step, 2) << "the dialog was not seen";
    EXPECT_TRUE(seen.resizable);
    EXPECT_TRUE(seen.fits);
    EXPECT_TRUE(seen.stripAtRight[0]);
    EXPECT_TRUE(seen.stripAtRight[1]);
    EXPECT_GT(seen.stripWidth[0], 0);
    EXPECT_EQ(seen.stripWidth[1], seen.stripWidth[0]);
}

TEST(DialogFonts, MsSansSerifIsItsOutlineTwinAboveStandardDpi) {
    // Every face of the dialog, as it asks for it (Wine has none of them installed).
    for (const FontLook& look : kDialogFonts) {
        const bool bitmap = look.Family == "MS Sans Serif";
        EXPECT_EQ(win32::FamilyAt(look, 96), look.Family);
        for (int dpi : {120, 144, 192})
            EXPECT_EQ(win32::FamilyAt(look, dpi), bitmap ? "Microsoft Sans Serif" : look.Family) << dpi;
    }
}

TEST(SystemLibraries, AreLoadedFromTheSystemFolderByFullPath) {
    EXPECT_EQ(platform::win32::SystemLibraryPath(L"C:\\Windows\\system32", L"MPR.DLL"),
              L"C:\\Windows\\system32\\MPR.DLL");
    EXPECT_EQ(platform::win32::SystemLibraryPath(L"C:\\", L"PASSWORD.CPL"), L"C:\\PASSWORD.CPL");
    // NT family: closing never asks for a password.
    EXPECT_TRUE(platform::VerifyScreenSavePassword(0));
}

// Quipix.scr beside this test program or a few folders up (the build folder).
fs::path FindSaverExecutable() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    fs::path folder = fs::path(std::wstring(self, n)).parent_path();
    for (int up = 0; up < 4; ++up, folder = folder.parent_path()) {
        std::error_code ec;
        if (fs::is_regular_file(folder / L"Quipix.scr", ec)) return folder / L"Quipix.scr";
    }
    return {};
}

std::string FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Quipix.scr as a data file, for its resources.
class SaverModule {
public:
    SaverModule() {
        const fs::path saver = FindSaverExecutable();
        if (!saver.empty())
            module_ = LoadLibraryExW(saver.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    ~SaverModule() {
        if (module_) FreeLibrary(module_);
    }
    SaverModule(const SaverModule&) = delete;
    SaverModule& operator=(const SaverModule&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

// A copied Quipix.scr writes out exactly the jokes and help topics of the tree it was
// built from, byte for byte.
TEST(BundledFiles, AreTheJokesAndHelpTopicsOfTheTree) {
    const SaverModule saver;
    if (!saver.get()) GTEST_SKIP() << "Quipix.scr is not built";
    for (const auto* kind : {&platform::win32::kBundledJokes, &platform::win32::kBundledHelp}) {
        SCOPED_TRACE(fs::path(kind->Name).string());
        const fs::path tree = test::SourceDir() / kind->Name;
        std::vector<fs::path> expected;
        // The language folders included.
        for (const auto& entry : fs::recursive_directory_iterator(tree))
            if (entry.path().extension() == kind->Extension) expected.push_back(fs::relative(entry.path(), tree));
        test::TempDir temp;
        const fs::path folder = temp.path() / kind->Name;
        EXPECT_EQ(platform::win32::ExtractBundledFiles(saver.get(), *kind, folder.wstring()),
                  int(expected.size()));
        std::vector<fs::path> written;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), folder));
        std::sort(expected.begin(), expected.end());
        std::sort(written.begin(), written.end());
        ASSERT_EQ(written, expected);
        for (const fs::path& name : written)
            EXPECT_EQ(FileBytes(folder / name), FileBytes(tree / name)) << name;
    }
}

TEST(BundledFiles, AreWrittenOnceAndRepairedWhenChanged) {
    const SaverModule saver;
    if (!saver.get()) GTEST_SKIP() << "Quipix.scr is not built";
    const auto& jokes = platform::win32::kBundledJokes;
    test::TempDir temp;
    const fs::path folder = temp.path() / "Kelvara" / "jokes";
    const int count = platform::win32::ExtractBundledFiles(saver.get(), jokes, folder.wstring());
    ASSERT_GT(count, 0);
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    ASSERT_EQ(int(files.size()), count);

    // A file the user spoiled (same size, other bytes), one cut short and one of the
    // user's own: the first two are repaired, the third left alone, and a file that
    // is as it was keeps its time.
    const std::string first = FileBytes(files[0]);
    std::string spoiled = first;
    spoiled[0] = spoiled[0] == 'x' ? 'y' : 'x';
    std::ofstream(files[0], std::ios::binary) << spoiled;
    const std::string second = FileBytes(files.back());
    if (files.size() > 1)
        std::ofstream(files.back(), std::ios::binary) << second.substr(0, second.size() / 2);
    std::ofstream(folder / "mine.txt", std::ios::binary) << "[Header]\n";
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    std::vector<fs::path> untouched(files.begin() + 1, files.end() - (files.size() > 1 ? 1 : 0));
    std::vector<fs::file_time_type> times;
    for (const fs::path& f : untouched) {
        fs::last_write_time(f, old);
        times.push_back(fs::last_write_time(f));  // as the file system keeps it
    }

    EXPECT_EQ(platform::win32::ExtractBundledFiles(saver.get(), jokes, folder.wstring()), count);
    EXPECT_EQ(FileBytes(files[0]), first);
    EXPECT_EQ(FileBytes(files.back()), second);
    EXPECT_EQ(FileBytes(folder / "mine.txt"), "[Header]\n");
    for (std::size_t i = 0; i < untouched.size(); ++i)
        EXPECT_EQ(fs::last_write_time(untouched[i]), times[i]) << untouched[i];
}

// What Windows reads of Quipix.scr before it runs a line of it: the manifest (themed
// controls, per-monitor DPI, the systems it was made for, no elevation), the icon
// sizes Explorer shows (256 pixels as PNG), and the copyright of the version.
TEST(SaverResources, ManifestIconAndCopyrightAreThere) {
    const SaverModule saver;
    if (!saver.get()) GTEST_SKIP() << "Quipix.scr is not built";
    const auto resource = [&](int type, int id) {
        HRSRC info = FindResourceW(saver.get(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
        HGLOBAL data = info ? LoadResource(saver.get(), info) : nullptr;
        return data ? std::string(static_cast<const char*>(LockResource(data)),
                                  SizeofResource(saver.get(), info))
                    : std::string();
    };
    const std::string manifest = resource(24 /* RT_MANIFEST */, 1);
    for (const char* part : {
             R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")", ">PerMonitorV2, PerMonitor<",
             ">true/pm<", R"(level="asInvoker")",
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
         })
        EXPECT_NE(manifest.find(part), std::string::npos) << part;

    // The icon group: a 6-byte head, then 14 bytes per image (width 0 meaning 256).
    const std::string group = resource(14 /* RT_GROUP_ICON */, 1);
    ASSERT_GE(group.size(), 6u);
    const int count = std::uint8_t(group[4]) | std::uint8_t(group[5]) << 8;
    ASSERT_EQ(group.size(), 6u + 14u * std::size_t(count));
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const char* entry = group.data() + 6 + 14 * i;
        const int width = std::uint8_t(entry[0]) ? std::uint8_t(entry[0]) : 256;
        sizes.push_back(width);
        if (width == 256) {
            const int id = std::uint8_t(entry[12]) | std::uint8_t(entry[13]) << 8;
            EXPECT_EQ(resource(3 /* RT_ICON */, id).substr(0, 8), "\x89PNG\r\n\x1a\n");
        }
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 256}));

    const fs::path file = FindSaverExecutable();
    std::vector<char> version(GetFileVersionInfoSizeW(file.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, DWORD(version.size()), version.data()));
    wchar_t* copyright = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\LegalCopyright",
                               reinterpret_cast<void**>(&copyright), &length));
    EXPECT_EQ(std::wstring(copyright), L"Copyright (C) Kelvara");
}

TEST(BundledFiles, AModuleWithoutThemWritesNothing) {
    test::TempDir temp;
    const fs::path folder = temp.path() / "none";
    EXPECT_EQ(platform::win32::ExtractBundledFiles(GetModuleHandleW(nullptr), platform::win32::kBundledHelp,
                                                   folder.wstring()),
              0);
    EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
}  // namespace quipix
