#include "center/taskbar.h"

#include <shellapi.h>

#include <cstring>

namespace omb {

namespace {
NOTIFYICONDATAA IconData(HWND window, UINT id, UINT flags, HICON icon, const std::string& tip) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the classic record: 64-character tip
    data.hWnd = window;
    data.uID = id;
    data.uFlags = flags;
    data.hIcon = icon;
    std::strncpy(data.szTip, tip.c_str(), 63);
    data.szTip[63] = '\0';
    return data;
}
}  // namespace

bool TaskBarAddIcon(HWND window, UINT id, HICON icon, UINT callbackMessage, const std::string& tip) {
    NOTIFYICONDATAA data = IconData(window, id, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, tip);
    data.uCallbackMessage = callbackMessage;
    return Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

bool TaskBarModifyIcon(HWND window, UINT id, UINT flags, HICON icon, const std::string& tip) {
    NOTIFYICONDATAA data = IconData(window, id, flags, icon, tip);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

bool TaskBarDeleteIcon(HWND window, UINT id) {
    NOTIFYICONDATAA data = IconData(window, id, 0, nullptr, std::string());
    return Shell_NotifyIconA(NIM_DELETE, &data) != FALSE;
}

}  // namespace omb
