// ombrelctl's eye inside a program whose menu is open. A menu's items can
// be read only in the process that made the menu, so ombrelctl hooks the
// window procedures of the menu's thread with this library for one message
// and lets it write the items into a block both processes share: one line
// per item, "enabled <text>", "grayed <text>", "default <text>" (enabled and
// drawn as the menu's default item) or "separator", each after
// the item's place on the screen ("left top right bottom ") when asked.
#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT kGetMenu = 0x01E1;  // MN_GETHMENU
constexpr DWORD kBlockSize = 64 * 1024;

void WriteItems(HWND menuWindow, bool places) noexcept {
    HANDLE block = ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, L"OmbrelctlMenuProbe");
    if (!block) return;
    if (auto* out = static_cast<char*>(::MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, kBlockSize))) {
        size_t used = 0;
        auto* menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, kGetMenu, 0, 0));
        const int count = menu ? ::GetMenuItemCount(menu) : -1;
        for (int i = 0; i < count && used + 1024 < kBlockSize; ++i) {
            wchar_t text[256] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 255;
            if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
            const char* state = (info.fType & MFT_SEPARATOR)  ? "separator"
                                : (info.fState & MFS_GRAYED)  ? "grayed "
                                : (info.fState & MFS_DEFAULT) ? "default "
                                                              : "enabled ";
            char utf8[768] = {};
            if (!(info.fType & MFT_SEPARATOR))
                ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8) - 1, nullptr, nullptr);
            RECT r{};
            if (places && ::GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &r)) {
                const int n = std::snprintf(out + used, kBlockSize - used, "%ld %ld %ld %ld ", r.left, r.top,
                                            r.right, r.bottom);
                if (n > 0) used += static_cast<size_t>(n);
            }
            const int n = std::snprintf(out + used, kBlockSize - used, "%s%s\n", state, utf8);
            if (n > 0) used += static_cast<size_t>(n);
        }
        // A menu not readable here either leaves the block empty.
        out[used] = '\0';
        ::UnmapViewOfFile(out);
    }
    ::CloseHandle(block);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    static const UINT probe = ::RegisterWindowMessageW(L"OmbrelctlMenuProbe");
    if (code == HC_ACTION && lParam) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message->message == probe && probe != 0) WriteItems(message->hwnd, message->wParam != 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
