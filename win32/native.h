// Windows-only helpers of the platform layer that the front end (win32/) and its
// tests share: window ids as handles, text in the ANSI code page, system library
// paths and the bundled joke files carried as resources.
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

#include "platform/platform.h"

namespace quipix::platform::win32 {

// Window handles are 32 bits wide even in 64-bit processes, sign-extended; the
// command line carries those 32 bits.
inline HWND HwndFromId(WindowId id) { return reinterpret_cast<HWND>(LONG_PTR(LONG(DWORD(id)))); }
inline WindowId IdFromHwnd(HWND window) { return WindowId(DWORD(reinterpret_cast<ULONG_PTR>(window))); }

// std::string paths and texts of this program are in the ANSI code page, as the
// core's narrow file and registry calls expect them.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// The system folder, a backslash unless it already ends with one, then name.
std::wstring SystemLibraryPath(const std::wstring& systemDirectory, const wchar_t* name);

// The bundled joke files are RCDATA resources numbered from kFirstJokeResource, each
// with its file name as the string of the same number.
inline constexpr int kFirstJokeResource = 1000;
inline constexpr int kLastJokeResource = 1999;

// Writes module's bundled joke files into folder (made when missing), replacing a
// file whose size or content differs and leaving others alone. Returns the number of
// resources found; 0 when the module carries none. Throws nothing.
int ExtractBundledJokes(HMODULE module, const std::wstring& folder);

// The uninstall entry of QuipixSetup.exe (win32/installer/quipix.nsi), under
// HKEY_LOCAL_MACHINE; its InstallLocation is the installed data folder.
inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quipix";

// The folder of an installed Quipix, holding jokes\ and help\: moduleFolder itself, or,
// for a Quipix.scr in the system folder (where the Screen Saver Settings list it), the
// InstallLocation its installer registered. Empty when neither holds a jokes\ folder.
std::wstring InstalledDataFolder(const std::wstring& moduleFolder);

// %LOCALAPPDATA%\Kelvara\Quipix\jokes.
std::wstring UserJokesFolder();

}  // namespace quipix::platform::win32
