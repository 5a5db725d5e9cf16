// Windows only: the shutdown dialog as a modeless dialog from template 132.
#include "app/shutdown_dialog.h"

#include "app/ui_win32.h"

#include <commctrl.h>

namespace {

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Centres `window` on the work area of the monitor it is on, as a dialog without a parent is.
void CenterWindow(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    RECT area{};
    if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        area = monitor.rcWork;
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, (area.left + area.right - width) / 2,
                 (area.top + area.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

struct CShutdownServer::Impl {
    ScopedWindow dialog;
    std::string message;

    void UpdateData() { SetDlgItemTextA(dialog.Get(), kShutdownMessageControl, message.c_str()); }
    void SendToBar(UINT message_, WPARAM wParam, LPARAM lParam) {
        SendDlgItemMessageA(dialog.Get(), kShutdownProgressControl, message_, wParam, lParam);
    }
};

CShutdownServer::CShutdownServer() : impl_(std::make_unique<Impl>()) {}

CShutdownServer::~CShutdownServer() = default;

bool CShutdownServer::Create(const std::string& message) {
    impl_->dialog.Reset(CreateDialogParamA(
        ShellInstance(), MAKEINTRESOURCEA(kShutdownDialogResource), nullptr, DialogProc, 0));
    if (impl_->dialog.Get() == nullptr) {
        return false;
    }
    impl_->message = message;
    ShowWindow(impl_->dialog.Get(), SW_SHOW);
    CenterWindow(impl_->dialog.Get());
    impl_->SendToBar(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    impl_->SendToBar(PBM_SETPOS, 0, 0);
    impl_->UpdateData();
    return true;
}

void CShutdownServer::SetPosition(int position) {
    if (impl_->dialog.Get() == nullptr) {
        return;
    }
    impl_->SendToBar(PBM_SETPOS, static_cast<WPARAM>(position), 0);
    impl_->UpdateData();
}
