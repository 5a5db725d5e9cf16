// Windows only: the look-up of a 64-bit program from this 32-bit one, and a psapi walk that
// fails.
#include "sys/process_list.h"
#include "sys/process_list_detail.h"

#include "child_process.h"
#include "idle_helper.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

using testsupport::ChildProcess;
using testsupport::IdleHelper;

namespace {

// Today's servers are 64-bit programs. The launcher is a 32-bit one: it reads their paths to tell
// whether an id still runs the server it started, before it ends that id.
TEST(ProcessListWays, LookUpGivesThePathOfA64BitProgram) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "the tests run in a 64-bit prefix, this test program as a 32-bit one";
    IdleHelper helper(testsupport::HelperPath("x64\\idle_process"));
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child.Id());
    ASSERT_NE(process, nullptr);
    BOOL childWow64 = TRUE;
    EXPECT_TRUE(IsWow64Process(process, &childWow64));
    CloseHandle(process);
    EXPECT_FALSE(childWow64) << "the helper runs as a 64-bit program";

    CProcessInfo info;
    ASSERT_TRUE(info.Init(true));
    char name[kProcessTextSize] = {};
    char path[kProcessTextSize] = {};
    ASSERT_TRUE(info.FindProcessById(name, path, child.Id()));
    EXPECT_EQ(lstrcmpiA(path, helper.Path().c_str()), 0) << path;
    EXPECT_EQ(lstrcmpiA(name, helper.Name().c_str()), 0) << name;
}

BOOL WINAPI RefusingEnumProcesses(DWORD*, DWORD, DWORD*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A walk that cannot list the ids reports the listing's own error, not whatever unloading the
// library leaves. The listing is made to fail by a jump from the system's listing function to a
// refusing one for the length of the walk.
TEST(ProcessListWays, AFailedPsapiWalkKeepsTheListingsError) {
    // psapi's EnumProcesses ends in the system's K32EnumProcesses, which stays loaded.
    auto* code = reinterpret_cast<unsigned char*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32EnumProcesses"));
    ASSERT_NE(code, nullptr);
    unsigned char saved[5];
    std::memcpy(saved, code, sizeof saved);
    DWORD protection = 0;
    ASSERT_TRUE(VirtualProtect(code, sizeof saved, PAGE_EXECUTE_READWRITE, &protection));
    const auto jump = reinterpret_cast<std::intptr_t>(&RefusingEnumProcesses) -
                      reinterpret_cast<std::intptr_t>(code + sizeof saved);
    code[0] = 0xE9;
    std::memcpy(code + 1, &jump, 4);
    FlushInstructionCache(GetCurrentProcess(), code, sizeof saved);

    SetLastError(0);
    const bool walked =
        EnumerateProcessesPsapi([](std::uint32_t, const char*, void*) { return 1; }, nullptr);
    const DWORD error = GetLastError();

    std::memcpy(code, saved, sizeof saved);
    VirtualProtect(code, sizeof saved, protection, &protection);
    FlushInstructionCache(GetCurrentProcess(), code, sizeof saved);
    EXPECT_FALSE(walked);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
