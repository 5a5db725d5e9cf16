// Windows only: both ways of listing processes, each called directly (EnumerateProcesses and
// KillProcessByName choose one by platform, so only one of them is reached otherwise).
#include "sys/process_list.h"
#include "sys/process_list_detail.h"

#include "child_process.h"
#include "idle_helper.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

using testsupport::ChildProcess;
using testsupport::IdleHelper;

namespace {

using Walk = bool (*)(ProcessCallback, void*);

std::map<std::uint32_t, std::string> ListWith(Walk walk) {
    std::map<std::uint32_t, std::string> list;
    EXPECT_TRUE(walk(
        [](std::uint32_t id, const char* name, void* user) {
            (*static_cast<std::map<std::uint32_t, std::string>*>(user))[id] =
                name != nullptr ? name : "(null)";
            return 1;
        },
        &list));
    return list;
}

std::string UpperCase(std::string text) {
    CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

TEST(ProcessListWays, PsapiAndToolhelpBothListAStartedProgramUnderItsName) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));

    for (const Walk walk : {&EnumerateProcessesPsapi, &EnumerateProcessesToolhelp}) {
        const auto list = ListWith(walk);
        ASSERT_EQ(list.count(child.Id()), 1u);
        EXPECT_EQ(list.at(child.Id()), helper.Name());
    }
}

TEST(ProcessListWays, ToolhelpKillFindsTheProgramByItsModuleName) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));

    EXPECT_EQ(KillProcessByNameToolhelp(UpperCase(helper.Name())), kKillDone);
    EXPECT_TRUE(child.WaitForEnd(60000));
    EXPECT_EQ(KillProcessByNameToolhelp(UpperCase(helper.Name())), kKillNotFound);
}

TEST(ProcessListWays, PsapiLookUpGivesTheFullPath) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));

    CProcessInfo info;
    ASSERT_TRUE(info.Init(true));
    char name[kProcessTextSize] = {};
    char path[kProcessTextSize] = {};
    ASSERT_TRUE(info.FindProcessById(name, path, child.Id()));
    EXPECT_EQ(UpperCase(path), UpperCase(helper.Path()));
}

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
    EXPECT_EQ(UpperCase(path), UpperCase(helper.Path()));
    EXPECT_EQ(UpperCase(name), UpperCase(helper.Name()));
}

}  // namespace
