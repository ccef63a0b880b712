/* A program with one top-level window, for the end-to-end tests of the
   64-bit command center. It is built twice: probe_window32.exe with the
   32-bit MinGW-w64 compiler (when one is installed) and probe_window64.exe
   with the build's own compiler, the same code in both.

   probe_window32.exe CLASS CAPTION

   Without arguments (started in another program's place) it opens a window
   of the class "OmbProbeStarted" captioned with its own path. Otherwise it
   opens a visible overlapped window of the class CLASS with the caption
   CAPTION and runs until the window is destroyed. Asked from outside, the
   window answers:
     WM_APP + 1: the program's pointer width in bits, 32 or 64 (it is alive,
                 answering, and of the kind the test started);
     WM_APP + 2: 1 when a module named "tbhook.dll" is loaded in the process,
                 else 0. */
#include <windows.h>

#define PROBE_BITS (WM_APP + 1)
#define PROBE_HOOK_LOADED (WM_APP + 2)

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case PROBE_BITS:
            return (LRESULT)(sizeof(void*) * 8);
        case PROBE_HOOK_LOADED:
            return GetModuleHandleA("tbhook.dll") != NULL;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wp, lp);
    }
}

int main(int argc, char** argv) {
    WNDCLASSA wc;
    HWND window;
    MSG msg;
    char self[MAX_PATH * 2] = "";
    const char* className;
    const char* caption;
    if (argc == 1) {
        /* Started under another name, in another program's place: one
           window of the class "OmbProbeStarted" captioned with its path. */
        GetModuleFileNameA(NULL, self, sizeof(self) - 1);
        className = "OmbProbeStarted";
        caption = self;
    } else if (argc < 3) {
        return 2;
    } else {
        className = argv[1];
        caption = argv[2];
    }
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc)) return 3;
    window = CreateWindowExA(0, className, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 320, 200, NULL,
                             NULL, wc.hInstance, NULL);
    if (!window) return 4;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
