#include "sys/process_list.h"

#include "sys/process_list_detail.h"

#include "child_process.h"
#include "idle_helper.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

using testsupport::ChildProcess;
using testsupport::IdleHelper;

namespace {

constexpr unsigned long kEndTimeoutMs = 60000;

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Every way of walking the list: the one the platform chooses and, on Windows, psapi and
// Toolhelp one by one (only one of them is chosen on a given system). The kill ways take the
// name in upper case.
const struct {
    const char* name;
    bool (*walk)(ProcessCallback, void*);
    std::uint32_t (*kill)(const std::string&);
} kWays[] = {
    {"chosen", &EnumerateProcesses, &KillProcessByName},
#ifdef _WIN32
    {"psapi", &EnumerateProcessesPsapi, &KillProcessByNamePsapi},
    {"Toolhelp", &EnumerateProcessesToolhelp, &KillProcessByNameToolhelp},
#endif
};

std::map<std::uint32_t, std::string> ListWith(bool (*walk)(ProcessCallback, void*)) {
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

// Both look-up ways find a running program's name and full path by its id; an ended one is not
// found, and the buffers are left empty.
void ExpectFoundById(const IdleHelper& helper, std::uint32_t id, bool running) {
    for (const bool preferPsapi : {false, true}) {
        SCOPED_TRACE(std::string(running ? "running, " : "ended, ") +
                     (preferPsapi ? "psapi preferred" : "Toolhelp preferred"));
        CProcessInfo info;
        ASSERT_TRUE(info.Init(preferPsapi));
        char name[kProcessTextSize] = "junk";
        char path[kProcessTextSize] = "junk";
        EXPECT_EQ(info.FindProcessById(name, path, id), running);
        EXPECT_EQ(name, running ? helper.Name() : "");
        EXPECT_EQ(UpperCase(path), running ? UpperCase(helper.Path()) : "");
    }
}

// Each way lists a started program under its executable name, stops where the callback says so,
// and kills the program by its name in any letter case; then it is listed and found no more.
TEST(ProcessListWays, ListFindAndKillAStartedProgramByItsName) {
    IdleHelper helper;
    for (const auto& way : kWays) {
        SCOPED_TRACE(way.name);
        ChildProcess child;
        ASSERT_TRUE(helper.Start(child));
        const auto list = ListWith(way.walk);
        ASSERT_EQ(list.count(child.Id()), 1u);
        EXPECT_EQ(list.at(child.Id()), helper.Name());
        ExpectFoundById(helper, child.Id(), true);

        int calls = 0;
        EXPECT_TRUE(way.walk(
            [](std::uint32_t, const char*, void* user) {
                ++*static_cast<int*>(user);
                return 0;
            },
            &calls));
        EXPECT_EQ(calls, 1);

        EXPECT_EQ(way.kill(UpperCase(helper.Name())), kKillDone);
        EXPECT_TRUE(child.WaitForEnd(kEndTimeoutMs));
        EXPECT_EQ(way.kill(UpperCase(helper.Name())), kKillNotFound);
        EXPECT_EQ(ListWith(way.walk).count(child.Id()), 0u);
        ExpectFoundById(helper, child.Id(), false);
    }
    // The name as it is written finds the program too; on Linux also once its file has been
    // replaced (as by an update while it runs).
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));
#ifndef _WIN32
    std::filesystem::remove(helper.Path());
    std::filesystem::copy_file(testsupport::HelperPath("idle_process"), helper.Path());
#endif
    EXPECT_EQ(KillProcessByName(helper.Name()), kKillDone);
    EXPECT_TRUE(child.WaitForEnd(kEndTimeoutMs));
}

TEST(KillProcessByName, RefusesAnEmptyOrOverlongName) {
    EXPECT_EQ(KillProcessByName(""), kKillBadName);
    EXPECT_EQ(KillProcessByName(std::string(261, 'a')), kKillBadName);
    EXPECT_EQ(KillProcessByName(std::string(260, 'a')), kKillNotFound);
}

}  // namespace
