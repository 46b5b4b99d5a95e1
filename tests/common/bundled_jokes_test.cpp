// The bundled joke collection: every file loads, every layout is there, and every
// joke in it can be told.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string_view>
#include <vector>

#include "common/joke_file.h"
#include "common/joke_library.h"
#include "common/random.h"
#include "platform/languages.h"
#include "platform/platform.h"

namespace quipix {
namespace {

int CountJokes(const std::string& text, std::string& format) {
    auto lines = SplitJokeLines(text);
    size_t d = 0;
    while (d < lines.size() && lines[d] != "[Data]") ++d;
    int count = 0;
    for (size_t i = d + 1; i < lines.size(); ++i) {
        auto l = lines[i];
        if (format == "SINGLE" && !l.empty() && l.front() != ';') ++count;
        if (format == "Q&A" && l.starts_with("Q: ")) ++count;
        if (format == "ML" && l == "<START>") ++count;
    }
    return count;
}

// Every language folder, and the English jokes in the bundled folder itself, holds
// all three layouts, told in files of more than ten jokes each.
TEST(BundledJokes, EveryFileTellsJokesInAllLayouts) {
    const std::string bundled = platform::BundledJokesDirectory();
    struct Folder {
        std::string language;
        int least;  // jokes in the language's files together
    };
    std::vector<Folder> folders{{"", 150}};
    for (const std::string_view language : platform::kTranslatedLanguages)
        folders.push_back({std::string(language), 40});
    // Exactly the program's languages: a folder of another would never be chosen.
    std::set<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(bundled))
        if (entry.is_directory()) listed.insert(entry.path().filename().string());
    EXPECT_EQ(listed, std::set<std::string>(platform::kTranslatedLanguages.begin(),
                                            platform::kTranslatedLanguages.end()));
    for (const auto& folder : folders) {
        const std::string dir = folder.language.empty() ? bundled : bundled + "/" + folder.language;
        SCOPED_TRACE(dir);
        auto files = ListJokeFiles(dir);
        ASSERT_GE(files.size(), 3u);
        int total = 0;
        std::set<std::string> formats;
        bool withDescription = false, withoutDescription = false;
        for (const auto& name : files) {
            auto text = ReadJokeFileBytes(dir + "/" + name);
            ASSERT_TRUE(text) << name;
            std::string format = ReadIniValue(*text, "Header", "Format");
            formats.insert(format);
            const bool described = !ReadIniValue(*text, "Header", "Description").empty();
            (described ? withDescription : withoutDescription) = true;
            const int jokes = CountJokes(*text, format);
            EXPECT_GT(jokes, 10) << name;
            total += jokes;
            // Each joke parses into a question and an answer, or an answer under the
            // description; never an empty line.
            for (std::uint32_t seed = 0; seed < 50; ++seed) {
                SetRandSeed(seed);
                std::vector<std::string> lines;
                ParseJokeText(*text, ReadIniValue(*text, "Header", "Description"), lines);
                ASSERT_GE(lines.size(), 2u) << name;
                for (const auto& l : lines) EXPECT_FALSE(l.empty()) << name;
                for (const auto& l : lines) EXPECT_LT(l.size(), 160u) << name << ": " << l;
            }
        }
        EXPECT_GE(total, folder.least);
        EXPECT_EQ(formats, (std::set<std::string>{"SINGLE", "Q&A", "ML"}));
        EXPECT_TRUE(withDescription);
        // The English files show both kinds; the others each name their file in
        // their own language.
        EXPECT_EQ(withoutDescription, folder.language.empty());
    }
}

}  // namespace
}  // namespace quipix
