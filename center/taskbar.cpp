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

std::string TrayText(const std::string& text, size_t bytes) {
    // The text is UTF-8, which the A call takes under the UTF-8 code page: a
    // character cut in two would show as a replacement character.
    size_t n = text.size() < bytes ? text.size() : bytes;
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

std::string TrayTip(const std::string& tip) {
    return TrayText(tip, 63);
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

bool TaskBarBalloon(HWND window, UINT id, const std::string& title, const std::string& text) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;  // the first record with a balloon
    data.hWnd = window;
    data.uID = id;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    data.uTimeout = 15000;
    const std::string info = TrayText(text, sizeof(data.szInfo) - 1);
    const std::string infoTitle = TrayText(title, sizeof(data.szInfoTitle) - 1);
    std::memcpy(data.szInfo, info.c_str(), info.size() + 1);
    std::memcpy(data.szInfoTitle, infoTitle.c_str(), infoTitle.size() + 1);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

bool TaskBarDeleteIcon(HWND window, UINT id) {
    NOTIFYICONDATAA data = IconData(window, id, 0, nullptr, std::string());
    return Shell_NotifyIconA(NIM_DELETE, &data) != FALSE;
}

}  // namespace omb
