// NextJoke and PickRandomJokeFile: counting, switching, paths and folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/joke_file.h"
#include "common/joke_library.h"
#include "common/random.h"
#include "common/settings.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace quipix {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// A variable of the environment set for one scope.
class Environment {
public:
    Environment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~Environment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};
#endif

class JokeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_ = std::make_shared<platform::FileRegistry>((config_.path() / "Quipix.reg").string());
        platform::InstallRegistry(store_);
        Settings = TSettings{};
        LoadSettings();
        Settings.Directory = jokes_.str();
    }
    void TearDown() override {
        platform::InstallRegistry(nullptr);
        Settings = TSettings{};
    }
    std::string SavedJokeFile() {
        auto v = store_->ReadValue(std::string(kSettingsKey) + "\\General", "JokeFile");
        return v ? v->data : "<none>";
    }

    test::TempDir config_, jokes_;
    std::shared_ptr<platform::FileRegistry> store_;
};

TEST_F(JokeLibraryTest, TheJokeFileGivesTheQuestionAndAnswerOrTheDefaults) {
    const struct {
        const char* label;
        const char* text;  // of joke.txt, none without
        const char* jokeFile;
        std::string question, answer;
    } cases[] = {
        {"a missing file", nullptr, "nothing.txt", kDefaultQuestionText, kDefaultAnswerText},
        {"no joke file", nullptr, "", kDefaultQuestionText, kDefaultAnswerText},
        {"single with a description asks the description",
         "[Header]\nFormat=SINGLE\nDescription=Guess what?\n[Data]\none|two|three\n", "joke.txt",
         "Guess what?", "one\r\ntwo\r\nthree"},
        {"one line without a description keeps the default question",
         "[Header]\nFormat=Q&A\n[Data]\nQ: lonely question\n", "joke.txt", kDefaultQuestionText,
         "lonely question"},
        {"the file is found regardless of case", "[Header]\nFormat=SINGLE\n[Data]\nfound|it\n", "JOKE.TXT",
         "found", "it"},
        {"q&a without questions", "[Header]\nFormat=Q&A\n[Data]\nno questions\n", "joke.txt",
         kDefaultQuestionText, kDefaultAnswerText},
        {"ml with a start marker only", "[Header]\nFormat=ML\n[Data]\n<START>", "joke.txt",
         kDefaultQuestionText, kDefaultAnswerText},
        {"single without data", "[Header]\nFormat=SINGLE\n[Data]", "joke.txt", kDefaultQuestionText,
         kDefaultAnswerText},
        {"binary bytes", "\x01\x02\xff\xfe garbage", "joke.txt", kDefaultQuestionText, kDefaultAnswerText},
    };
    for (const auto& c : cases) {
        fs::remove(jokes_.path() / "joke.txt");
        if (c.text) jokes_.write("joke.txt", c.text);
        Settings.JokeFile = c.jokeFile;
        Settings.CurrentQuestion = "old";
        ASSERT_NO_THROW(NextJoke()) << c.label;
        EXPECT_EQ(Settings.CurrentQuestion, c.question) << c.label;
        EXPECT_EQ(Settings.CurrentAnswer, c.answer) << c.label;
        if (c.question == "Guess what?") {
            EXPECT_EQ(Settings.CurrentDescription, c.question);
        }
    }
}

TEST_F(JokeLibraryTest, TrailingSeparatorsGiveTheSamePath) {
    EXPECT_EQ(JoinJokePath("/a/b", "x.txt"), "/a/b/x.txt");
    EXPECT_EQ(JoinJokePath("/a/b/", "x.txt"), "/a/b/x.txt");
    EXPECT_EQ(JoinJokePath("/a/b\\", "x.txt"), "/a/b/x.txt");
    jokes_.write("t.txt", "[Header]\nFormat=SINGLE\n[Data]\nQ|A\n");
    Settings.JokeFile = "t.txt";
    for (const std::string& dir : {jokes_.str(), jokes_.str() + "/", jokes_.str() + "\\"}) {
        Settings.Directory = dir;
        NextJoke();
        EXPECT_EQ(Settings.CurrentQuestion, "Q") << dir;
    }
}

TEST_F(JokeLibraryTest, ListingSkipsHiddenFilesFoldersAndOtherExtensions) {
    jokes_.write(".hidden.txt", "x");
    jokes_.write("notes.md", "x");
    jokes_.write("a.txt.bak", "x");
    fs::create_directory(jokes_.path() / "folder.txt");
    EXPECT_TRUE(ListJokeFiles(jokes_.str()).empty());
    Settings.JokeFile = "keep.txt";
    Settings.ChangeAfter = 1;
    Settings.Change = true;
    NextJoke();
    EXPECT_EQ(Settings.JokeFile, "keep.txt");  // nothing to switch to
    EXPECT_EQ(Settings.JokeCounter, 1u);
    EXPECT_EQ(SavedJokeFile(), "<none>");  // and nothing saved
    jokes_.write("B.TXT", "x");
    jokes_.write("a.txt", "x");
    EXPECT_EQ(ListJokeFiles(jokes_.str()), (std::vector<std::string>{"B.TXT", "a.txt"}));
    EXPECT_TRUE(ListJokeFiles((jokes_.path() / "missing").string()).empty());
}

TEST_F(JokeLibraryTest, SwitchesInCalls25_49_73) {
    jokes_.write("only.txt", "[Header]\nFormat=SINGLE\n[Data]\nq|a\n");
    Settings.JokeFile = "other.txt";
    Settings.Change = true;
    std::vector<int> switches;
    for (int call = 1; call <= 80; ++call) {
        Settings.JokeFile = "other.txt";
        NextJoke();
        if (Settings.JokeFile == "only.txt") switches.push_back(call);
    }
    EXPECT_EQ(switches, (std::vector<int>{25, 49, 73}));
    EXPECT_EQ(SavedJokeFile(), "only.txt");  // the switch saved the settings
}

