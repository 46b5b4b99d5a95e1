#include "platform/help_topic.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quipix::platform {
namespace {

TEST(HelpTopicPath, IsThePreferredLanguagesTopicElseEnglishTopicByTopic) {
    using L = std::vector<std::string>;
    // German complete, Brazilian Portuguese without 4000.
    const L files = {"1000.html", "4000.html", "de/1000.html", "de/4000.html", "pt_BR/1000.html"};
    const auto exists = [&files](const std::string& relative) {
        return std::find(files.begin(), files.end(), relative) != files.end();
    };
    const struct {
        int context;
        L languages;
        std::string expected;
    } cases[] = {
        {1000, {}, "1000.html"},
        {1000, {"pt_BR", "pt", "de"}, "pt_BR/1000.html"},
        {4000, {"pt_BR", "pt", "de"}, "de/4000.html"},
        {4000, {"pt_BR", "pt"}, "4000.html"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HelpTopicPath(c.context, c.languages, exists), c.expected) << c.context;
}

}  // namespace
}  // namespace quipix::platform
