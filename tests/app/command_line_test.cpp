// The screen-saver command line and the main program block's dispatch.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/desktop_options.h"
#include "app/run_program.h"
#include "platform/platform.h"

namespace quipix {
namespace {

using platform::WindowId;

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunMode = 0;
        ParentWindow = CallerWindow = 999;
        CommandArgument.clear();
    }
    platform::ScopedServices services_{{.foregroundWindow = [] { return WindowId(4242); }}};
};

TEST_F(CommandLineTest, NoParametersConfigureWithoutOwner) {
    ParseCommandLine({});
    EXPECT_EQ(RunMode, Configure);
    EXPECT_EQ(CallerWindow, 0u);
}

TEST_F(CommandLineTest, AnySwitchCharacterBeforeCConfiguresOwned) {
    for (auto args :
         std::vector<std::vector<std::string>>{{"/c"}, {"-C"}, {"xc"}, {"/c:1234"}, {"/c", "1234"}}) {
        ParseCommandLine(args);
        EXPECT_EQ(RunMode, ConfigureOwned) << args[0];
        EXPECT_EQ(CallerWindow, 4242u) << args[0];
    }
}

TEST_F(CommandLineTest, UnknownSwitchesRunFullScreen) {
    for (auto args :
         std::vector<std::vector<std::string>>{{"/s"}, {"/S"}, {"/x"}, {"/"}, {"S"}, {""}, {"--"}}) {
        ParseCommandLine(args);
        EXPECT_EQ(RunMode, FullScreen) << args[0];
        EXPECT_EQ(CallerWindow, 4242u) << args[0];
    }
}

TEST_F(CommandLineTest, PreviewReadsTheWindowFromTheFourthCharacter) {
    struct Case {
        std::vector<std::string> args;
        std::string argument;
        WindowId parent;
    };
    const Case cases[] = {
        {{"/p", "1234"}, "/P:1234", 1234},
        {{"/p:1234"}, "/P:1234", 1234},
        {{"/p1234"}, "/P1234", 234},
        {{"/p"}, "/P", 0},
        {{"/p", "abc"}, "/P:abc", 0},
        {{"/p", "$1F"}, "/P:$1F", 31},
        {{"/p", "$1f"}, "/P:$1f", 31},  // the second parameter keeps its case
        {{"/p", " 12"}, "/P: 12", 12},
        {{"/p", "12 "}, "/P:12 ", 0},
        {{"/p", "-1"}, "/P:-1", 0xFFFFFFFFu},
        {{"/p", "2147483648"}, "/P:2147483648", 0},
        {{"/p", "77", "third", "fourth"}, "/P:77", 77},
    };
    for (const auto& c : cases) {
        ParseCommandLine(c.args);
        EXPECT_EQ(RunMode, Preview) << c.argument;
        EXPECT_EQ(CommandArgument, c.argument);
        EXPECT_EQ(ParentWindow, c.parent) << c.argument;
        EXPECT_EQ(CallerWindow, 0u) << c.argument;
    }
}

TEST_F(CommandLineTest, PasswordChangeReadsItsParent) {
    ParseCommandLine({"/a", "1234"});
    EXPECT_EQ(RunMode, ChangePassword);
    EXPECT_EQ(ParentWindow, 1234u);
    ParseCommandLine({"/A"});
    EXPECT_EQ(RunMode, ChangePassword);
    EXPECT_EQ(ParentWindow, 0u);
}

// The desktop options are ours only as the first word; after a protocol switch
// they are the protocol's second (or ignored third) parameter.
TEST_F(CommandLineTest, DesktopOptionsAfterAProtocolSwitchBelongToTheProtocol) {
    struct Case {
        std::vector<std::string> args;
        std::int32_t mode;
    };
    const Case cases[] = {
        {{"/p", "-root"}, Preview},
        {{"/p", "--window-id", "77"}, Preview},
        {{"/s", "x", "--window-id"}, FullScreen},
        {{"/s", "--root"}, FullScreen},
        {{"/c", "--help"}, ConfigureOwned},
        {{"/a", "--version"}, ChangePassword},
        {{"-s", "--record", "out.gif"}, FullScreen},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDesktopOptions(c.args, "0x2a00007").action, DesktopOptions::Action::Protocol)
            << c.args[0] << " " << c.args[1];
        ParseCommandLine(c.args);
        EXPECT_EQ(RunMode, c.mode) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(ParentWindow, 0u) << c.args[0] << " " << c.args[1];
    }
}

