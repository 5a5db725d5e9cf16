// Windows only: the hidden frame window, its tray icon and the shutdown dialog it owns.
#include "app/main_frame.h"

#include <atomic>

#include "app/app_titles.h"
#include "app/close_path.h"
#include "app/shell.h"
#include "app/shutdown_dialog.h"
#include "app/tray.h"
#include "app/tray_win32.h"
#include "app/ui_win32.h"
#include "config/settings.h"
#include "sys/error_text.h"

namespace {

const char kFrameClass[] = "TrailhostFrame";
// Every style bit but WS_VISIBLE: the frame is created invisible and stays so.
constexpr DWORD kFrameStyle = 0xEFFFFFFF;

// Messages the frame sends or posts to itself.
constexpr UINT kCloseFinished = WM_APP + 1;
constexpr UINT kShowShutdownDialog = WM_APP + 2;
constexpr UINT kShutdownProgress = WM_APP + 3;
constexpr UINT kShowUntilClose = WM_APP + 4;

}  // namespace

struct CMainFrame::Impl {
    Impl(AppSettings& settings_, ShellProgram& program)
        : settings(settings_), closer(program, [this] {
              // The frame may be gone already; then there is nothing left to finish.
              if (HWND frame = window.load()) {
                  PostMessageA(frame, kCloseFinished, 0, 0);
              }
          }) {}

    std::shared_ptr<int> token = std::make_shared<int>(0);
    AppSettings& settings;
    std::atomic<HWND> window{nullptr};
    CTrailhostSysTray tray;
    ScopedIcon trayIcon;
    std::unique_ptr<CShutdownServer> dialog;
    CloseRunner closer;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    int OnCreate(HWND window);
    // Adds the tray icon with a balloon; a second call shows the new balloon.
    void InstallTray(const std::string& balloonText);
    void OnClose();
    void OnDestroy();
    // The user logs off or the machine shuts down: the close runs to its end before the
    // system may end the process, while this thread keeps the frame's windows turning.
    void OnEndSession();
};

int CMainFrame::Impl::OnCreate(HWND created) {
    window = created;
    if (settings.showTrayIcon) {
        InstallTray(MakeTrayTexts(settings.serverName).balloonText);
    }
    return 0;
}

void CMainFrame::Impl::InstallTray(const std::string& balloonText) {
    if (trayIcon.Get() == nullptr) {
        trayIcon.Reset(static_cast<HICON>(
            LoadImageA(ShellInstance(), MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
        tray.SetSettings(&settings);
        tray.SetTargetWindow(window);
        CSystemTray::HideWindowToTray(window, false);
    }
    tray.Uninstall();
    const TrayTexts texts = MakeTrayTexts(settings.serverName);
    tray.Install(nullptr, kTrayCallbackMessage, texts.tooltip, trayIcon.Get(), kTrayIconId, false,
                 balloonText, texts.balloonTitle, NIIF_INFO, kBalloonSeconds);
}

void CMainFrame::Impl::OnClose() {
    // A close that arrives while one runs is already taken care of.
    closer.Begin();
}

void CMainFrame::Impl::OnEndSession() {
    closer.Begin();
    while (!closer.Finished()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // For the frame's own loop, once this message has been answered.
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void CMainFrame::Impl::OnDestroy() {
    closer.RunHere();
    tray.Uninstall();
    dialog.reset();
    window = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK CMainFrame::Impl::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (impl == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            return impl->OnCreate(window);
        case WM_CLOSE:
            impl->OnClose();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                impl->OnEndSession();
            }
            return 0;
        case kCloseFinished:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            impl->OnDestroy();
            return 0;
        case WM_COMMAND:
            // The tray menu's Close; the menu's first item has no handler.
            if (LOWORD(wParam) == kAppExitCommand) {
                SendMessageA(window, WM_CLOSE, 0, 0);
            }
            return 0;
        case kShowShutdownDialog:
            if (impl->dialog == nullptr) {
                auto dialog = std::make_unique<CShutdownServer>();
                if (dialog->Create(*reinterpret_cast<const std::string*>(lParam))) {
                    impl->dialog = std::move(dialog);
                }
            }
            return 0;
        case kShowUntilClose:
            impl->InstallTray(MakeTrayTexts(impl->settings.serverName).untilCloseText);
            return 0;
        case kShutdownProgress:
            if (impl->dialog != nullptr) {
                impl->dialog->SetPosition(static_cast<int>(wParam));
            }
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

CMainFrame::CMainFrame(AppSettings& settings, ShellProgram& program)
    : impl_(std::make_unique<Impl>(settings, program)) {}

CMainFrame::~CMainFrame() {
    Destroy();
}

bool CMainFrame::Create() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = Impl::WindowProc;
    windowClass.hInstance = ShellInstance();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kFrameClass;
    if (!RegisterShellClass(windowClass)) {
        TraceSystemError("Frame class registration", GetLastError());
        return false;
    }
    if (CreateWindowExA(0, kFrameClass, kFrameCaption, kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ShellInstance(),
                        impl_.get()) == nullptr) {
        TraceSystemError("Frame creation", GetLastError());
        return false;
    }
    return true;
}

void CMainFrame::Hide() {
    if (HWND window = impl_->window.load()) {
        ShowWindow(window, SW_HIDE);
        UpdateWindow(window);
    }
}

void CMainFrame::Close() {
    if (HWND window = impl_->window.load()) {
        SendMessageA(window, WM_CLOSE, 0, 0);
    }
}

void CMainFrame::Destroy() {
    if (HWND window = impl_->window.load()) {
        DestroyWindow(window);
    }
}

void CMainFrame::ShowShutdownDialog(const std::string& message) {
    if (HWND window = impl_->window.load()) {
        SendMessageA(window, kShowShutdownDialog, 0, reinterpret_cast<LPARAM>(&message));
    }
}

void CMainFrame::SetShutdownProgress(int position) {
    if (HWND window = impl_->window.load()) {
        SendMessageA(window, kShutdownProgress, static_cast<WPARAM>(position), 0);
    }
}

void CMainFrame::ShowRunningUntilClose() {
    if (HWND window = impl_->window.load()) {
        PostMessageA(window, kShowUntilClose, 0, 0);
    }
}

void CMainFrame::Activate() {
    if (HWND window = impl_->window.load()) {
        SetForegroundWindow(GetLastActivePopup(window));
    }
}

std::uintptr_t CMainFrame::WindowHandle() const {
    return reinterpret_cast<std::uintptr_t>(impl_->window.load());
}

bool CMainFrame::Exists() const {
    return impl_->window.load() != nullptr;
}

std::weak_ptr<const void> CMainFrame::Lifetime() const {
    return impl_->token;
}

namespace {

struct CloseSearch {
    DWORD ownProcess;
    bool posted;
};

BOOL CALLBACK PostCloseToOtherFrame(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<CloseSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof(caption));
    if (caption[0] != '\0' && lstrcmpiA(caption, kFrameCaption) == 0 &&
        process != search.ownProcess) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        search.posted = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool ShutdownRunningInstance() {
    CloseSearch search{GetCurrentProcessId(), false};
    EnumWindows(PostCloseToOtherFrame, reinterpret_cast<LPARAM>(&search));
    return search.posted;
}