TEST_F(JokeLibraryTest, ChangeAfterOneOrLessSwitchesEveryCall) {
    jokes_.write("only.txt", "[Header]\nFormat=SINGLE\n[Data]\nq|a\n");
    Settings.Change = true;
    for (std::int32_t after : {1, 0, -5}) {
        Settings.ChangeAfter = after;
        for (int call = 0; call < 3; ++call) {
            Settings.JokeFile = "x.txt";
            NextJoke();
            EXPECT_EQ(Settings.JokeFile, "only.txt") << after;
            EXPECT_EQ(Settings.CurrentQuestion, "q");
        }
    }
}

TEST_F(JokeLibraryTest, AClearedChangeBoxKeepsTheFileButStillCounts) {
    jokes_.write("a.txt", "[Header]\nFormat=SINGLE\n[Data]\nfrom a|x\n");
    jokes_.write("b.txt", "[Header]\nFormat=SINGLE\n[Data]\nfrom b|x\n");
    Settings.JokeFile = "a.txt";
    Settings.Change = false;
    Settings.ChangeAfter = 2;
    for (int call = 0; call < 50; ++call) {
        NextJoke();
        ASSERT_EQ(Settings.CurrentQuestion, "from a");
    }
    EXPECT_EQ(Settings.JokeCounter, 1u);  // reset at every second call
    EXPECT_EQ(SavedJokeFile(), "<none>");
}

TEST_F(JokeLibraryTest, EverySwitchCanReachEveryFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) jokes_.write(name, "x");
    Settings.Change = true;
    Settings.ChangeAfter = 1;
    std::set<std::string> chosen;
    SetRandomizeClock([n = 0u]() mutable { return n += 1000; });
    for (int i = 0; i < 60; ++i) {
        NextJoke();
        chosen.insert(Settings.JokeFile);
    }
    SetRandomizeClock(nullptr);
    EXPECT_EQ(chosen, (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(JokeLibraryTest, FirstRunPicksABundledFileAndRemembersIt) {
    Settings.Directory = "";
    Settings.JokeFile = "";
    NextJoke();
    EXPECT_FALSE(Settings.JokeFile.empty());
    EXPECT_TRUE(fs::is_regular_file(fs::path(BundledJokeDirectory()) / Settings.JokeFile));
    EXPECT_EQ(SavedJokeFile(), Settings.JokeFile);
    EXPECT_NE(Settings.CurrentAnswer, kDefaultAnswerText);
    // A file the user chose in the bundled folder is kept.
    const std::string chosen = Settings.JokeFile;
    for (int i = 0; i < 5; ++i) NextJoke();
    EXPECT_EQ(Settings.JokeFile, chosen);
#ifndef _WIN32
    // In a German session a first run starts on a German file, and an English file
    // stored before the jokes came in languages is still told.
    const Environment german("LANGUAGE", "de"), locale("LC_ALL", "de_DE.UTF-8");
    ASSERT_EQ(BundledJokeDirectory(), platform::BundledJokesDirectory() + "/de");
    Settings.JokeFile = "";
    NextJoke();
    EXPECT_TRUE(fs::is_regular_file(fs::path(BundledJokeDirectory()) / Settings.JokeFile));
    const std::string english = ListJokeFiles(platform::BundledJokesDirectory()).front();
    Settings.JokeFile = english;
    NextJoke();
    EXPECT_EQ(Settings.JokeFile, english);
    EXPECT_NE(Settings.CurrentAnswer, kDefaultAnswerText);
#endif
}

TEST_F(JokeLibraryTest, AChosenFolderIsNeverReplacedByTheBundledOne) {
    Settings.JokeFile = "";
    NextJoke();
    EXPECT_EQ(Settings.Directory, jokes_.str());
    EXPECT_EQ(Settings.JokeFile, "");
    EXPECT_EQ(Settings.CurrentQuestion, kDefaultQuestionText);
}

TEST_F(JokeLibraryTest, ASwitchThatIsNotSavedCarriesOnUnremembered) {
    jokes_.write("a.txt", "[Header]\nFormat=SINGLE\n[Data]\nq|a\n");
    // A read-only settings folder, and a settings file that cannot be read (which is
    // never written, as it holds values the saver never saw): neither ends the saver
    // at its first switch.
    std::ofstream(config_.path() / "blocked") << "x";
    const fs::path unreadable = config_.path() / "large.reg";
    std::ofstream(unreadable, std::ios::binary) << "REGEDIT4\n";
    fs::resize_file(unreadable, platform::kMaxRegFileSize + 1);
    for (const fs::path& file : {config_.path() / "blocked" / "Quipix.reg", unreadable}) {
        platform::InstallRegistry(std::make_shared<platform::FileRegistry>(file.string()));
        Settings.JokeFile = "gone.txt";
        Settings.Change = true;
        Settings.ChangeAfter = 1;
        EXPECT_NO_THROW(NextJoke()) << file;
        EXPECT_EQ(Settings.JokeFile, "a.txt") << file;
        EXPECT_EQ(Settings.CurrentQuestion, "q") << file;
    }
    EXPECT_FALSE(fs::exists(config_.path() / "blocked" / "Quipix.reg"));
    EXPECT_EQ(fs::file_size(unreadable), platform::kMaxRegFileSize + 1);
    std::ifstream in(unreadable, std::ios::binary);
    std::string head(9, '\0');
    in.read(head.data(), 9);
    EXPECT_EQ(head, "REGEDIT4\n");
}

}  // namespace
}  // namespace quipix
