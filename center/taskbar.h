// The tray icon calls over the shell.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// At most that many bytes of a UTF-8 text, cut before a character rather
// than inside one.
std::string TrayText(const std::string& text, size_t bytes);
// The tip as the tray takes it: at most 63 bytes.
std::string TrayTip(const std::string& tip);

// Add with message, icon and tip; the tip is cut as TrayTip cuts it.
bool TaskBarAddIcon(HWND window, UINT id, HICON icon, UINT callbackMessage, const std::string& tip);
bool TaskBarModifyIcon(HWND window, UINT id, UINT flags, HICON icon, const std::string& tip);
// A warning balloon on the icon: a title of at most 63 bytes and a text of
// at most 255, cut as TrayText cuts them.
bool TaskBarBalloon(HWND window, UINT id, const std::string& title, const std::string& text);
bool TaskBarDeleteIcon(HWND window, UINT id);

}  // namespace omb
