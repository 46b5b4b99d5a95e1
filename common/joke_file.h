// Joke files: a small INI-style header naming the layout ("SINGLE", "Q&A" or
// "ML") and an optional description, a "[Data]" line, then the jokes. The
// parser picks one joke at random and returns it as joke lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quipix {

// Lines end at CR LF, a lone CR or a lone LF; a NUL ends the text.
std::vector<std::string_view> SplitJokeLines(std::string_view text);

// The value of key in section, or "" (see joke_file.cpp for the header rules).
std::string ReadIniValue(std::string_view text, std::string_view section, std::string_view key);

// The field splitter of the SINGLE layout: runs of non-delimiter characters.
int CountFields(std::string_view text, std::string_view delimiters);
std::string GetField(int n, std::string_view text, std::string_view delimiters);

// The whole file, or nothing when it is missing, unreadable or too large.
std::optional<std::string> ReadJokeFileBytes(const std::string& path);
bool JokeFileExists(const std::string& path);  // a regular file, not a folder

// The "Description" of the "Header" section; "" when there is none. Never fails.
std::string ReadJokeFileDescription(const std::string& path);

// Clears lines, then fills them with one joke picked at random from the file.
// A file that is missing, unreadable, malformed or holds no joke leaves them
// empty; nothing is raised. The Q&A layout falls back on
// Settings.CurrentDescription for a question without answers.
void ParseJokeFile(const std::string& path, std::vector<std::string>& lines);

// The same over the file's bytes, with the description to use for Q&A.
void ParseJokeText(std::string_view bytes, const std::string& currentDescription,
                   std::vector<std::string>& lines);

}  // namespace quipix
