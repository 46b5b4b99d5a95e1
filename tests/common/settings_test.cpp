// LoadSettings and SaveSettings against the file store in a temporary folder.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include "common/random.h"
#include "common/settings.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace quipix {
namespace {

using platform::RegValue;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings = TSettings{};
        path_ = (dir_.path() / "Kelvara" / "Quipix.reg").string();
        store_ = std::make_shared<platform::FileRegistry>(path_);
        platform::InstallRegistry(store_);
    }
    void TearDown() override { platform::InstallRegistry(nullptr); }

    // Writes one value straight into the store, creating its subkey.
    void Put(const std::string& subkey, const std::string& name, const RegValue& value) {
        const std::string key = std::string(kSettingsKey) + "\\" + subkey;
        ASSERT_TRUE(store_->CreateKey(key));
        ASSERT_TRUE(store_->WriteValue(key, name, value));
    }
    std::optional<RegValue> Get(const std::string& subkey, const std::string& name) {
        return store_->ReadValue(std::string(kSettingsKey) + "\\" + subkey, name);
    }
    std::string FileText() {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test::TempDir dir_;
    std::string path_;
    std::shared_ptr<platform::FileRegistry> store_;
};

TEST_F(SettingsTest, EmptyStoreGivesDefaultsReseedsAndStaysEmpty) {
    Settings.JokeCounter = 9;
    LoadSettings();
    EXPECT_EQ(Settings.Speed, 5);
    EXPECT_EQ(Settings.FadeMode, fade_mode::FadeToBlack);
    EXPECT_EQ(Settings.JokeFile, "");
    EXPECT_EQ(Settings.Directory, "");
    EXPECT_FALSE(Settings.Change);
    EXPECT_EQ(Settings.ChangeAfter, 25);
    EXPECT_EQ(Settings.Bitmap, "");
    EXPECT_EQ(Settings.SolidColor, 0);
    EXPECT_EQ(Settings.FromColor, 0x800000);
    EXPECT_EQ(Settings.ToColor, 0);
    EXPECT_FALSE(Settings.Tiled);
    EXPECT_EQ(Settings.BackgroundType, background_type::Solid);
    TJokeTextSettings text{
        .Face = "Arial", .Color = 255, .Size = 24, .Speed = 5, .Bold = true, .ThreeD = true};
    EXPECT_EQ(Settings.Question, text);
    text.Color = 0xFF0000;
    EXPECT_EQ(Settings.Answer, text);
    EXPECT_EQ(Settings.Pause, 4);
    EXPECT_EQ(Settings.DefaultQuestion, "These are the default question and answer");
    EXPECT_EQ(Settings.DefaultAnswer,
              "Please ensure that you select a valid joke file to get the most from this screen saver");
    EXPECT_EQ(Settings.JokeCounter, 0u);
    // Loading reseeds the random numbers from the clock.
    SetRandomizeClock([] { return 777u; });
    LoadSettings();
    SetRandomizeClock(nullptr);
    EXPECT_EQ(RandSeed(), 777u);

    // Only saving writes: a dialog closed with Cancel leaves no trace.
    EXPECT_FALSE(store_->KeyExists(kSettingsKey));
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(SettingsTest, IntegersUseTheStrictSyntaxWithHexPrefixes) {
    const std::map<std::string, std::int32_t> cases = {
        {"0x10", 16},    {"0X10", 16}, {"$10", 16}, {"  16", 16}, {"16 ", 25},
        {"sixteen", 25}, {"", 25},     {"0x", 25},  {"-3", -3},   {"0xFFFFFFFF", -1},
    };
    for (const auto& [text, expected] : cases) {
        Put("General", "ChangeAfter", RegValue::String(text));
        LoadSettings();
        EXPECT_EQ(Settings.ChangeAfter, expected) << '"' << text << '"';
    }
}

TEST_F(SettingsTest, BooleansReadAsIntegers) {
    const std::map<std::string, bool> cases = {{"0", false},   {"1", true}, {"2", true},   {"-1", true},
                                               {"0x1F", true}, {"", true},  {"yes", true}, {"0x0", false}};
    for (const auto& [text, expected] : cases) {
        Put("Question", "Bold", RegValue::String(text));
        Put("Background", "Tiled", RegValue::String(text));
        LoadSettings();
        EXPECT_EQ(Settings.Question.Bold, expected) << '"' << text << '"';
        // "Tiled" defaults to false, so a text that is no number reads false.
        bool number = text == "0" || text == "1" || text == "2" || text == "-1" || text.starts_with("0x");
        EXPECT_EQ(Settings.Tiled, number ? expected : false) << '"' << text << '"';
    }
}

TEST_F(SettingsTest, TextsAreTakenAsStoredUpToANul) {
    Put("Question", "Face", RegValue::String(""));
    Put("Answer", "Face", RegValue::String(std::string("Times\0junk", 10)));
    Put("General", "Directory", RegValue::ExpandString("/home/someone/jokes"));
    LoadSettings();
    EXPECT_EQ(Settings.Question.Face, "");
    EXPECT_EQ(Settings.Answer.Face, "Times");
    EXPECT_EQ(Settings.Directory, "/home/someone/jokes");
}

TEST_F(SettingsTest, ANonStringValueStopsLoadingAtThatValue) {
    Put("General", "Speed", RegValue::String("7"));
    Put("General", "ChangeAfter", RegValue::DWord(10));
    Put("Question", "Size", RegValue::String("40"));
    Settings.ChangeAfter = -1;
    Settings.Bitmap = "previous";
    Settings.Question.Size = -2;
    EXPECT_EQ(test::Thrown<ERegistryException>(LoadSettings), "Invalid data type for 'ChangeAfter'");
    EXPECT_EQ(Settings.Speed, 7);            // read before the bad value
    EXPECT_EQ(Settings.ChangeAfter, -1);     // untouched
    EXPECT_EQ(Settings.Bitmap, "previous");  // later fields keep their contents
    EXPECT_EQ(Settings.Question.Size, -2);
}

TEST_F(SettingsTest, PauseComesLastAndFollowsTheTypeRule) {
    Put("Answer", "3D", RegValue::String("0"));
    Put("General", "Pause", RegValue::DWord(10));
    Settings.Pause = -7;
    EXPECT_EQ(test::Thrown<ERegistryException>(LoadSettings), "Invalid data type for 'Pause'");
    EXPECT_FALSE(Settings.Answer.ThreeD);  // every older value was read before it
    EXPECT_EQ(Settings.Pause, -7);
    Put("General", "Pause", RegValue::String("0x1E"));
    LoadSettings();
    EXPECT_EQ(Settings.Pause, 30);
}

TEST_F(SettingsTest, SaveWritesAll27StringsAndLoadsThemBack) {
    LoadSettings();
    Settings.Speed = 9;
    Settings.JokeFile = "puns.txt";
    Settings.Directory = "/srv/jokes\\";
    Settings.Change = true;
    Settings.SolidColor = std::int32_t(0x8000000F);  // a system colour
    Settings.ToColor = 0x123456;
    Settings.Question.Face = "Liberation \"Sans\"";
    Settings.Answer.Italic = true;
    Settings.Answer.ThreeD = false;
    Settings.Pause = 12;
    Settings.DefaultQuestion = "not stored";
    SaveSettings();

    EXPECT_EQ(Get("Background", "Solid Color"), RegValue::String("-2147483633"));
    EXPECT_EQ(Get("General", "Change"), RegValue::String("1"));
    EXPECT_EQ(Get("Answer", "3D"), RegValue::String("0"));
    EXPECT_EQ(Get("General", "Pause"), RegValue::String("12"));
    const std::string text = FileText();
    EXPECT_EQ(text.find("not stored"), std::string::npos);
    size_t values = 0;
    for (size_t p = 0; (p = text.find("\"=\"", p)) != std::string::npos; ++p) ++values;
    EXPECT_EQ(values, 27u);

    TSettings saved = Settings;
    Settings = TSettings{};
    LoadSettings();
    EXPECT_EQ(Settings.Speed, 9);
    EXPECT_EQ(Settings.JokeFile, "puns.txt");
    EXPECT_EQ(Settings.Directory, "/srv/jokes\\");
    EXPECT_TRUE(Settings.Change);
    EXPECT_EQ(Settings.SolidColor, saved.SolidColor);
    EXPECT_EQ(Settings.ToColor, 0x123456);
    EXPECT_EQ(Settings.Question.Face, "Liberation \"Sans\"");
    EXPECT_TRUE(Settings.Answer.Italic);
    EXPECT_FALSE(Settings.Answer.ThreeD);
    EXPECT_EQ(Settings.Pause, 12);
    EXPECT_EQ(Settings.DefaultQuestion, kDefaultQuestionText);
}

#ifdef __linux__
// Counts what happens in the store's folder while f runs.
struct FolderEvents {
    int replacements = 0;  // renames onto the store's file
    int created = 0;       // files created
};
template <typename F>
FolderEvents WatchFolder(const std::filesystem::path& folder, F f) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(fd, 0);
    inotify_add_watch(fd, folder.c_str(), IN_MOVED_TO | IN_CREATE);
    f();
    FolderEvents events;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            if ((e->mask & IN_MOVED_TO) && std::string(e->name) == "Quipix.reg") ++events.replacements;
            if (e->mask & IN_CREATE) ++events.created;
            p += sizeof(inotify_event) + e->len;
        }
    }
    close(fd);
    return events;
}

