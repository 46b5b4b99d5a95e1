#include "platform/languages.h"

#include <algorithm>

namespace quipix::platform {

std::string NormalizeLanguageTag(std::string_view tag) {
    tag = tag.substr(0, tag.find_first_of(".@"));
    std::string normal(tag);
    std::replace(normal.begin(), normal.end(), '-', '_');
    return normal;
}

std::string PreferredLanguage(const std::vector<std::string>& wanted,
                              const std::function<bool(const std::string& language)>& has) {
    for (const std::string& tag : wanted) {
        if (tag == "en" || tag.starts_with("en_")) return {};
        const bool bare = tag.find('_') == std::string::npos;
        for (const std::string_view shipped : kTranslatedLanguages) {
            const bool matches = shipped == tag || (bare && shipped.starts_with(tag + "_"));
            if (matches && has(std::string(shipped))) return std::string(shipped);
        }
    }
    return {};
}

bool IsLanguageFolder(std::string_view tag) {
    return !tag.empty() && tag.size() <= 16 && std::all_of(tag.begin(), tag.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
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
