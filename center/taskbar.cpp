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
    const std::string cut = TrayTip(tip);
    std::memcpy(data.szTip, cut.c_str(), cut.size() + 1);
    return data;
}
}  // namespace

std::string TrayTip(const std::string& tip) {
    // The text is UTF-8, which the A call takes under the UTF-8 code page: a
    // character cut in two would show as a replacement character.
    size_t n = tip.size() < 63 ? tip.size() : 63;
    while (n > 0 && n < tip.size() && (static_cast<unsigned char>(tip[n]) & 0xC0) == 0x80) --n;
    return tip.substr(0, n);
}

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
