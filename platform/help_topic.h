// Which file shows a help topic: the help folder holds the English topics and a
// folder per language beside them (help/de/1000.html), each a full set.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quipix::platform {

// The topic of context in the preferred language (PreferredLanguage) whose folder has
// it, as a path relative to the help folder with '/' between folder and file:
// "de/1000.html"; else the English "1000.html". exists answers for such a path.
std::string HelpTopicPath(int context, const std::vector<std::string>& languages,
                          const std::function<bool(const std::string& relative)>& exists);

}  // namespace quipix::platform
