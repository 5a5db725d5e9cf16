// Windows only: the look-up of a 64-bit program from this 32-bit one.
#include "sys/process_list.h"

#include "child_process.h"
#include "idle_helper.h"

#include <gtest/gtest.h>

#include <windows.h>

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

}  // namespace
