// The joke file parser.
//
// The header is read the way the Windows profile reader reads it, with these
// choices where that reader's finer rules are not ours to copy:
//   - a section line is "[" name "]" after optional blanks; the name is trimmed
//     of blanks and anything after the "]" is ignored;
//   - a key line is name "=" value; blanks around the name and the value are
//     trimmed, and one pair of matching quotes ("..." or '...') around the
//     value is removed; nothing else is unquoted and there are no escapes;
//   - lines whose first non-blank character is ";" are comments; lines without
//     "=" are ignored; a ";" later in a line is part of the value;
//   - section and key names match regardless of ASCII letter case; a section or
//     key that appears more than once answers with its first occurrence;
//   - the value is cut to 1023 characters.
//
// Where the original scan could run past the end of the file (a Q&A file without
// questions, an ML file without a start marker or whose start marker ends the
// file, a SINGLE file with no joke line) this parser stops at the end and gives
// no joke, so one bad file can never end the saver.
#include "common/joke_file.h"

#include <sys/stat.h>

#include <cstdio>

#include "common/ascii.h"
#include "common/random.h"
#include "common/settings.h"
#include "imaging/stream.h"

namespace quipix {

namespace {

// Joke files are small; a larger file is not read at all.
constexpr std::uint64_t kMaxJokeFileSize = 64u << 20;
constexpr size_t kMaxIniValue = 1023;

using ascii::SameText;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

std::vector<std::string_view> SplitJokeLines(std::string_view text) {
    if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string ReadIniValue(std::string_view text, std::string_view section, std::string_view key) {
    bool inSection = false;
    for (std::string_view line : SplitJokeLines(text)) {
        auto t = Trim(line);
        if (t.empty() || t.front() == ';') continue;
        if (t.front() == '[') {
            auto close = t.find(']');
            auto name = close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
            inSection = SameText(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        auto eq = t.find('=');
        if (eq == std::string_view::npos || !SameText(Trim(t.substr(0, eq)), key)) continue;
        auto value = Trim(t.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value.substr(0, kMaxIniValue));
    }
    return {};
}

int CountFields(std::string_view text, std::string_view delimiters) {
    int count = 0;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && delimiters.find(text[i]) != std::string_view::npos) ++i;
        if (i == text.size()) break;
        ++count;
        while (i < text.size() && delimiters.find(text[i]) == std::string_view::npos) ++i;
    }
    return count;
}

std::string GetField(int n, std::string_view text, std::string_view delimiters) {
    int count = 0;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && delimiters.find(text[i]) != std::string_view::npos) ++i;
        if (i == text.size()) break;
        size_t start = i;
        while (i < text.size() && delimiters.find(text[i]) == std::string_view::npos) ++i;
        if (++count == n) return std::string(text.substr(start, i - start));
    }
    return {};
}

bool JokeFileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> ReadJokeFileBytes(const std::string& path) {
    std::int64_t size = 0;
    std::FILE* f = path.empty() ? nullptr : OpenRegularFile(path, size);
    if (!f) return std::nullopt;
    if (std::uint64_t(size) > kMaxJokeFileSize) {
        std::fclose(f);
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(size_t(size));
    char buf[65536];
    size_t got;
    bool tooLarge = false;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + got > kMaxJokeFileSize) {
            tooLarge = true;
            break;
        }
        bytes.append(buf, got);
    }
    bool failed = std::ferror(f) != 0 || tooLarge;
    std::fclose(f);
    if (failed) return std::nullopt;
    return bytes;
}

std::string ReadJokeFileDescription(const std::string& path) {
    auto bytes = ReadJokeFileBytes(path);
    return bytes ? ReadIniValue(*bytes, "Header", "Description") : std::string();
}

void ParseJokeText(std::string_view bytes, const std::string& currentDescription,
                   std::vector<std::string>& lines) {
    lines.clear();
    const std::string format = ascii::Upper(ReadIniValue(bytes, "Header", "Format"));
    if (format != "SINGLE" && format != "Q&A" && format != "ML") return;
    const auto all = SplitJokeLines(bytes);
    const size_t n = all.size();
    size_t d = 0;
    while (d < n && !SameText(all[d], "[Data]")) ++d;
    if (d == n) return;

    std::vector<size_t> candidates;
    if (format == "SINGLE") {
        for (size_t i = d + 1; i < n; ++i)
            if (!all[i].empty() && all[i].front() != ';') candidates.push_back(i);
        if (candidates.empty()) return;
        // One draw over the joke lines gives each the same chance as drawing over
        // all lines until a joke line comes up, and always ends.
        std::string_view joke = all[candidates[Random(std::uint32_t(candidates.size()))]];
        std::string description = ReadIniValue(bytes, "Header", "Description");
        if (!description.empty()) lines.push_back(std::move(description));
        const int fields = CountFields(joke, "|");
        for (int f = 1; f <= fields; ++f) lines.push_back(GetField(f, joke, "|"));
        return;
    }
    if (format == "Q&A") {
        for (size_t i = d + 1; i < n; ++i)
            if (all[i].starts_with("Q: ")) candidates.push_back(i);
        if (candidates.empty()) return;
        size_t i = candidates[Random(std::uint32_t(candidates.size()))];
        lines.emplace_back(all[i].substr(3));
        bool answered = false;
        while (++i < n && all[i].starts_with("A: ")) {
            lines.emplace_back(all[i].substr(3));
            answered = true;
        }
        if (!answered && !currentDescription.empty()) lines.push_back(currentDescription);
        return;
    }
    // ML
    for (size_t i = d + 1; i < n; ++i)
        if (SameText(all[i], "<START>")) candidates.push_back(i);
    if (candidates.empty()) return;
    size_t i = candidates[Random(std::uint32_t(candidates.size()))] + 1;
    if (i >= n) return;
    // The first line is taken whatever it holds; after it the scan stops at an
    // end marker or at the file's last line, which is never part of a joke.
    lines.emplace_back(all[i]);
    while (++i < n - 1 && !SameText(all[i], "<END>")) lines.emplace_back(all[i]);
}

void ParseJokeFile(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    auto bytes = ReadJokeFileBytes(path);
    if (!bytes) return;
    ParseJokeText(*bytes, Settings.CurrentDescription, lines);
}

}  // namespace quipix
