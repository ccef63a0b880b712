// The tray icon calls over the shell.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// Add with message, icon and tip; the tip is cut to 63 characters.
bool TaskBarAddIcon(HWND window, UINT id, HICON icon, UINT callbackMessage, const std::string& tip);
bool TaskBarModifyIcon(HWND window, UINT id, UINT flags, HICON icon, const std::string& tip);
bool TaskBarDeleteIcon(HWND window, UINT id);

}  // namespace omb
