#include "platform/languages.h"

#include <algorithm>

namespace quipix::platform {

std::string NormalizeLanguageTag(std::string_view tag) {
    tag = tag.substr(0, tag.find_first_of(".@"));
    std::string normal(tag);
    std::replace(normal.begin(), normal.end(), '-', '_');
    return normal;
}

std::vector<std::string> LanguagesFromEnvironment(const char* language, const char* lcAll,
                                                  const char* lcMessages, const char* lang) {
    std::string_view locale;
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value && *value) {
            locale = value;
            break;
        }
    }
    if (locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.")) return {};
    std::string_view list = language && *language ? std::string_view(language) : locale;
    std::vector<std::string> languages;
    const auto add = [&languages](std::string tag) {
        if (!tag.empty() && std::find(languages.begin(), languages.end(), tag) == languages.end())
            languages.push_back(std::move(tag));
    };
    while (!list.empty()) {
        const auto colon = list.find(':');
        const std::string tag = NormalizeLanguageTag(list.substr(0, colon));
        add(tag);
        add(tag.substr(0, tag.find('_')));
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    return languages;
}

}  // namespace quipix::platform
