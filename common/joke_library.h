// The joke library: counts the jokes shown, switches to a random joke file of the
// folder after ChangeAfter jokes, and turns one random joke of the current file
// into Settings.CurrentQuestion and Settings.CurrentAnswer.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quipix {

// Called once per joke. May change JokeFile and save the settings; errors of the
// settings store pass through. A file that yields no joke leaves the defaults.
void NextJoke();
// Picks a joke file of the folder at random into JokeFile and saves the settings.
// Nothing happens when the folder holds no joke file.
void PickRandomJokeFile();

// The folder that holds the joke files: Directory, or the bundled jokes in the
// user's language when it is empty.
std::string JokeDirectory();
// The bundled jokes in the user's language: the subfolder of the bundled folder
// that BundledJokeLanguage picks, else the bundled folder itself, whose jokes are
// English.
std::string BundledJokeDirectory();
// Which of the bundled language folders (named by tag: "de", "pt_BR") to tell jokes
// from, for wanted languages in the order of platform::UserLanguages(): the first
// wanted tag that names a folder, a bare language also taking a folder of one of its
// regions ("pt" -> "pt_BR"). Empty for English: when an English tag comes first or
// no wanted language has a folder.
std::string BundledJokeLanguage(const std::vector<std::string>& wanted,
                                const std::vector<std::string>& folders);
// Directory and file name joined; a trailing "/" or "\" counts as the separator.
std::string JoinJokePath(const std::string& directory, const std::string& file);
// The *.txt files of a folder (any letter case), without hidden files and
// folders, sorted by name.
std::vector<std::string> ListJokeFiles(const std::string& directory);
// The path of file in directory; a name that differs only in letter case from
// the file on disk still finds it. Nothing when there is no such file.
std::optional<std::string> FindJokeFile(const std::string& directory, const std::string& file);

}  // namespace quipix
