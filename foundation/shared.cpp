#include "foundation/shared.h"

namespace omb {

UINT WM_TRAY_CALLBACK = 0x8176;
UINT WM_EXTENDER_ATTACHED = 0x8231;
UINT WM_APPLY_RULES = 0x8116;
UINT WM_CONFIG_CHANGED = 0x8189;
UINT WM_WNDPROC_REPLACED = 0x81E9;

namespace {
void Register(UINT& message, const char* name) {
    if (UINT m = ::RegisterWindowMessageA(name)) message = m;
}
}  // namespace

void RegisterSharedMessages() {
    Register(WM_TRAY_CALLBACK, "{C83CAD38-9C2A-46EF-8998-90D4A16FB849}");
    Register(WM_EXTENDER_ATTACHED, "{763897BC-5E29-4B2A-A6F6-B80EFE56EDD7}");
    Register(WM_APPLY_RULES, "{9FD02F57-87AE-4C18-B71D-0D0B61876609}");
    Register(WM_CONFIG_CHANGED, "{6B63DF1E-8596-4A4E-9ACC-08FF3B465E4B}");
    Register(WM_WNDPROC_REPLACED, "C4C786E5-5A66-4F41-8581-5F80061C52EC");
}

const char* const ProductName = "Ombrel";
const char* const TrayDefaultIconName = "TRAYDEFAULT";
const char* const TraySelectedIconName = "TRAYSELECTED";

uint8_t ApplicationKind = 0;
std::string AppPath;
std::string SettingsFileName;

std::string ModuleFolder(HMODULE module) {
    char path[MAX_PATH * 4];
    DWORD n = ::GetModuleFileNameA(module, path, DWORD(sizeof(path)));
    if (n == 0 || n >= sizeof(path)) return std::string();
    std::string s(path, n);
    size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

}  // namespace omb
