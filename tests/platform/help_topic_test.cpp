#include "platform/help_topic.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quipix::platform {
namespace {

TEST(HelpTopicPath, TakesTheFirstLanguageThatHasTheTopicElseEnglish) {
    using L = std::vector<std::string>;
    // The help folder of these cases: German complete, Brazilian Portuguese without 4000.
    const L files = {"1000.html", "4000.html", "de/1000.html", "de/4000.html", "pt_BR/1000.html"};
    const auto exists = [&files](const std::string& relative) {
        return std::find(files.begin(), files.end(), relative) != files.end();
    };
    struct Case {
        int context;
        L languages;
        std::string expected;
    } const cases[] = {
        {1000, {}, "1000.html"},
        {1000, {"de_DE", "de"}, "de/1000.html"},
        {1000, {"pt_BR", "pt", "de"}, "pt_BR/1000.html"},
        // Topic by topic: a translation that lacks one falls to the next language.
        {4000, {"pt_BR", "pt", "de"}, "de/4000.html"},
        {4000, {"pt_BR", "pt"}, "4000.html"},
        {1000, {"fr_FR", "fr"}, "1000.html"},
        // English asked for before German wins.
        {1000, {"en_GB", "en", "de"}, "1000.html"},
        {1000, {"en", "de"}, "1000.html"},
        // A tag that is not a folder name never becomes part of a path.
        {1000, {"../de", "de"}, "de/1000.html"},
        {1000, {"", "de"}, "de/1000.html"},
    };
    for (const auto& c : cases) {
        std::string asked;
        for (const auto& tag : c.languages) asked += tag + ":";
        EXPECT_EQ(HelpTopicPath(c.context, c.languages, exists), c.expected) << c.context << " " << asked;
    }
}

}  // namespace
}  // namespace quipix::platform
