#include "forms/helper_window.h"

namespace omb::forms {

void RegisterWindowClassOnce(const TWindowClassSpec& spec) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (::GetClassInfoExW(instance, spec.name, &wc)) return;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = spec.style;
    wc.lpfnWndProc = spec.proc;
    wc.hInstance = instance;
    wc.hCursor = spec.cursor;
    wc.lpszClassName = spec.name;
    ::RegisterClassExW(&wc);
}

HWND CreateHelperWindow(const TWindowClassSpec& spec, DWORD exStyle, DWORD style, HWND parent, void* param) {
    RegisterWindowClassOnce(spec);
    return ::CreateWindowExW(exStyle, spec.name, L"", style, 0, 0, 0, 0, parent, nullptr, ::GetModuleHandleW(nullptr),
                             param);
}

}  // namespace omb::forms
