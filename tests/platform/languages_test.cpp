#include "platform/languages.h"

#include <gtest/gtest.h>

namespace quipix::platform {
namespace {

TEST(UserLanguages, FollowTheEnvironmentAsGettextDoes) {
    using L = std::vector<std::string>;
    struct Case {
        const char *language, *lcAll, *lcMessages, *lang;
        L expected;
    } const cases[] = {
        {nullptr, nullptr, nullptr, nullptr, {}},
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", {"de_DE", "de"}},
        {nullptr, nullptr, "fr_FR@euro", "de_DE.UTF-8", {"fr_FR", "fr"}},
        {nullptr, "ja_JP.UTF-8", "fr_FR", "de_DE", {"ja_JP", "ja"}},
        {"pt_BR:pt:en", nullptr, nullptr, "de_DE.UTF-8", {"pt_BR", "pt", "en"}},
        {"zh-CN:de", "", "", "it_IT.UTF-8", {"zh_CN", "zh", "de"}},
        // The C locale means untranslated, whatever LANGUAGE asks for.
        {"de", nullptr, nullptr, "C", {}},
        {"de", "C.UTF-8", nullptr, "de_DE", {}},
        {"de", nullptr, "POSIX", nullptr, {}},
        {"", nullptr, nullptr, "nl", {"nl"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguagesFromEnvironment(c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.language ? c.language : "-") << " / " << (c.lang ? c.lang : "-");
}

}  // namespace
}  // namespace quipix::platform
