#include "platform/help_topic.h"

#include <algorithm>

namespace quipix::platform {

namespace {

bool IsEnglish(const std::string& tag) { return tag == "en" || tag.starts_with("en_"); }

}  // namespace

bool IsLanguageFolder(std::string_view tag) {
    return !tag.empty() && tag.size() <= 16 && std::all_of(tag.begin(), tag.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::string HelpTopicPath(int context, const std::vector<std::string>& languages,
                          const std::function<bool(const std::string& relative)>& exists) {
    const std::string file = std::to_string(context) + ".html";
    for (const std::string& tag : languages) {
        if (IsEnglish(tag)) break;
        if (!IsLanguageFolder(tag)) continue;
        std::string translated = tag + "/" + file;
        if (exists(translated)) return translated;
    }
    return file;
}

}  // namespace quipix::platform
