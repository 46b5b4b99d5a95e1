// The picture open dialog on Windows: the system's open-file dialog with the picture
// library's filter list, and a hook that adds a strip beside the standard controls
// showing the selected picture fitted into a small area and its information lines.
// The dialog can be resized and starts inside its monitor's work area.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <optional>
#include <string>

namespace quipix::win32 {

// Runs the dialog owned by owner, starting in folder (empty: the system's choice).
// The confirmed file's full path, or nothing when the user cancels.
std::optional<std::wstring> RunPictureOpenDialog(HWND owner, const std::wstring& title,
                                                 const std::wstring& folder);

}  // namespace quipix::win32
