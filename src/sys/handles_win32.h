// Windows only: owners for kernel handles and libraries, and run-time function look-up. Included
// by *_win32.cpp files alone.
#pragma once

#include <windows.h>

#include <utility>

// Closes its handle when it goes. Both null and INVALID_HANDLE_VALUE mean "none", since the
// system uses either for a failure depending on the call.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (IsValid()) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// Frees its library when it goes.
class ScopedLibrary {
public:
    ScopedLibrary() = default;
    explicit ScopedLibrary(HMODULE module) : module_(module) {}
    ~ScopedLibrary() { Reset(); }
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;

    HMODULE Get() const { return module_; }
    bool IsValid() const { return module_ != nullptr; }
    void Reset(HMODULE module = nullptr) {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
        module_ = module;
    }

private:
    HMODULE module_ = nullptr;
};

// A function of `module` looked up by name at run time, as the type the caller declares; null
// when the module lacks it. The detour through void (*)() is the conversion that compilers
// accept between unrelated function types without a warning.
template <typename Function>
Function LookUp(HMODULE module, const char* name) {
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