// The main block with recording callbacks and a fake window system.
class RunProgramTest : public CommandLineTest {
protected:
    int Run(const std::vector<std::string>& args) {
        ParseCommandLine(args);
        RunCallbacks cb;
        cb.runSaver = [this](WindowId parent) { calls.push_back("saver " + std::to_string(parent)); };
        cb.runConfig = [this](WindowId owner) { calls.push_back("config " + std::to_string(owner)); };
        cb.changePassword = [this](WindowId parent) {
            calls.push_back("password " + std::to_string(parent));
            return true;
        };
        return RunProgram(cb);
    }
    std::vector<std::string> calls;
    std::vector<WindowId> activated;
    platform::WindowRect parentRect{0, 0, 1024, 768};
    platform::ScopedServices windows_{{
        .getWindowRect =
            [this](WindowId w, platform::WindowRect& r) {
                if (w != 1234) return false;
                r = parentRect;
                return true;
            },
        .activateWindow = [this](WindowId w) { activated.push_back(w); },
        .primaryScreen =
            [] {
                return platform::ScreenInfo{1024, 768, 24};
            },
    }};
};

TEST_F(RunProgramTest, FullScreenGivesTheForegroundBackAfterwards) {
    EXPECT_EQ(Run({"/s"}), 0);
    EXPECT_EQ(calls, std::vector<std::string>{"saver 0"});
    EXPECT_EQ(activated, std::vector<WindowId>{4242});
}

TEST_F(RunProgramTest, OnlyAPreviewAsLargeAsTheScreenRunsFullScreen) {
    parentRect = {10, 20, 1034, 788};
    EXPECT_EQ(Run({"/p", "1234"}), 0);
    EXPECT_EQ(RunMode, FullScreen);
    EXPECT_EQ(calls, std::vector<std::string>{"saver 0"});
    // One pixel smaller, it stays a preview.
    for (platform::WindowRect r :
         {platform::WindowRect{0, 0, 1023, 768}, platform::WindowRect{0, 0, 1024, 767}}) {
        parentRect = r;
        calls.clear();
        Run({"/p", "1234"});
        EXPECT_EQ(RunMode, Preview);
        EXPECT_EQ(calls, std::vector<std::string>{"saver 1234"});
    }
    EXPECT_TRUE(activated.empty());  // CallerWindow stays 0
    // A preview of an unknown window still runs as a preview.
    calls.clear();
    Run({"/p", "99"});
    EXPECT_EQ(calls, std::vector<std::string>{"saver 99"});
}

TEST_F(RunProgramTest, NothingRunsWithoutAUsableWindow) {
    for (auto args : std::vector<std::vector<std::string>>{{"/p"}, {"/p", "abc"}, {"/a"}, {"/a", "x"}}) {
        EXPECT_EQ(Run(args), 0);
        EXPECT_FALSE(RunModeNeedsApplication()) << args[0];
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(RunProgramTest, DialogsAndPasswordChange) {
    Run({});
    Run({"/c"});
    Run({"/a", "1234"});
    EXPECT_EQ(calls, (std::vector<std::string>{"config 0", "config 4242", "password 1234"}));
    EXPECT_TRUE(activated.empty());
}

TEST_F(RunProgramTest, ThePasswordChangeOfLinuxDoesNothing) {
    ParseCommandLine({"/a", "1234"});
    EXPECT_EQ(RunProgram({}), 0);  // the built-in change: no password scheme here
}

}  // namespace
}  // namespace quipix
