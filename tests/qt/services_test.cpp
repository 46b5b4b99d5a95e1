// The replaceable platform services and their built-in answers under the
// offscreen test platform (no X11).
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <filesystem>
#include <vector>

#include "platform/platform.h"

namespace quipix::platform {
namespace {

TEST(Services, InstalledServicesReplaceAndScopesRestore) {
    const WindowId before = ForegroundWindow();
    std::vector<int> topics;
    {
        ScopedServices scope({.foregroundWindow = [] { return WindowId(77); },
                              .showHelp = [&](int context) { topics.push_back(context); }});
        EXPECT_EQ(ForegroundWindow(), 77u);
        {
            ScopedServices inner({.getWindowRect =
                                      [](WindowId, WindowRect& r) {
                                          r = {1, 2, 3, 4};
                                          return true;
                                      },
                                  .showHelp = [&](int context) { topics.push_back(-context); }});
            WindowRect r;
            EXPECT_TRUE(GetWindowRect(5, r));
            EXPECT_EQ(r.Width(), 2);
            EXPECT_EQ(ForegroundWindow(), 77u);  // empty members keep the current ones
            ShowHelp(6);
        }
        WindowRect r;
        EXPECT_FALSE(GetWindowRect(5, r));
        ShowHelp(7);  // restored exactly
    }
    EXPECT_EQ(ForegroundWindow(), before);
    EXPECT_EQ(topics, (std::vector<int>{-6, 7}));
}

TEST(Services, WithoutAnyTheSystemHasNoWindows) {
    const Services installed = CurrentServices();
    ReplaceServices({});
    WindowRect r;
    EXPECT_EQ(ForegroundWindow(), 0u);
    EXPECT_FALSE(GetWindowRect(0x1234, r));
    EXPECT_EQ(PrimaryScreen().Width, ScreenInfo{}.Width);
    EXPECT_EQ(SysColor(24), ClassicSysColor(24));
    ShowHelp(1);
    OpenAddress("https://example.com");
    ReplaceServices(installed);
}

TEST(Services, NoX11MeansNoForeignWindows) {
    // Tests run on Qt's offscreen platform: there is no X11 connection.
    EXPECT_EQ(ForegroundWindow(), 0u);
    WindowRect r;
    EXPECT_FALSE(GetWindowRect(0x1234, r));
    ActivateWindow(0x1234);  // does nothing, and does not crash
    EXPECT_FALSE(ChangeScreenSaverPasswordCall(1234));
    EXPECT_TRUE(VerifyScreenSavePassword(1234));
}

TEST(Services, PrimaryScreenComesFromTheApplication) {
    ScreenInfo s = PrimaryScreen();
    EXPECT_GT(s.Width, 0);
    EXPECT_GT(s.Height, 0);
    EXPECT_GE(s.ColorDepth, 16);
}

TEST(Services, SystemColoursFollowThePalette) {
    const QPalette p = QGuiApplication::palette();
    auto ref = [](QColor c) { return std::uint32_t(c.red() | c.green() << 8 | c.blue() << 16); };
    EXPECT_EQ(SysColor(15), ref(p.color(QPalette::Active, QPalette::Button)));     // button face
    EXPECT_EQ(SysColor(13), ref(p.color(QPalette::Active, QPalette::Highlight)));  // highlight
    EXPECT_EQ(SysColor(5), ref(p.color(QPalette::Active, QPalette::Base)));        // window
    EXPECT_EQ(SysColor(1), 0x808000u);  // the desktop has no palette role
    EXPECT_EQ(SysColor(-1), 0u);
    EXPECT_EQ(SysColor(31), 0u);
    EXPECT_EQ(ClassicSysColor(15), 0xC0C0C0u);
    EXPECT_EQ(ClassicSysColor(24), 0xE1FFFFu);  // tooltip yellow, as 0x00BBGGRR
}

TEST(DataFolders, TheBundledJokesAreFound) {
    EXPECT_TRUE(std::filesystem::is_directory(BundledJokesDirectory()));
    EXPECT_EQ(BundledJokesDirectory(), DataDirectory() + "/jokes");
    EXPECT_EQ(HelpDirectory(), DataDirectory() + "/help");
}

}  // namespace
}  // namespace quipix::platform
