// Where an installed Quipix.scr finds its help and jokes: beside itself, or, from the
// system folder, in the folder its installer registered.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "win32/native.h"
#include "support/test_support.h"

namespace quipix {
namespace {

namespace fs = std::filesystem;
using platform::win32::InstalledDataFolder;
using platform::win32::kUninstallKey;

// The installer's uninstall entry with the given InstallLocation, for one test. A
// machine where Quipix is really installed is left alone.
class RegisteredInstall {
public:
    static bool Present() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    explicit RegisteredInstall(const std::wstring& location) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        made_ = true;
        written_ = RegSetValueExW(key, L"InstallLocation", 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(location.c_str()),
                                  DWORD((location.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~RegisteredInstall() {
        if (made_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
    }
    RegisteredInstall(const RegisteredInstall&) = delete;
    RegisteredInstall& operator=(const RegisteredInstall&) = delete;
    bool written() const { return written_; }

private:
    bool made_ = false;
    bool written_ = false;
};

TEST(InstalledDataFolder, IsBesideTheProgramOrWhereTheInstallerSaid) {
    if (RegisteredInstall::Present()) GTEST_SKIP() << "Quipix is installed on this machine";
    enum Found { kNone, kModule, kRegistered };
    struct Case {
        const char* name;
        bool moduleJokes;      // the program's folder holds jokes\ .
        bool registered;       // the installer's entry names the other folder,
        bool registeredJokes;  // which holds jokes\ .
        Found found;
    };
    const Case cases[] = {
        {"beside the program", true, true, true, kModule},
        {"in the system folder, data registered", false, true, true, kRegistered},
        {"registered folder without jokes", false, true, false, kNone},
        {"nothing registered", false, false, false, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir temp;
        const fs::path module = temp.path() / "system32";
        const fs::path data = temp.path() / "Quipix";
        fs::create_directories(module);
        fs::create_directories(data / "help");
        if (c.moduleJokes) fs::create_directories(module / "jokes");
        if (c.registeredJokes) fs::create_directories(data / "jokes");
        std::optional<RegisteredInstall> install;
        if (c.registered) {
            install.emplace(data.wstring());
            if (!install->written()) GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable here";
        }
        const std::wstring expected = c.found == kModule       ? module.wstring()
                                      : c.found == kRegistered ? data.wstring()
                                                               : std::wstring();
        EXPECT_EQ(InstalledDataFolder(module.wstring()), expected);
    }
}

}  // namespace
}  // namespace quipix
