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
// The bundled jokes in the user's language: the language's subfolder of the bundled
// folder (platform::PreferredLanguage), else the bundled folder itself, whose jokes
// are English.
std::string BundledJokeDirectory();
// Directory and file name joined; a trailing "/" or "\" counts as the separator.
std::string JoinJokePath(const std::string& directory, const std::string& file);
// The *.txt files of a folder (any letter case), without hidden files and
// folders, sorted by name.
std::vector<std::string> ListJokeFiles(const std::string& directory);
// The path of file in directory; a name that differs only in letter case from
// the file on disk still finds it. Nothing when there is no such file.
std::optional<std::string> FindJokeFile(const std::string& directory, const std::string& file);

}  // namespace quipix
