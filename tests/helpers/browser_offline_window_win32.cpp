// "browser_offline_window TITLE LOG" plays a work-offline dialog on Windows: a visible top-level
// window with that title that appends "command N" to LOG for each WM_COMMAND it receives. It
// writes "ready" to LOG once its window is shown, and ends when closed or after two minutes.
#include "fake_common.h"

namespace {

std::string g_log;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            fake::Log(g_log, "command " + std::to_string(static_cast<unsigned>(w)));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, w, l);
    }
}

void CALLBACK EndOfLife(HWND window, UINT, UINT_PTR, DWORD) {
    DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    g_log = argv[2];
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TrailhostOfflineDialog";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, argv[1], WS_OVERLAPPEDWINDOW, 60,
                                  60, 320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 3;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    fake::Log(g_log, "ready");
    SetTimer(window, 1, 120000, EndOfLife);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
