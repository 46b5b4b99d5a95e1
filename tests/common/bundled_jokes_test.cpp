// The bundled joke collection: every file loads, every layout is there, and every
// joke in it can be told.
#include <gtest/gtest.h>

#include <set>

#include "common/joke_file.h"
#include "common/joke_library.h"
#include "common/random.h"
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

TEST(BundledJokes, EveryFileTellsJokesInAllLayouts) {
    const std::string dir = platform::BundledJokesDirectory();
    auto files = ListJokeFiles(dir);
    ASSERT_GE(files.size(), 4u);
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
    EXPECT_GE(total, 150);
    EXPECT_EQ(formats, (std::set<std::string>{"SINGLE", "Q&A", "ML"}));
    EXPECT_TRUE(withDescription);
    EXPECT_TRUE(withoutDescription);
}

}  // namespace
}  // namespace quipix
