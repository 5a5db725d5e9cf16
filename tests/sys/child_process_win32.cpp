// Windows only: test programs started with CreateProcessA.
#include "child_process.h"

#include <windows.h>

namespace testsupport {

ChildProcess::~ChildProcess() {
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, INFINITE);
        }
        CloseHandle(process_);
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& arg : args) {
        commandLine += " \"" + arg + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

bool ChildProcess::WaitForEnd(unsigned long ms) {
    return process_ == nullptr || WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
}

}  // namespace testsupport
