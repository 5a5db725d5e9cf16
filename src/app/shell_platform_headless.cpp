// Linux only: the launcher without a toolkit. On a display the desktop launcher beside it takes
// over the process before anything has happened; otherwise the program runs without windows on
// the plain UI loop.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/shell_platform.h"
#include "app/ui_thread.h"
#include "sys/folders.h"

namespace {

// This process's arguments, its own name first, as the kernel keeps them.
std::vector<std::string> OwnArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = all.find('\0', start);
        arguments.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    return arguments;
}

// Replaces this process with the desktop launcher, with the same arguments and environment; back
// here only when that cannot be done, and then says so on standard error.
void BecomeDesktopLauncher() {
    const std::string program = GetModuleFolder() + kDesktopLauncherName;
    std::vector<std::string> arguments = OwnArguments();
    if (arguments.empty()) {
        arguments.emplace_back();
    }
    arguments[0] = program;
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    std::fprintf(stderr, "%s: %s; running without windows.\n", program.c_str(),
                 std::strerror(errno));
}

}  // namespace

struct ShellPlatform::Impl {};

ShellPlatform::ShellPlatform() {
    if (DisplayNamed()) {
        BecomeDesktopLauncher();
    }
}

ShellPlatform::~ShellPlatform() {
    StopUiThreadWork();
}

bool ShellPlatform::StartOle() {
    return true;
}

bool ShellPlatform::HasDisplay() const {
    return false;
}

int ShellPlatform::RunMessageLoop() {
    return RunUiLoop();
}

void RaiseFrontWindow() {}
