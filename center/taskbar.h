// The tray icon calls over the shell.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// The tip as the tray takes it: at most 63 bytes of UTF-8, cut before a
// character rather than inside one.
std::string TrayTip(const std::string& tip);

// Add with message, icon and tip; the tip is cut as TrayTip cuts it.
bool TaskBarAddIcon(HWND window, UINT id, HICON icon, UINT callbackMessage, const std::string& tip);
bool TaskBarModifyIcon(HWND window, UINT id, UINT flags, HICON icon, const std::string& tip);
bool TaskBarDeleteIcon(HWND window, UINT id);

}  // namespace omb
