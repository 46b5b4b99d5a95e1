// The POSIX parts of the platform layer: no screen-saver password, the data folder
// found beside the executable once installed, and the translations through libintl.
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/translate.h"
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

void InstallTranslations() {
    // Only the messages follow the locale: numbers in the settings store stay C's.
    std::setlocale(LC_MESSAGES, "");
    // Installed, the catalogues sit in the share/locale beside the data folder; a
    // program run from its build tree finds them where the build compiled them.
    const std::string data = DataDirectory();
    const std::string folder = data == QUIPIX_SOURCE_DATA_DIR ? std::string(QUIPIX_BUILD_LOCALE_DIR)
                                                               : data + "/../locale";
    bindtextdomain("quipix", folder.c_str());
    bind_textdomain_codeset("quipix", "UTF-8");
    InstallTranslator([](std::string_view english) -> std::string_view {
        const std::string key(english);
        const char* shown = dgettext("quipix", key.c_str());
        // libintl answers the key itself where it has nothing.
        return shown == key.c_str() ? std::string_view() : std::string_view(shown);
    });
}

std::string BundledJokesDirectory() { return DataDirectory() + "/jokes"; }

}  // namespace quipix::platform
