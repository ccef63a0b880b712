// A plain top-level window for the journeys: journey_window <class> <x> <y>
// [caption] shows a 240x160 window of that class, captioned like the class
// (or with the caption given), at the given place, and ends when the window
// is destroyed.
#include <windows.h>

#include <cstdlib>

static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = argv[1];
    if (!RegisterClassA(&wc)) return 3;
    const char* caption = argc > 4 ? argv[4] : argv[1];
    HWND window = CreateWindowA(argv[1], caption, WS_OVERLAPPEDWINDOW, std::atoi(argv[2]), std::atoi(argv[3]), 240,
                                160, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 4;
    ShowWindow(window, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