TEST_F(SettingsTest, ASaveReplacesTheStoreOnceWithTheWholeRecordOrNotAtAll) {
    LoadSettings();
    SaveSettings();
    const std::string before = FileText();
    const auto folder = std::filesystem::path(path_).parent_path();
    Settings.Speed = 9;
    Settings.Question.Face = "Liberation Serif";
    Settings.Answer.ThreeD = false;
    auto events = WatchFolder(folder, [] { SaveSettings(); });
    EXPECT_EQ(events.replacements, 1);
    EXPECT_EQ(events.created, 1);  // the one temporary file

    // Nothing changed: nothing written.
    EXPECT_EQ(WatchFolder(folder, [] { SaveSettings(); }).replacements, 0);

    // A record the store refuses (too large to load back) leaves the file as it was,
    // not with the fields before the refused one already changed.
    const std::string saved = FileText();
    EXPECT_NE(saved, before);
    Settings.Speed = 3;
    Settings.Bitmap.assign(platform::kMaxRegFileSize, 'x');
    EXPECT_EQ(test::Thrown<ERegistryException>(SaveSettings),
              "Failed to set data for 'Speed'\nCannot save the settings to " + path_ +
                  ": the settings would be larger than 4 MiB");
    EXPECT_EQ(FileText(), saved);
    LoadSettings();
    EXPECT_EQ(Settings.Speed, 9);
}
#endif

