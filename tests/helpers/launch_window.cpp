// "launch_window PIDFILE" writes its process id to PIDFILE and stays until it is killed or
// closed. On Windows it owns a visible top-level window, shown and sized as its starter asked.
//
// "launch_window PIDFILE handover [DELAY_MS]" is a launcher stub: it waits DELAY_MS (0 by
// default), starts "launch_window PIDFILE" and exits, so that the program the user sees is no
// longer the started program's child once the stub has gone.
#include <cstdlib>

#include "launch_common.h"

#ifdef _WIN32
namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

void CALLBACK EndOfLife(HWND window, UINT, UINT_PTR, DWORD) {
    DestroyWindow(window);
}

int RunWindow(const std::string& pidFile) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TrailhostLaunchWindow";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&windowClass);
    // Away from the top left corner, where a starter may move it; the default size, so that the
    // starter's size request applies.
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Trailhost launch window",
                                  WS_OVERLAPPEDWINDOW, 50, 40, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 3;
    }
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    // The id is written once the window is shown, so a reader knows that it can be found.
    launchhelper::WriteWhole(pidFile, std::to_string(launchhelper::OwnId()));
    SetTimer(window, 1,
             static_cast<UINT>(std::chrono::milliseconds(launchhelper::kLifetime).count()),
             EndOfLife);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace
#endif

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    if (argc > 2 && std::string(argv[2]) == "handover") {
        std::this_thread::sleep_for(std::chrono::milliseconds(argc > 3 ? std::atoi(argv[3]) : 0));
        return launchhelper::Start(launchhelper::Sibling(argv[0], "launch_window"), {argv[1]}) ? 0
                                                                                               : 3;
    }
#ifdef _WIN32
    return RunWindow(argv[1]);
#else
    launchhelper::WriteWhole(argv[1], std::to_string(launchhelper::OwnId()));
    launchhelper::SleepUntilKilled();
    return 0;
#endif
}
