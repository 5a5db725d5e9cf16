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

// Sends every call of a system function to a stand-in for the object's life: a jump over the
// function's first bytes, put back at the end.
class Detour {
public:
    Detour(const char* function, const void* standIn)
        : code_(reinterpret_cast<unsigned char*>(
              GetProcAddress(GetModuleHandleA("kernel32.dll"), function))) {
        if (code_ == nullptr ||
            !VirtualProtect(code_, sizeof saved_, PAGE_EXECUTE_READWRITE, &protection_)) {
            code_ = nullptr;
            return;
        }
        std::memcpy(saved_, code_, sizeof saved_);
        const auto jump = reinterpret_cast<std::intptr_t>(standIn) -
                          reinterpret_cast<std::intptr_t>(code_ + sizeof saved_);
        code_[0] = 0xE9;
        std::memcpy(code_ + 1, &jump, 4);
        FlushInstructionCache(GetCurrentProcess(), code_, sizeof saved_);
    }
    ~Detour() {
        if (code_ != nullptr) {
            std::memcpy(code_, saved_, sizeof saved_);
            VirtualProtect(code_, sizeof saved_, protection_, &protection_);
            FlushInstructionCache(GetCurrentProcess(), code_, sizeof saved_);
        }
    }
    Detour(const Detour&) = delete;
    Detour& operator=(const Detour&) = delete;

    bool active() const { return code_ != nullptr; }

private:
    unsigned char* code_;
    unsigned char saved_[5] = {};
    DWORD protection_ = 0;
};

BOOL WINAPI RefusingEnumProcesses(DWORD*, DWORD, DWORD*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Succeeds, as the system's may, with another thread error left behind (the library stays).
BOOL WINAPI ErrorLeavingFreeLibrary(HMODULE) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return TRUE;
}

// A walk that cannot list the ids reports the listing's own error, not whatever unloading the
// library leaves. (psapi's EnumProcesses ends in the system's K32EnumProcesses.)
TEST(ProcessListWays, AFailedPsapiWalkKeepsTheListingsError) {
    bool walked = true;
    DWORD error = 0;
    {
        const Detour listing("K32EnumProcesses",
                             reinterpret_cast<const void*>(&RefusingEnumProcesses));
        const Detour unloading("FreeLibrary",
                               reinterpret_cast<const void*>(&ErrorLeavingFreeLibrary));
        ASSERT_TRUE(listing.active() && unloading.active());
        walked =
            EnumerateProcessesPsapi([](std::uint32_t, const char*, void*) { return 1; }, nullptr);
        error = GetLastError();
    }
    EXPECT_FALSE(walked);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
