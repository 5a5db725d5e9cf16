#include "sys/launcher.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "sys/thread.h"
#include "sys/wait_process_end.h"

namespace {

// A decimal number at the start of the text (after blanks); anything else reads as 0. Sizes are
// never negative, and a huge one is capped rather than wrapped.
std::uint32_t SizeNumber(const std::string& text) {
    std::string::size_type i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i < text.size() && text[i] == '+') {
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value =
            std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(text[i] - '0'), 0x7FFFFFFF);
    }
    return static_cast<std::uint32_t>(value);
}

bool EqualsNoCase(const std::string& a, const char* b) {
    std::string::size_type i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

StartupShape StartupShapeFor(bool show, const std::string& size) {
    StartupShape shape;
    if (size.empty()) {
        shape.showState = show ? kShowNormal : kShowHide;
        return shape;
    }
    if (EqualsNoCase(size, "MAXIMIZE")) {
        shape.showState = show ? kShowMaximize : kShowHide;
        return shape;
    }
    shape.showState = show ? kShowNormal : kShowHide;
    shape.useSize = true;
    const std::string::size_type x = size.find('x');
    if (x == std::string::npos) {
        shape.height = SizeNumber(size);
    } else {
        shape.width = SizeNumber(size.substr(0, x));
        shape.height = SizeNumber(size.substr(x + 1));
    }
    return shape;
}

std::vector<std::string> SplitWindowsCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    const std::string& s = commandLine;
    std::string::size_type i = 0;
    while (i < s.size() && IsBlank(s[i])) {
        ++i;
    }
    if (i == s.size()) {
        return args;
    }

    // The program name: quotes group and vanish, every other character is taken as it is.
    std::string program;
    bool quoted = false;
    for (; i < s.size() && (quoted || !IsBlank(s[i])); ++i) {
        if (s[i] == '"') {
            quoted = !quoted;
        } else {
            program += s[i];
        }
    }
    args.push_back(program);

    while (true) {
        while (i < s.size() && IsBlank(s[i])) {
            ++i;
        }
        if (i == s.size()) {
            break;
        }
        std::string arg;
        quoted = false;
        while (i < s.size() && (quoted || !IsBlank(s[i]))) {
            if (s[i] == '\\') {
                std::string::size_type run = 0;
                while (i < s.size() && s[i] == '\\') {
                    ++run;
                    ++i;
                }
                if (i < s.size() && s[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                    // With an even run the quote is handled as a quote on the next pass.
                } else {
                    arg.append(run, '\\');
                }
            } else if (s[i] == '"') {
                if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += s[i];
                ++i;
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string JoinWindowsCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t n = 0; n < arguments.size(); ++n) {
        const std::string& arg = arguments[n];
        if (n > 0) {
            line += ' ';
        }
        const bool plain = !arg.empty() && arg.find_first_of(" \t\"") == std::string::npos;
        if (plain) {
            line += arg;
            continue;
        }
        if (n == 0) {
            // The program name honours quotes only, and cannot hold one.
            line += "\"" + arg + "\"";
            continue;
        }
        line += '"';
        std::string::size_type backslashes = 0;
        for (const char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(backslashes * 2 + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

std::string ExecutablePathOf(const std::string& commandLine) {
    std::string upper = commandLine;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::string::size_type at = upper.find(".EXE");
    return at == std::string::npos ? "" : commandLine.substr(0, at + 4);
}

std::string FileNameOf(const std::string& path) {
    const std::string::size_type slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string::size_type start = name.find_first_not_of('"');
    return start == std::string::npos ? "" : name.substr(start);
}

std::string DefaultProcessName(const std::string& commandLine) {
    return FileNameOf(ExecutablePathOf(commandLine));
}

void ProcessLauncher::WaitForExit() {
    const std::uint32_t id = processId_;
    // Id 0 is no program of ours: a fresh launcher whose handover search found nothing. On
    // Windows the process list even names 0 (the idle process), so a watcher would never end.
    if (id == 0) {
        return;
    }
    auto watcher = std::make_unique<CWaitProcessEnd>(this, id);
    watcher->Start();
    watcher->SetPriority(kThreadPriorityLowest);
    const ThreadHandle handle = watcher->GetHandle();
    // Waits in slices so that a launch on a worker thread that is asked to stop returns.
    while (!handle.Wait(200)) {
        if (CThread::StopRequested()) {
            break;
        }
    }
    watcher->Kill(0, true);
}

bool ProcessLauncher::PauseForHandover() {
    return CThread::Pause(kHandoverPauseMs) && CThread::Pause(kHandoverSettleMs);
}
