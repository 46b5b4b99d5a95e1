// The POSIX parts of the platform layer: no screen-saver password, and the data
// folder found beside the executable once installed.
#include <cstdlib>
#include <filesystem>

#include "platform/languages.h"
#include "platform/platform.h"

namespace quipix::platform {

// Linux has no screen-saver password of its own: the change request does nothing
// and closing never asks. Windows has its own in win32/native.cpp.
bool ChangeScreenSaverPasswordCall(WindowId) { return false; }
bool VerifyScreenSavePassword(WindowId) { return true; }

std::string DataDirectory() {
    namespace fs = std::filesystem;
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto installed = exe.parent_path() / ".." / "share" / "quipix";
        if (fs::is_directory(installed / "jokes", ec)) return fs::weakly_canonical(installed, ec).string();
    }
    return QUIPIX_SOURCE_DATA_DIR;
}

std::vector<std::string> UserLanguages() {
    return LanguagesFromEnvironment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                    std::getenv("LANG"));
}

std::string BundledJokesDirectory() { return DataDirectory() + "/jokes"; }

}  // namespace quipix::platform
