// Windows only: reading a pass phrase from the console without echo.
#include <windows.h>

#include "pack/pack_tool.h"

namespace {

// Owner of a console handle, putting the input mode back when done.
class Console {
public:
    Console()
        : in_(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)),
          out_(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr)) {}
    ~Console() {
        if (restore_) {
            SetConsoleMode(in_, saved_);
        }
        if (in_ != INVALID_HANDLE_VALUE) {
            CloseHandle(in_);
        }
        if (out_ != INVALID_HANDLE_VALUE) {
            CloseHandle(out_);
        }
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool EchoOff() {
        if (in_ == INVALID_HANDLE_VALUE || out_ == INVALID_HANDLE_VALUE ||
            !GetConsoleMode(in_, &saved_)) {
            return false;
        }
        restore_ = SetConsoleMode(in_, (saved_ & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT) != 0;
        return restore_;
    }
    void Show(const std::string& text) {
        DWORD written = 0;
        WriteConsoleA(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    HANDLE in() const { return in_; }

private:
    HANDLE in_;
    HANDLE out_;
    DWORD saved_ = 0;
    bool restore_ = false;
};

}  // namespace

std::optional<std::string> AskHiddenOnTerminal(const std::string& prompt) {
    Console console;
    if (!console.EchoOff()) {
        return std::nullopt;
    }
    console.Show(prompt);
    std::string line;
    char buffer[256];
    DWORD got = 0;
    while (ReadConsoleA(console.in(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        line.append(buffer, got);
        if (line.find('\n') != std::string::npos) {
            break;
        }
    }
    console.Show("\r\n");
    const size_t end = line.find_first_of("\r\n");
    return end == std::string::npos ? line : line.substr(0, end);
}
