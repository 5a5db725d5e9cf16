// Linux only: reading a pass phrase from the terminal without echo.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "pack/pack_tool.h"

namespace {

// Owner of the terminal descriptor, putting the terminal's settings back when done.
class Terminal {
public:
    Terminal() : fd_(open("/dev/tty", O_RDWR | O_CLOEXEC)) {}
    ~Terminal() {
        if (restore_) {
            tcsetattr(fd_, TCSAFLUSH, &saved_);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool EchoOff() {
        if (fd_ < 0 || tcgetattr(fd_, &saved_) != 0) {
            return false;
        }
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        restore_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
        return restore_;
    }
    int fd() const { return fd_; }

private:
    int fd_;
    termios saved_{};
    bool restore_ = false;
};

}  // namespace

std::optional<std::string> AskHiddenOnTerminal(const std::string& prompt) {
    Terminal terminal;
    if (!terminal.EchoOff()) {
        return std::nullopt;
    }
    if (write(terminal.fd(), prompt.data(), prompt.size()) < 0) {
        return std::nullopt;
    }
    std::string line;
    char c = 0;
    while (read(terminal.fd(), &c, 1) == 1 && c != '\n') {
        line += c;
    }
    const char newline = '\n';
    if (write(terminal.fd(), &newline, 1) < 0) {
        return std::nullopt;
    }
    return line;
}
