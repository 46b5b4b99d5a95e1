// The desktop options read before the screen-saver protocol: window ids, the
// xscreensaver module's --root and --window-id, --help, --version and --record, and
// what the front ends do with them.
#include <gtest/gtest.h>

#include <sstream>

#include "app/desktop_options.h"

namespace quipix {
namespace {

using Action = DesktopOptions::Action;

TEST(WindowIdTest, DecimalAndHexadecimal) {
    EXPECT_EQ(ParseWindowId("1234"), 1234u);
    EXPECT_EQ(ParseWindowId("0x4a0000b"), 0x4a0000bu);
    EXPECT_EQ(ParseWindowId("0X4A0000B"), 0x4a0000bu);
    EXPECT_EQ(ParseWindowId(" 0x10\n"), 0x10u);  // as an environment value may come
    EXPECT_EQ(ParseWindowId("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseWindowId("0xFFFFFFFF"), 0xFFFFFFFFu);
}

TEST(WindowIdTest, AnythingElseIsRefused) {
    for (const char* text : {"", " ", "0", "0x0", "0x", "x10", "-5", "+5", "0x-5", "12a", "0x1g", "1 2",
                             "4294967296", "0x100000000", "99999999999999999999999"})
        EXPECT_FALSE(ParseWindowId(text)) << '"' << text << '"';
}

TEST(DesktopOptionsTest, RootTakesTheWindowFromTheEnvironmentElseTheRootWindow) {
    for (const char* root : {"-root", "--root"}) {
        auto o = ParseDesktopOptions({root}, "0x2a00007");
        EXPECT_EQ(o.action, Action::Module) << root;
        EXPECT_EQ(o.window, 0x2a00007u);
        EXPECT_EQ(ParseDesktopOptions({root}, "44040199").window, 44040199u);
    }
    // Without a usable environment it is the root window.
    auto none = ParseDesktopOptions({"--root"}, nullptr);
    EXPECT_EQ(none.action, Action::Module);
    EXPECT_EQ(none.window, 0u);
    EXPECT_TRUE(none.warning.empty());
    EXPECT_EQ(ParseDesktopOptions({"--root"}, "").window, 0u);

    auto bad = ParseDesktopOptions({"--root"}, "window");
    EXPECT_EQ(bad.action, Action::Module);
    EXPECT_EQ(bad.window, 0u);
    EXPECT_NE(bad.warning.find("window"), std::string::npos);
}

TEST(DesktopOptionsTest, WindowIdWinsOverRootInEitherOrder) {
    for (const auto& params : std::vector<std::vector<std::string>>{{"--root", "--window-id", "0x600003"},
                                                                    {"-window-id", "0x600003", "-root"},
                                                                    {"--window-id", "6291459"}}) {
        auto o = ParseDesktopOptions(params, "0x2a00007");
        EXPECT_EQ(o.action, Action::Module);
        EXPECT_EQ(o.window, 0x600003u) << params[0];
    }
}

TEST(DesktopOptionsTest, AMissingOrBadWindowIdIsAnError) {
    auto missing = ParseDesktopOptions({"--root", "--window-id"}, "0x2a00007");
    EXPECT_EQ(missing.action, Action::Error);
    EXPECT_NE(missing.error.find("--window-id"), std::string::npos);

    auto bad = ParseDesktopOptions({"-window-id", "0xZZ"}, nullptr);
    EXPECT_EQ(bad.action, Action::Error);
    EXPECT_NE(bad.error.find("0xZZ"), std::string::npos);
    // A zero id would draw on nothing; it is refused rather than taken as the root.
    EXPECT_EQ(ParseDesktopOptions({"--window-id", "0"}, nullptr).action, Action::Error);
}

TEST(DesktopOptionsTest, HelpAndVersionComeBeforeTheProtocol) {
    EXPECT_EQ(ParseDesktopOptions({"--help"}, nullptr).action, Action::Help);
    EXPECT_EQ(ParseDesktopOptions({"--version"}, nullptr).action, Action::Version);
    // Only in first place: elsewhere the word belongs to what came first.
    EXPECT_EQ(ParseDesktopOptions({"--root", "--help"}, nullptr).action, Action::Module);
}

TEST(DesktopOptionsTest, RecordTakesTheRestOfTheLine) {
    auto o = ParseDesktopOptions({"--record", "out.gif", "--size", "64x48", "--help"}, nullptr);
    EXPECT_EQ(o.action, Action::Record);
    EXPECT_EQ(o.recordArgs, (std::vector<std::string>{"out.gif", "--size", "64x48", "--help"}));
    // Only in first place; elsewhere it is no option of ours.
    EXPECT_EQ(ParseDesktopOptions({"/s", "--record"}, nullptr).action, Action::Protocol);
}

TEST(DesktopOptionsTest, IdleTakesWholeSecondsUpToADay) {
    for (const auto& [text, seconds] :
         std::vector<std::pair<std::string, int>>{{"1", 1}, {"300", 300}, {"86400", 86400}}) {
        auto o = ParseDesktopOptions({"--idle", text}, nullptr);
        EXPECT_EQ(o.action, Action::Idle) << text;
        EXPECT_EQ(o.idleSeconds, seconds);
    }
    for (const char* text : {"0", "-5", "+5", "86401", "99999999999", "2.5", "5s", " 5", "", "x"}) {
        auto o = ParseDesktopOptions({"--idle", text}, nullptr);
        EXPECT_EQ(o.action, Action::Error) << '"' << text << '"';
        EXPECT_NE(o.error.find("--idle"), std::string::npos);
    }
    EXPECT_EQ(ParseDesktopOptions({"--idle"}, nullptr).action, Action::Error);
    EXPECT_EQ(ParseDesktopOptions({"--idle", "5", "/s"}, nullptr).action, Action::Error);
    // Only in first place, as every option of ours.
    EXPECT_EQ(ParseDesktopOptions({"/s", "--idle"}, nullptr).action, Action::Protocol);
}

TEST(DesktopOptionsTest, TheProtocolIsLeftAlone) {
    for (const auto& params : std::vector<std::vector<std::string>>{
             {}, {"/s"}, {"/c"}, {"/p", "1234"}, {"-r"}, {"-R"}, {"/root"}, {"-w", "12"}, {"root"}}) {
        auto o = ParseDesktopOptions(params, "0x2a00007");
        EXPECT_EQ(o.action, Action::Protocol) << (params.empty() ? "" : params[0]);
    }
}

TEST(DesktopOptionsTest, UsageNamesEveryWayToRunOnEachSystem) {
    const std::string posix = UsageText(UsageSystem::Posix);
    for (const char* word :
         {"Usage: quipix ", "/s", "/c", "/p WINDOW", "/a WINDOW", "--root", "--window-id", "--record PATH",
          "--size", "--ticks", "--every", "--help", "--version", "Quipix.reg", "--idle SECONDS"})
        EXPECT_NE(posix.find(word), std::string::npos) << word;
    const std::string windows = UsageText(UsageSystem::Windows);
    for (const char* word : {"Usage: Quipix.scr ", "/p HWND", "/a HWND", "Windows 95/98", "--record PATH",
                             "--version", "HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix"})
        EXPECT_NE(windows.find(word), std::string::npos) << word;
    // xscreensaver's options and the Wayland watcher mean nothing on Windows.
    EXPECT_EQ(windows.find("--root"), std::string::npos);
    EXPECT_EQ(windows.find("--idle"), std::string::npos);
    EXPECT_STREQ(kVersionLabel, "Version 2.1");
}

TEST(DesktopOptionsTest, EachFrontEndCarriesOutTheOptionsThatNeedNoWindow) {
    struct Case {
        std::vector<std::string> params;
        UsageSystem system;
        std::optional<int> code;  // nullopt: the front end goes on
        std::string out, errStart;
        bool console, text;  // the console opened, the recording's text engine started
    };
    const std::string posix = UsageText(UsageSystem::Posix), windows = UsageText(UsageSystem::Windows);
    const Case cases[] = {
        {{"--help"}, UsageSystem::Posix, 0, posix, "", true, false},
        {{"--help"}, UsageSystem::Windows, 0, windows, "", true, false},
        {{"--version"}, UsageSystem::Windows, 0, "Quipix ", "", true, false},
        {{"--idle", "x"}, UsageSystem::Posix, 2, "", "quipix: --idle takes", true, false},
        {{"--window-id"}, UsageSystem::Windows, 2, "", "Quipix: --window-id needs", true, false},
        // The recorder's own usage error, once the text engine is there.
        {{"--record"}, UsageSystem::Posix, 2, "", "", true, true},
        {{"/s"}, UsageSystem::Windows, std::nullopt, "", "", false, false},
        {{"--root"}, UsageSystem::Posix, std::nullopt, "", "", false, false},
        {{"--idle", "60"}, UsageSystem::Posix, std::nullopt, "", "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params[0]);
        bool console = false, text = false;
        DesktopFrontEnd frontEnd{c.system, [&] { console = true; },
                                 [&] {
                                     text = true;
                                     return std::shared_ptr<void>();
                                 }};
        std::ostringstream out, err;
        EXPECT_EQ(RunDesktopOption(ParseDesktopOptions(c.params, nullptr), frontEnd, out, err), c.code);
        EXPECT_EQ(out.str().substr(0, c.out.size()), c.out);
        EXPECT_EQ(out.str().empty(), c.out.empty());
        EXPECT_EQ(err.str().substr(0, c.errStart.size()), c.errStart);
        if (c.code == 2 && !c.text) {
            EXPECT_NE(err.str().find(UsageText(c.system)), std::string::npos);
        }
        EXPECT_EQ(console, c.console);
        EXPECT_EQ(text, c.text);
    }
}

}  // namespace
}  // namespace quipix
