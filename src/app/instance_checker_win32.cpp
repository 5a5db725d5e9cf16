// Windows only: the first copy's frame window in a named shared-memory block of 4 bytes.
#include "app/instance_checker.h"

#include <windows.h>

#include <cstdint>

#include "app/main_frame.h"
#include "sys/handles_win32.h"

namespace {

// The block stays open for the rest of the process, after the checker has gone: the system
// removes it with the process, also after a crash.
ScopedHandle& ProcessBlock() {
    static ScopedHandle block;
    return block;
}

constexpr DWORD kBlockSize = 4;

class ScopedView {
public:
    explicit ScopedView(HANDLE block)
        : view_(MapViewOfFile(block, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kBlockSize)) {}
    ~ScopedView() {
        if (view_ != nullptr) {
            UnmapViewOfFile(view_);
        }
    }
    ScopedView(const ScopedView&) = delete;
    ScopedView& operator=(const ScopedView&) = delete;

    std::uint32_t* Get() const { return static_cast<std::uint32_t*>(view_); }

private:
    void* view_;
};

class ScopedLock {
public:
    explicit ScopedLock(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
    ~ScopedLock() { ReleaseMutex(mutex_); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    HANDLE mutex_;
};

}  // namespace

struct CInstanceChecker::Impl {
    ScopedHandle dataMutex;
    ScopedHandle namedMutex;
};

CInstanceChecker::CInstanceChecker(const std::string& name)
    : impl_(std::make_unique<Impl>()), name_(name) {
    impl_->dataMutex.Reset(CreateMutexA(nullptr, FALSE, nullptr));
    impl_->namedMutex.Reset(CreateMutexA(nullptr, FALSE, name_.c_str()));
}

CInstanceChecker::~CInstanceChecker() = default;

bool CInstanceChecker::IsAnotherInstanceRunning() const {
    ScopedHandle block(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, SharedBlockName().c_str()));
    return block.IsValid();
}

bool CInstanceChecker::RegisterAsFirstInstance(CMainFrame& frame) {
    if (IsAnotherInstanceRunning()) {
        return false;
    }
    ProcessBlock().Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kBlockSize, SharedBlockName().c_str()));
    if (!ProcessBlock().IsValid()) {
        return false;
    }
    ScopedView view(ProcessBlock().Get());
    if (view.Get() == nullptr) {
        return false;
    }
    ScopedLock lock(impl_->dataMutex.Get());
    *view.Get() = static_cast<std::uint32_t>(frame.WindowHandle());
    return true;
}

bool CInstanceChecker::ActivateFirstInstance() {
    ScopedHandle block(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, SharedBlockName().c_str()));
    if (!block.IsValid()) {
        return false;
    }
    ScopedView view(block.Get());
    if (view.Get() == nullptr) {
        return false;
    }
    HWND window = nullptr;
    {
        ScopedLock lock(impl_->dataMutex.Get());
        window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*view.Get()));
    }
    if (window == nullptr) {
        return false;
    }
    HWND popup = GetLastActivePopup(window);
    // The frame itself carries the minimised style bit but must never show: only a pop-up of
    // its own is restored.
    if (popup != window && IsIconic(popup)) {
        ShowWindow(popup, SW_RESTORE);
    }
    SetForegroundWindow(popup);
    return true;
}