TEST_F(SettingsTest, ReadsAWindowsExport) {
    std::filesystem::create_directories(dir_.path() / "Kelvara");
    std::ofstream(path_, std::ios::binary) << "REGEDIT4\r\n\r\n"
                                              "[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\r\n"
                                              "\"Speed\"=\"3\"\r\n"
                                              "\"Directory\"=\"C:\\\\Jokes\\\\\"\r\n"
                                              "[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Answer]\r\n"
                                              "\"Color\"=\"-16777201\"\r\n";
    LoadSettings();
    EXPECT_EQ(Settings.Speed, 3);
    EXPECT_EQ(Settings.Directory, "C:\\Jokes\\");
    EXPECT_EQ(Settings.Answer.Color, -16777201);
}

TEST_F(SettingsTest, AStoreThatCannotBeCreatedFailsSavingWithTheSubkeyNameAndTheReason) {
    // A regular file where the folder should be: no process can create it.
    std::ofstream(dir_.path() / "blocked") << "x";
    const std::string blocked = (dir_.path() / "blocked" / "Quipix.reg").string();
    platform::InstallRegistry(std::make_shared<platform::FileRegistry>(blocked));
    LoadSettings();  // reading still works and gives the defaults
    EXPECT_EQ(Settings.Speed, 5);
    const std::string error = test::Thrown<ERegistryException>(SaveSettings);
    // The system's words for it differ from system to system.
    const std::string start = "Failed to create key General\nCannot save the settings to " + blocked + ": ";
    EXPECT_TRUE(error.starts_with(start)) << error;
    EXPECT_GT(error.size(), start.size()) << error;
}

// A store where one value cannot be set, though its keys exist.
class ReadOnlyValues : public platform::Registry {
public:
    explicit ReadOnlyValues(std::string failing) : failing(std::move(failing)) {}
    bool KeyExists(const std::string&) override { return true; }
    bool CreateKey(const std::string&) override { return true; }
    std::optional<RegValue> ReadValue(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    bool WriteValue(const std::string&, const std::string& name, const RegValue&) override {
        ++writes;
        return name != failing;
    }
    std::string failing;
    int writes = 0;
};

TEST_F(SettingsTest, AValueThatCannotBeSetStopsSavingWithItsName) {
    // Writes happen in table order: "Speed" first, "Pause" after all the others.
    const std::pair<std::string, int> cases[] = {{"Fade Mode", 2}, {"Pause", 27}};
    for (const auto& [failing, writes] : cases) {
        auto store = std::make_shared<ReadOnlyValues>(failing);
        platform::InstallRegistry(store);
        EXPECT_EQ(test::Thrown<ERegistryException>(SaveSettings), "Failed to set data for '" + failing + "'");
        EXPECT_EQ(store->writes, writes) << failing;
    }
}

}  // namespace
}  // namespace quipix
