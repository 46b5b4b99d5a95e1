// The joke library.
#include "common/joke_library.h"

#include <algorithm>
#include <filesystem>

#include "common/ascii.h"
#include "common/joke_file.h"
#include "common/random.h"
#include "common/settings.h"
#include "platform/languages.h"
#include "platform/platform.h"

namespace quipix {

namespace fs = std::filesystem;

namespace {

bool IsJokeFileName(const std::string& name) {
    return name.size() > 4 && name.front() != '.' && ascii::SameText(name.substr(name.size() - 4), ".txt");
}

}  // namespace

std::string JokeDirectory() {
    return Settings.Directory.empty() ? BundledJokeDirectory() : Settings.Directory;
}

std::string BundledJokeDirectory() {
    const std::string bundled = platform::BundledJokesDirectory();
    const std::string language =
        platform::PreferredLanguage(platform::UserLanguages(), [&](const std::string& folder) {
            std::error_code ec;
            return fs::is_directory(fs::path(bundled) / folder, ec);
        });
    return language.empty() ? bundled : JoinJokePath(bundled, language);
}

std::string JoinJokePath(const std::string& directory, const std::string& file) {
    if (directory.empty()) return file;
    if (directory.back() == '/') return directory + file;
    if (directory.back() == '\\') return directory.substr(0, directory.size() - 1) + "/" + file;
    return directory + "/" + file;
}

std::vector<std::string> ListJokeFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    const std::string folder = JoinJokePath(directory, "");
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (IsJokeFileName(name) && it->is_regular_file(typeError)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> FindJokeFile(const std::string& directory, const std::string& file) {
    if (file.empty()) return std::nullopt;
    std::string path = JoinJokePath(directory, file);
    if (JokeFileExists(path)) return path;
    if (file.find('/') != std::string::npos) return std::nullopt;
    std::error_code ec;
    const std::string folder = JoinJokePath(directory, "");
    std::vector<std::string> matches;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (ascii::SameText(name, file) && it->is_regular_file(typeError)) matches.push_back(std::move(name));
    }
    if (matches.empty()) return std::nullopt;
    std::sort(matches.begin(), matches.end());
    return JoinJokePath(directory, matches.front());
}

void PickRandomJokeFile() {
    auto names = ListJokeFiles(JokeDirectory());
    if (names.empty()) return;
    Settings.JokeFile = names[Random(std::uint32_t(names.size()))];
    // A store that cannot be written (a read-only settings folder), or one that is
    // never written because it cannot be read, only means the choice is not
    // remembered; the saver goes on with the new file.
    try {
        SaveSettings();
    } catch (const ERegistryException&) {}
}

void NextJoke() {
    Randomize();
    Settings.CurrentQuestion = Settings.DefaultQuestion;
    Settings.CurrentAnswer = Settings.DefaultAnswer;
    ++Settings.JokeCounter;
    if (std::int64_t(Settings.JokeCounter) >= std::int64_t(Settings.ChangeAfter)) {
        Settings.JokeCounter = 1;
        // A cleared "Change the Joke file after" box keeps the file.
        if (Settings.Change) PickRandomJokeFile();
    }
    const std::string directory = JokeDirectory();
    auto path = FindJokeFile(directory, Settings.JokeFile);
    // A file stored before the bundled jokes came in other languages is an English
    // one, and still told.
    if (!path && Settings.Directory.empty())
        path = FindJokeFile(platform::BundledJokesDirectory(), Settings.JokeFile);
    if (!path && Settings.Directory.empty()) {
        // First run: nothing chosen yet, so start on a random bundled file in the
        // user's language.
        PickRandomJokeFile();
        path = FindJokeFile(directory, Settings.JokeFile);
    }
    if (!path) return;
    Settings.CurrentDescription = ReadJokeFileDescription(*path);
    std::vector<std::string> lines;
    ParseJokeFile(*path, lines);
    if (lines.empty()) return;
    if (lines.size() == 1) {
        if (!Settings.CurrentDescription.empty()) Settings.CurrentQuestion = Settings.CurrentDescription;
        Settings.CurrentAnswer = lines[0];
        return;
    }
    Settings.CurrentQuestion = lines[0];
    std::string answer = lines[1];
    for (size_t i = 2; i < lines.size(); ++i) answer += "\r\n" + lines[i];
    Settings.CurrentAnswer = std::move(answer);
}

}  // namespace quipix
