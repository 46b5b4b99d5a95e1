#include "platform/help_topic.h"

#include "platform/languages.h"

namespace quipix::platform {

std::string HelpTopicPath(int context, const std::vector<std::string>& languages,
                          const std::function<bool(const std::string& relative)>& exists) {
    const std::string file = std::to_string(context) + ".html";
    const std::string language =
        PreferredLanguage(languages, [&](const std::string& folder) { return exists(folder + "/" + file); });
    return language.empty() ? file : language + "/" + file;
}

}  // namespace quipix::platform
