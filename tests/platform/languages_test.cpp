#include "platform/languages.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(PreferredLanguage, IsTheFirstWantedThatIsThereElseEnglish) {
    using L = std::vector<std::string>;
    // What is there in these cases: German, Japanese and Brazilian Portuguese.
    const L there = {"de", "ja", "pt_BR"};
    const auto has = [&there](const std::string& folder) {
        return std::find(there.begin(), there.end(), folder) != there.end();
    };
    const struct {
        L wanted;
        std::string language;
    } cases[] = {
        {{}, ""},                                // the C locale: English
        {{"de_AT", "de"}, "de"},                 // a region falls back to its language
        {{"pt_BR", "pt", "de"}, "pt_BR"},        // the tag before its language
        {{"pt_PT", "pt"}, "pt_BR"},              // a language takes one of its regions
        {{"sv_SE", "sv", "ja_JP", "ja"}, "ja"},  // nothing Swedish: the next language
        {{"en_GB", "en", "de"}, ""},             // English wanted before German
        {{"fr_FR", "fr"}, ""},                   // translated, but not there
        {{"../de", "de"}, "de"},                 // only the program's own tags become paths
    };
    for (const auto& c : cases)
        EXPECT_EQ(PreferredLanguage(c.wanted, has), c.language) << ::testing::PrintToString(c.wanted);
}

}  // namespace
}  // namespace quipix::platform
