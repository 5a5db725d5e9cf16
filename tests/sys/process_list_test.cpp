#include "sys/process_list.h"

#include "child_process.h"
#include "idle_helper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

using testsupport::ChildProcess;
using testsupport::IdleHelper;

namespace {

constexpr unsigned long kEndTimeoutMs = 60000;

std::map<std::uint32_t, std::string> ListProcesses() {
    std::map<std::uint32_t, std::string> list;
    const bool walked = EnumerateProcesses(
        [](std::uint32_t id, const char* name, void* user) {
            (*static_cast<std::map<std::uint32_t, std::string>*>(user))[id] =
                name != nullptr ? name : "(null)";
            return 1;
        },
        &list);
    EXPECT_TRUE(walked);
    return list;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

TEST(EnumerateProcesses, ListsAStartedProgramUnderItsExecutableName) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));

    const auto list = ListProcesses();
    ASSERT_EQ(list.count(child.Id()), 1u);
    EXPECT_EQ(list.at(child.Id()), helper.Name());
}

TEST(EnumerateProcesses, ACallbackAnsweringZeroStopsTheWalkAfterOneProcess) {
    int calls = 0;
    EXPECT_TRUE(EnumerateProcesses(
        [](std::uint32_t, const char*, void* user) {
            ++*static_cast<int*>(user);
            return 0;
        },
        &calls));
    EXPECT_EQ(calls, 1);
}

TEST(ProcessInfo, FindsARunningProgramByIdWithBothWays) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));

    for (const bool preferPsapi : {false, true}) {
        SCOPED_TRACE(preferPsapi ? "psapi preferred" : "Toolhelp preferred");
        CProcessInfo info;
        ASSERT_TRUE(info.Init(preferPsapi));
        char name[kProcessTextSize] = "junk";
        char path[kProcessTextSize] = "junk";
        ASSERT_TRUE(info.FindProcessById(name, path, child.Id()));
        EXPECT_EQ(std::string(name), helper.Name());
        EXPECT_TRUE(EndsWith(path, helper.Name())) << path;
    }
}

TEST(ProcessInfo, AnEndedProgramIsNotFoundAndTheBuffersAreEmpty) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));
    ASSERT_EQ(KillProcessByName(helper.Name()), kKillDone);
    ASSERT_TRUE(child.WaitForEnd(kEndTimeoutMs));

    CProcessInfo info;
    ASSERT_TRUE(info.Init(false));
    char name[kProcessTextSize] = "junk";
    char path[kProcessTextSize] = "junk";
    EXPECT_FALSE(info.FindProcessById(name, path, child.Id()));
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(path, "");
    EXPECT_EQ(ListProcesses().count(child.Id()), 0u);
}

TEST(KillProcessByName, KillsTheProgramWhateverTheLetterCaseOfTheName) {
    IdleHelper helper;
    ChildProcess first;
    ASSERT_TRUE(helper.Start(first));
    EXPECT_EQ(KillProcessByName(UpperCase(helper.Name())), kKillDone);
    EXPECT_TRUE(first.WaitForEnd(kEndTimeoutMs));

    ChildProcess second;
    ASSERT_TRUE(helper.Start(second));
    EXPECT_EQ(KillProcessByName(helper.Name()), kKillDone);
    EXPECT_TRUE(second.WaitForEnd(kEndTimeoutMs));

    EXPECT_EQ(KillProcessByName(helper.Name()), kKillNotFound);
}

TEST(KillProcessByName, RefusesAnEmptyOrOverlongName) {
    EXPECT_EQ(KillProcessByName(""), kKillBadName);
    EXPECT_EQ(KillProcessByName(std::string(261, 'a')), kKillBadName);
    EXPECT_EQ(KillProcessByName(std::string(260, 'a')), kKillNotFound);
}

}  // namespace
