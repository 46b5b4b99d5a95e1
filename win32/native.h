// The platform services on Windows, which Quipix.scr and the Windows test and
// benchmark programs install at start, and the Windows-only helpers of the platform
// layer that the front end (win32/) and its tests share: window ids as handles, text
// in the ANSI code page, system library paths, and the data folder with the joke
// files and help topics carried as resources.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// The canvas has DT_* flags of its own, with the same values.
#ifndef NODRAWTEXT
#define NODRAWTEXT
#endif
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quipix::platform {

Services Win32Services();

}  // namespace quipix::platform

namespace quipix::platform::win32 {

// Window handles are 32 bits wide even in 64-bit processes, sign-extended; the
// command line carries those 32 bits.
inline HWND HwndFromId(WindowId id) { return reinterpret_cast<HWND>(LONG_PTR(LONG(DWORD(id)))); }
inline WindowId IdFromHwnd(HWND window) { return WindowId(DWORD(reinterpret_cast<ULONG_PTR>(window))); }

// std::string paths and texts of this program are in the ANSI code page, as the
// core's narrow file and registry calls expect them.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
// A text of the dialog's layout table (UTF-8) in the user's language, as UTF-8 too:
// Tr() gives it in the ANSI code page, which may lack some of its characters.
std::string_view CaptionText(std::string_view english);

// The system folder, a backslash unless it already ends with one, then name.
std::wstring SystemLibraryPath(const std::wstring& systemDirectory, const wchar_t* name);

// The DPI window is shown at: its monitor's on Windows 8.1 and later (the process is
// aware of each monitor's DPI through its manifest), else the system's; 96 when
// nothing says.
int WindowDpi(HWND window);

// The files that travel inside Quipix.scr, so that a copy of it alone still has jokes
// and help: RCDATA resources numbered from First to Last, each with its file name as
// the string of the same number. A name ends in Extension and may start with one
// language folder: "de\fragen.txt".
struct BundledFolder {
    const wchar_t* Name;  // the subfolder of the data folder
    int First;
    int Last;
    const wchar_t* Extension;
};
inline constexpr BundledFolder kBundledJokes{L"jokes", 1000, 1999, L".txt"};
inline constexpr BundledFolder kBundledHelp{L"help", 3000, 3999, L".html"};

// Writes module's files of kind into folder (made when missing), replacing a file
// whose size or content differs and leaving others alone. Returns the number of
// resources found; 0 when the module carries none. Throws nothing.
int ExtractBundledFiles(HMODULE module, const BundledFolder& kind, const std::wstring& folder);

// The uninstall entry of QuipixSetup.exe (win32/installer/quipix.nsi), under
// HKEY_LOCAL_MACHINE; its InstallLocation is the installed data folder.
inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quipix";

// The folder of an installed Quipix, holding jokes\ and help\: moduleFolder itself, or,
// for a Quipix.scr in the system folder (where the Screen Saver Settings list it), the
// InstallLocation its installer registered. Empty when neither holds a jokes\ folder.
std::wstring InstalledDataFolder(const std::wstring& moduleFolder);

// %LOCALAPPDATA%\Kelvara\Quipix: the data folder of a Quipix.scr that was copied
// alone, into which its bundled jokes\ and help\ are written. Empty when the system
// names no such folder.
std::wstring UserDataFolder();

// Test programs carry no bundled files: they read the source tree's, named here
// before anything asks for the data folder. Quipix.scr never calls it.
void UseDataFolder(const std::wstring& folder);

// The help topic of context, as a file that exists when the data folder has it: a
// copied Quipix.scr first writes its bundled topics out again where they are missing
// or changed.
std::wstring HelpTopicFile(int context);

}  // namespace quipix::platform::win32
