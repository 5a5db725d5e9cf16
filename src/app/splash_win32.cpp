// Windows only: the splash screen on a thread of its own, drawn with GDI+.
#include "app/splash.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <commctrl.h>
#include <process.h>

#include "app/ui_win32.h"
#include "sys/handles_win32.h"

namespace {

constexpr UINT kProgressMessage = WM_USER + 2;
constexpr int kModuleIconResource = 32512;
const char kSplashClass[] = "SplashWnd";

}  // namespace

struct SplashScreen::Impl {
    ScopedHandle thread;
    unsigned threadId = 0;
    ScopedHandle ready;
    std::unique_ptr<Gdiplus::Image> image;
    HWND window = nullptr;  // the splash thread's own
    std::string caption;
    HWND bar = nullptr;  // the splash thread's own

    static unsigned __stdcall ThreadMain(void* arg);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

void SplashScreen::StartImageLibrary() {
    Gdiplus::GdiplusStartupInput input(nullptr, TRUE, FALSE);
    Gdiplus::GdiplusStartupOutput output;
    ULONG_PTR token = 0;
    // GDI+ lives until the process ends; with its background thread suppressed, the hook takes
    // that thread's place.
    if (Gdiplus::GdiplusStartup(&token, &input, &output) == Gdiplus::Ok &&
        output.NotificationHook != nullptr) {
        ULONG_PTR hookToken = 0;
        output.NotificationHook(&hookToken);
    }
}

SplashScreen::SplashScreen() : impl_(std::make_unique<Impl>()) {}

SplashScreen::~SplashScreen() {
    if (!impl_->thread.IsValid()) {
        return;
    }
    PostThreadMessageA(impl_->threadId, WM_QUIT, 0, 0);
    if (WaitForSingleObject(impl_->thread.Get(), 5000) != WAIT_OBJECT_0) {
        // A splash thread that does not end still uses the object: leave it to the process end.
        impl_.release();
    }
}

bool SplashScreen::LoadSplashImage(const std::string& file) {
    if (impl_->image != nullptr) {
        return true;
    }
    WCHAR wide[255] = {};
    const bool fits = MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, 255) != 0;
    impl_->image.reset(new Gdiplus::Image(fits ? wide : L"", FALSE));
    return impl_->image != nullptr;
}

void SplashScreen::Start() {
    if (impl_->thread.IsValid()) {
        return;
    }
    impl_->ready.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    unsigned id = 0;
    impl_->thread.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, Impl::ThreadMain, impl_.get(), 0, &id)));
    if (!impl_->thread.IsValid()) {
        return;
    }
    impl_->threadId = id;
    if (WaitForSingleObject(impl_->ready.Get(), 5000) == WAIT_TIMEOUT) {
        OutputDebugStringA("Error starting SplashThread\n");
    }
}

void SplashScreen::SetProgress(int percent) {
    if (impl_->threadId != 0) {
        PostThreadMessageA(impl_->threadId, kProgressMessage, static_cast<WPARAM>(percent), 0);
    }
}

void SplashScreen::Close() {
    if (!impl_->thread.IsValid()) {
        return;
    }
    PostThreadMessageA(impl_->threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(impl_->thread.Get(), 1000);
    impl_->thread.Reset();
    impl_->ready.Reset();
    impl_->threadId = 0;
}

unsigned __stdcall SplashScreen::Impl::ThreadMain(void* arg) {
    auto* impl = static_cast<Impl*>(arg);
    if (impl->image == nullptr) {
        return 0;
    }
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ShellInstance();
    windowClass.hIcon = LoadIconA(ShellInstance(), MAKEINTRESOURCEA(kModuleIconResource));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_APPSTARTING);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kSplashClass;
    if (!RegisterShellClass(windowClass)) {
        OutputDebugStringA("Unable to register class SplashWnd\n");
        return 0;
    }
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int width = static_cast<int>(impl->image->GetWidth());
    const int height = static_cast<int>(impl->image->GetHeight());
    const SplashPlace place =
        CenterInWorkArea(work.left, work.top, work.right, work.bottom, width, height);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, kSplashClass, impl->caption.c_str(),
                                  WS_POPUP | WS_CLIPCHILDREN, place.left, place.top, width, height,
                                  nullptr, nullptr, ShellInstance(), nullptr);
    if (window == nullptr) {
        OutputDebugStringA("Unable to create SplashWnd\n");
        return 0;
    }
    impl->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
    ShowWindow(window, SW_SHOWNOACTIVATE);
    MSG message;
    // Thread messages reach only a thread that has a queue.
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(impl->ready.Get());
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kProgressMessage) {
            SendMessageA(window, kProgressMessage, message.wParam, message.lParam);
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
    impl->window = nullptr;
    impl->bar = nullptr;
    return 0;
}

LRESULT CALLBACK SplashScreen::Impl::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (impl == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_PAINT) {
        if (impl->image != nullptr) {
            Gdiplus::Graphics graphics(window);
            graphics.DrawImage(impl->image.get(), 0, 0, static_cast<INT>(impl->image->GetWidth()),
                               static_cast<INT>(impl->image->GetHeight()));
        }
        ValidateRect(window, nullptr);
        return 0;
    }
    if (message == kProgressMessage) {
        if (impl->bar == nullptr) {
            RECT client{};
            GetClientRect(window, &client);
            const SplashBarRect rect = ProgressBarRect(client.right, client.bottom);
            impl->bar =
                CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, rect.x, rect.y,
                                rect.width, rect.height, window, nullptr, ShellInstance(), nullptr);
            SendMessageA(impl->bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        }
        SendMessageA(impl->bar, PBM_SETPOS, wParam, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
