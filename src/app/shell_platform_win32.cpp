// Windows only: common controls, OLE and the UI thread's message loop.
#include "app/shell_platform.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "sys/error_text.h"

struct ShellPlatform::Impl {
    bool oleStarted = false;
};

ShellPlatform::ShellPlatform() : impl_(std::make_unique<Impl>()) {
    InitCommonControls();
}

ShellPlatform::~ShellPlatform() {
    if (impl_->oleStarted) {
        OleUninitialize();
    }
}

bool ShellPlatform::StartOle() {
    const HRESULT result = OleInitialize(nullptr);
    impl_->oleStarted = SUCCEEDED(result);
    if (!impl_->oleStarted) {
        TraceSystemError("OLE start", static_cast<unsigned long>(result));
    }
    return impl_->oleStarted;
}

bool ShellPlatform::HasDisplay() const {
    return true;
}

int ShellPlatform::RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
