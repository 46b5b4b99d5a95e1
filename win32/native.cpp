// The platform services on Windows: the real foreground window, window rectangles,
// screen and system colours, help topics and addresses through the shell, the
// screen-saver password hooks of Windows 95/98, and the data folder of a program that
// is one executable. windows.h (through win32/native.h) must come before shellapi.h.
#include "win32/native.h"

#include "common/translate.h"
#include "platform/help_topic.h"
#include "platform/languages.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <mutex>
#include <vector>

namespace quipix::platform {

namespace win32 {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

std::wstring SystemLibraryPath(const std::wstring& systemDirectory, const wchar_t* name) {
    std::wstring path = systemDirectory;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + name;
}

namespace {

// A system library by its full path: the search path (the current folder, the
// program's folder) could hold an impostor of the same name.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryW(SystemLibraryPath(std::wstring(buffer, n), name).c_str());
}

template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
    HMODULE module = GetModuleHandleW(library);
    if (!module) module = LoadSystemLibrary(library);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

std::wstring ModuleFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return L".";
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            const auto slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? L"." : path.substr(0, slash);
        }
        if (buffer.size() >= 32768) return L".";
        buffer.resize(buffer.size() * 2);
    }
}

bool SameFileContent(const std::filesystem::path& file, const void* data, DWORD size) {
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) != size || ec) return false;
    FILE* f = _wfopen(file.c_str(), L"rb");
    if (!f) return false;
    std::vector<char> bytes(size);
    const bool same = std::fread(bytes.data(), 1, size, f) == size &&
                      std::equal(bytes.begin(), bytes.end(), static_cast<const char*>(data));
    std::fclose(f);
    return same;
}

// Written beside the old file and renamed over it, so that a saver reading the
// folder at the same time sees the old file or the new one, never half of one.
bool WriteFileWhole(const std::filesystem::path& file, const void* data, DWORD size) {
    std::filesystem::path temporary = file;
    temporary += L".tmp";
    FILE* f = _wfopen(temporary.c_str(), L"wb");
    if (!f) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    if (written && closed &&
        MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

// A plain file name of the folder, or of a language folder in it ("de/1000.html"):
// no other path, no device, ending in extension.
bool IsSafeFileName(const std::wstring& name, const wchar_t* extension) {
    if (const std::size_t slash = name.find(L'/'); slash != std::wstring::npos)
        return IsLanguageFolder(Narrow(name.substr(0, slash))) && IsSafeFileName(name.substr(slash + 1), extension);
    const std::size_t tail = wcslen(extension);
    if (name.size() <= tail || name.size() > 200 || name.front() == L'.') return false;
    if (name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) return false;
    return _wcsicmp(name.c_str() + name.size() - tail, extension) == 0;
}

}  // namespace

int WindowDpi(HWND window) {
    // Looked up, not linked: Windows 10 (1607) has the first, Windows 8.1 the second,
    // and Quipix.scr starts on older systems too.
    using ForWindow = UINT(WINAPI*)(HWND);
    using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto forWindow = SystemFunction<ForWindow>(L"user32.dll", "GetDpiForWindow");
    static const auto forMonitor = SystemFunction<ForMonitor>(L"shcore.dll", "GetDpiForMonitor");
    if (forWindow && window)
        if (const UINT dpi = forWindow(window)) return int(dpi);
    UINT x = 0, y = 0;
    if (forMonitor && window &&
        SUCCEEDED(forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0 /* MDT_EFFECTIVE_DPI */,
                             &x, &y)) &&
        y > 0)
        return int(y);
    int dpi = 0;
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

int ExtractBundledFiles(HMODULE module, const BundledFolder& kind, const std::wstring& folder) {
    int found = 0;
    for (int id = kind.First; id <= kind.Last; ++id) {
        HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
        if (!info) break;
        ++found;
        // LoadStringW with no buffer hands out the read-only resource text itself.
        const wchar_t* text = nullptr;
        const int length = LoadStringW(module, UINT(id), reinterpret_cast<LPWSTR>(&text), 0);
        HGLOBAL loaded = LoadResource(module, info);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        const DWORD size = SizeofResource(module, info);
        if (length <= 0 || !text || !data) continue;
        const std::wstring name(text, std::size_t(length));
        if (!IsSafeFileName(name, kind.Extension)) continue;
        const std::filesystem::path file = (std::filesystem::path(folder) / name).make_preferred();
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        if (!SameFileContent(file, data, size)) WriteFileWhole(file, data, size);
    }
    return found;
}

namespace {

bool HoldsJokes(const std::wstring& folder) {
    const DWORD jokes = GetFileAttributesW((folder + L"\\jokes").c_str());
    return jokes != INVALID_FILE_ATTRIBUTES && (jokes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring RegisteredInstallLocation() {
    wchar_t path[MAX_PATH];
    DWORD bytes = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", RRF_RT_REG_SZ, nullptr, path,
                     &bytes) != ERROR_SUCCESS)
        return {};
    return path;
}

}  // namespace

std::wstring InstalledDataFolder(const std::wstring& moduleFolder) {
    if (HoldsJokes(moduleFolder)) return moduleFolder;
    const std::wstring registered = RegisteredInstallLocation();
    if (!registered.empty() && HoldsJokes(registered)) return registered;
    return {};
}

std::wstring UserDataFolder() {
    wchar_t base[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base)))
        return {};
    return std::wstring(base) + L"\\Kelvara\\Quipix";
}

