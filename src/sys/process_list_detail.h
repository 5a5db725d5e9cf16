// The inside of the process lists, shared by process_list.cpp and the platform files; nothing
// else includes it (tests of the Windows ways aside).
#pragma once

#include "sys/process_list.h"

#include <cstdint>
#include <memory>
#include <string>

// One way of walking the process list for CProcessInfo.
class CProcessInfoBase {
public:
    virtual ~CProcessInfoBase() = default;
    virtual bool Init() = 0;
    virtual void Done() = 0;
    virtual bool Refresh() = 0;
    virtual bool NextProcess(char* name, char* path, std::uint32_t* id, bool* more) = 0;
};

// The way CProcessInfo::Init chooses on this system.
std::unique_ptr<CProcessInfoBase> ChooseProcessInfoWay(bool preferPsapi);

// The text after the last folder separator ('\' and, on Linux, '/'), or all of it.
std::string StripFolder(const std::string& path);

// Copies `text` into a kProcessTextSize buffer, cut short when it does not fit.
void CopyProcessText(char* buffer, const std::string& text);

#ifdef _WIN32
// The two ways on Windows, which EnumerateProcesses and KillProcessByName choose by platform.
// `upperName` is the upper-case name sought.
bool EnumerateProcessesPsapi(ProcessCallback callback, void* user);
bool EnumerateProcessesToolhelp(ProcessCallback callback, void* user);
std::uint32_t KillProcessByNamePsapi(const std::string& upperName);
std::uint32_t KillProcessByNameToolhelp(const std::string& upperName);
#endif
