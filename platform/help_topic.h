// Which file shows a help topic: the help folder holds the English topics and a
// folder per language beside them (help/de/1000.html), each a full set.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quipix::platform {

// The topic of context in the first of languages (UserLanguages(), most wanted first)
// whose folder has it, as a path relative to the help folder with '/' between folder
// and file: "de/1000.html"; else the English "1000.html". English in the list ends the
// search, so a user who puts it before German reads English. A tag that is not a plain
// folder name is passed over. exists answers for such a relative path.
std::string HelpTopicPath(int context, const std::vector<std::string>& languages,
                          const std::function<bool(const std::string& relative)>& exists);

// A language tag that may name a folder: letters, digits and '_' only, as a tag from
// the environment or a resource name becomes part of a path.
bool IsLanguageFolder(std::string_view tag);

}  // namespace quipix::platform