namespace {

std::wstring& TestDataFolder() {
    static std::wstring folder;
    return folder;
}

struct DataFolderInfo {
    std::wstring path;
    bool copied = false;  // the user's own copy of what the executable carries
};

// The folder a test program named, an installed Quipix's, else the user's own copy of
// the bundled files (a Quipix.scr copied alone into the system folder, say). No path
// of the machine the program was built on is ever looked at.
DataFolderInfo FindDataFolder() {
    if (!TestDataFolder().empty()) return {TestDataFolder(), false};
    std::wstring installed = InstalledDataFolder(ModuleFolder());
    if (!installed.empty()) return {std::move(installed), false};
    std::wstring user = UserDataFolder();
    if (!user.empty()) return {std::move(user), true};
    return {ModuleFolder(), false};
}

// kind's folder of the data folder, written out of the executable first when the data
// folder is the user's copy.
std::wstring BundledFolderPath(const BundledFolder& kind) {
    const DataFolderInfo data = FindDataFolder();
    const std::wstring folder = data.path + L"\\" + kind.Name;
    if (data.copied) ExtractBundledFiles(GetModuleHandleW(nullptr), kind, folder);
    return folder;
}

}  // namespace

void UseDataFolder(const std::wstring& folder) { TestDataFolder() = folder; }

std::wstring HelpTopicFile(int context) {
    // Every time: the user may have removed the copy since the last topic.
    const std::wstring folder = BundledFolderPath(kBundledHelp) + L"\\";
    const auto path = [&folder](const std::string& relative) {
        std::wstring file = folder + Widen(relative);
        std::replace(file.begin(), file.end(), L'/', L'\\');
        return file;
    };
    return path(HelpTopicPath(context, UserLanguages(), [&path](const std::string& relative) {
        const DWORD attributes = GetFileAttributesW(path(relative).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }));
}

}  // namespace win32

using win32::HwndFromId;
using win32::IdFromHwnd;

namespace {

WindowId Foreground() { return IdFromHwnd(::GetForegroundWindow()); }

bool WindowRectangle(WindowId window, WindowRect& rect) {
    HWND hwnd = HwndFromId(window);
    RECT r;
    if (window == 0 || !IsWindow(hwnd) || !::GetWindowRect(hwnd, &r)) return false;
    rect = {int(r.left), int(r.top), int(r.right), int(r.bottom)};
    return true;
}

void Activate(WindowId window) {
    if (window != 0) SetForegroundWindow(HwndFromId(window));
}

ScreenInfo Screen() {
    ScreenInfo screen;
    screen.Width = GetSystemMetrics(SM_CXSCREEN);
    screen.Height = GetSystemMetrics(SM_CYSCREEN);
    if (HDC dc = GetDC(nullptr)) {
        screen.ColorDepth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
        ReleaseDC(nullptr, dc);
    }
    return screen;
}

// COLORREF is 0x00BBGGRR, as the program's colours are.
std::uint32_t SystemColor(int index) { return GetSysColor(index); }

// The shell's "open" verb hands a help topic page (a file of the data folder, see
// HelpTopicFile) or an address to the user's browser. The result is ignored: a
// system without a browser shows nothing.
void ShellOpen(const std::wstring& target) {
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

Services Win32Services() {
    return {.foregroundWindow = Foreground,
            .getWindowRect = WindowRectangle,
            .activateWindow = Activate,
            .primaryScreen = Screen,
            .sysColor = SystemColor,
            .showHelp = [](int context) { ShellOpen(win32::HelpTopicFile(context)); },
            .openAddress = [](const std::string& address) { ShellOpen(win32::Widen(address)); }};
}

bool ChangeScreenSaverPasswordCall(WindowId parent) {
    HMODULE mpr = win32::LoadSystemLibrary(L"MPR.DLL");
    if (!mpr) return false;
    using ChangePassword = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
    auto change =
        reinterpret_cast<ChangePassword>(reinterpret_cast<void*>(GetProcAddress(mpr, "PwdChangePasswordA")));
    if (change) change("SCRSAVE", HwndFromId(parent), 0, 0);
    FreeLibrary(mpr);
    return change != nullptr;
}

namespace {

// Only Windows 95/98 keep a screen-saver password of the saver's own; the NT family
// locks the session itself.
bool IsWindows9x() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&version)) return false;
#pragma GCC diagnostic pop
    return version.dwPlatformId != VER_PLATFORM_WIN32_NT;
}

