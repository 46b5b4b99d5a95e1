// The engine with the real settings store and joke library: a switch of joke file at
// a new joke is saved at once.
#include <gtest/gtest.h>

#include "common/joke_library.h"
#include "platform/registry.h"
#include "saver/engine.h"
#include "saver_fakes.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

// Points the settings store at a fresh file for one test.
class TempConfigHome {
public:
    TempConfigHome() {
        platform::InstallRegistry(
            std::make_shared<platform::FileRegistry>(dir_.str() + "/Kelvara/Quipix.reg"));
    }
    ~TempConfigHome() { platform::InstallRegistry(nullptr); }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
};

TEST(EngineJokes, FileSwitchIsSavedAtOnce) {
    TempConfigHome home;
    TempDir jokes;
    jokes.write("only.txt", "[Header]\r\nFormat=Q&A\r\n[Data]\r\nQ: Why?\r\nA: Because.\r\n");

    EngineServices services = DefaultEngineServices();
    // The store starts empty; the joke settings are set on top of what it loads.
    services.loadSettings = [&] {
        LoadSettings();
        Settings.Directory = jokes.str();
        Settings.JokeFile = "missing.txt";
        Settings.Change = true;
        Settings.ChangeAfter = 1;
        Settings.FadeMode = fade_mode::FadeInPlace;
    };
    FakeHost host(200, 150);
    TSaverEngine engine(host, services);
    engine.SetUpScene();
    engine.Timer1Timer();  // NewJoke: NextJoke switches and saves
    ASSERT_EQ(host.closes_, 0);
    EXPECT_EQ(Settings.JokeFile, "only.txt");
    EXPECT_EQ(Settings.CurrentQuestion, "Why?");
    EXPECT_EQ(Settings.CurrentAnswer, "Because.");

    const std::vector<std::uint8_t> bytes = ReadBytes(home.dir().str() + "/Kelvara/Quipix.reg");
    const std::string stored(bytes.begin(), bytes.end());
    EXPECT_NE(stored.find("only.txt"), std::string::npos) << stored;
    // A new load sees the switched file.
    LoadSettings();
    EXPECT_EQ(Settings.JokeFile, "only.txt");
}

}  // namespace
}  // namespace quipix::test
