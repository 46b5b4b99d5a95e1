// The languages the user reads, most wanted first. Translations, help topics and the
// first choice of bundled jokes all follow this one list; English, the program's own
// language, is what remains when nothing in it is available.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quipix::platform {

// POSIX-style tags, each followed by its bare language where it names a region:
// {"pt_BR", "pt", "de"}. Empty in the C locale. Linux reads the environment as
// gettext does; Windows asks for the user's UI language.
std::vector<std::string> UserLanguages();

// The environment's rule: LANGUAGE (a colon-separated list) leads unless the locale
// (the first set of LC_ALL, LC_MESSAGES, LANG) is C or POSIX, which means untranslated.
// Null pointers stand for unset variables.
std::vector<std::string> LanguagesFromEnvironment(const char* language, const char* lcAll,
                                                  const char* lcMessages, const char* lang);

// "pt-BR", "pt_BR.UTF-8", "de_DE@euro" -> "pt_BR", "pt_BR", "de_DE".
std::string NormalizeLanguageTag(std::string_view tag);

// The languages the program speaks besides English: each has its messages, help
// topics and bundled jokes, in folders named by these tags.
inline constexpr std::array<std::string_view, 9> kTranslatedLanguages = {"de", "es", "fr",    "it",   "ja",
                                                                         "nl", "pl", "pt_BR", "zh_CN"};

// Which translation to show, for wanted languages in the order of UserLanguages(): the
// first wanted tag among kTranslatedLanguages for which has() answers true, a bare
// language also taking one of its regions ("pt" -> "pt_BR"). "" for English: when an
// English tag comes first, or nothing wanted is there.
std::string PreferredLanguage(const std::vector<std::string>& wanted,
                              const std::function<bool(const std::string& language)>& has);

// A language tag that may name a folder: letters, digits and '_' only, as a tag from
// the environment or a resource name becomes part of a path.
bool IsLanguageFolder(std::string_view tag);

}  // namespace quipix::platform