// A missing value, or one that is no number, means no password.
bool PasswordSwitchedOn() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\desktop", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG rc = RegQueryValueExW(key, L"ScreenSaveUsePassword", nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value != 0;
}

}  // namespace

bool VerifyScreenSavePassword(WindowId saverWindow) {
    if (!IsWindows9x() || !PasswordSwitchedOn()) return true;
    HMODULE library = win32::LoadSystemLibrary(L"PASSWORD.CPL");
    if (!library) return true;
    using Verify = BOOL(WINAPI*)(HWND);
    auto verify =
        reinterpret_cast<Verify>(reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    bool accepted = true;
    if (verify) {
        // The system's dialog needs the pointer the saver hides.
        ShowCursor(TRUE);
        accepted = (verify(HwndFromId(saverWindow)) & 0xFF) != 0;
        ShowCursor(FALSE);
    }
    FreeLibrary(library);
    return accepted;
}

std::string DataDirectory() { return win32::Narrow(win32::FindDataFolder().path); }

// An installed Quipix reads the bundled joke files from its data folder, one copy for
// every user. A Quipix.scr copied alone carries them inside: they are written into the
// user's own folder once per run and read from there like any joke folder.
std::string BundledJokesDirectory() {
    static std::once_flag once;
    static std::string directory;
    std::call_once(once, [] { directory = win32::Narrow(win32::BundledFolderPath(win32::kBundledJokes)); });
    return directory;
}

// The user's UI language, as the system's own dialogs show it. Wine takes it from
// LANG, so tests choose it the same way on both systems.
std::vector<std::string> UserLanguages() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) <= 0)
        return {};
    const std::string tag = NormalizeLanguageTag(win32::Narrow(name));
    std::vector<std::string> languages{tag};
    if (const auto bare = tag.substr(0, tag.find('_')); bare != tag) languages.push_back(bare);
    return languages;
}

// The catalogues are compiled into the program (win32/CMakeLists.txt): the .mo
// bytes of a language are the resource MO_<LANGUAGE>. The core's narrow texts are in
// the ANSI code page here (paths, messages), so each translation is converted from
// the catalogue's UTF-8 into it once, when first asked for.
namespace {
std::shared_ptr<const MoCatalogue> gCatalogue;
}  // namespace

std::string_view win32::CaptionText(std::string_view english) {
    const std::string_view shown = gCatalogue ? gCatalogue->Find(english) : std::string_view();
    return shown.empty() ? english : shown;
}

void InstallTranslations() {
    const HMODULE module = GetModuleHandleW(nullptr);
    for (const std::string& language : UserLanguages()) {
        std::wstring name = L"MO_" + win32::Widen(language);
        for (wchar_t& c : name) c = c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c;
        HRSRC info = FindResourceW(module, name.c_str(), RT_RCDATA);
        HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
        const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        if (!data) continue;
        auto catalogue = std::make_shared<const MoCatalogue>(std::string(data, SizeofResource(module, info)));
        if (!catalogue->Valid()) continue;
        gCatalogue = catalogue;
        auto ansi = std::make_shared<std::unordered_map<std::string, std::string>>();
        InstallTranslator([catalogue, ansi](std::string_view english) -> std::string_view {
            const std::string_view utf8 = catalogue->Find(english);
            if (utf8.empty()) return {};
            auto [at, made] = ansi->try_emplace(std::string(english));
            if (made) {
                std::wstring wide(utf8.size(), L'\0');
                wide.resize(std::size_t(std::max(
                    0, MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), int(wide.size())))));
                at->second = win32::Narrow(wide);
            }
            return at->second;
        });
        return;
    }
}

}  // namespace quipix::platform
