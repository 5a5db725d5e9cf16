// Starting the helper programs of tests/helpers: waits, process ids, arguments without a shell,
// inheritance, failed starts, the handover search and process trees.
#include "sys/launcher.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "child_process.h"
#include "fake_tcp_server.h"
#include "sys/environment.h"
#include "sys/message_box.h"
#include "sys/pure_socket.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>

#include <cstdlib>
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::CurrentFolder;
using testsupport::Eventually;
using testsupport::HelperPath;
using testsupport::ProcessRuns;
using testsupport::TempDir;

// Generous limits for events that normally take milliseconds; they only keep a broken build
// from hanging the run.
constexpr auto kEventLimit = 60s;

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// The command line of a helper program given a file to write and further arguments.
std::string HelperLine(const std::string& helper, const std::string& file,
                       const std::string& rest = "") {
    return Quoted(HelperPath(helper)) + " " + Quoted(file) + (rest.empty() ? "" : " " + rest);
}

// The content of a file that a helper writes in one piece, once it is there. Every record is
// non-empty; an empty read means the file is still held by its writer (Windows renames through
// an open handle).
std::string AwaitFile(const std::string& path) {
    std::string content;
    Eventually([&] { return !(content = testsupport::ReadFile(path)).empty(); }, kEventLimit);
    return content;
}

std::uint32_t AwaitPid(const std::string& path) {
    return static_cast<std::uint32_t>(std::stoul("0" + AwaitFile(path)));
}

std::vector<std::string> Fields(const std::string& record) {
    std::vector<std::string> fields;
    std::istringstream in(record);
    for (std::string field; std::getline(in, field, '\0');) {
        fields.push_back(field);
    }
    return fields;
}

// A shown launch on a thread of its own; `wanted` names the program to follow.
std::future<bool> LaunchAside(ProcessLauncher& launcher, const std::string& line, LaunchWait wait,
                              WindowSearch search, const std::string& size = "",
                              const std::string& wanted = "") {
    return std::async(std::launch::async, [=, &launcher] {
        return launcher.Launch(line, "", wait, true, search, size, wanted);
    });
}

bool ProcessEnds(std::uint32_t pid, std::chrono::milliseconds limit = kEventLimit) {
    return Eventually([pid] { return !ProcessRuns(pid); }, limit);
}

struct Box {
    std::string text;
    std::string caption;
    unsigned style;
};

// Every test catches the boxes the launcher shows, so that none ever waits for a user.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, unsigned style) {
                boxes_.push_back({text, caption, style});
                return 1;
            });
    }
    void TearDown() override {
        SetMessageBoxHandler(std::move(previous_));
        EXPECT_TRUE(boxes_.empty()) << boxes_.front().caption << ": " << boxes_.front().text;
    }

    std::vector<Box> boxes_;
    TempDir dir_;

private:
    MessageBoxHandler previous_;
};

// The child inherits the launcher's current folder and environment, with the launch's own
// variables in place of the launcher's, which stay as they are. A launch without a wait returns
// while the child runs; one that waits until the exit returns only after the child has ended.
// Its arguments reach it literally, without a shell.
TEST_F(LauncherTest, TheChildGetsTheLaunchersFolderAndEnvironmentAndTheWaitHolds) {
    fs::create_directory(dir_ / "cwd");
    // The launch that waits also gives the child a variable of its own.
    for (const bool waits : {false, true}) {
        SCOPED_TRACE(waits ? "until exit" : "no wait");
        const std::string probeSeen = waits ? "given to this launch" : "set by the test";
        const std::string out = dir_ / (waits ? "waited" : "not-waited");
        const std::string release = out + ".release";
        const testsupport::ScopedEnv probe("TRH_LAUNCH_PROBE", "set by the test");
        const testsupport::ScopedEnv hold("TRH_LAUNCH_HOLD", release);
        auto folder = std::make_unique<CurrentFolder>(dir_ / "cwd");
        const fs::path childFolder = fs::current_path();

        ProcessLauncher launcher;
        LaunchOptions options;
        options.wait = waits ? LaunchWait::UntilExit : LaunchWait::None;
        if (waits) {
            options.environment = {{"TRH_LAUNCH_PROBE", probeSeen}};
        }
        auto launch = std::async(std::launch::async, [&] {
            return launcher.Launch(
                HelperLine("launch_args", out) +
                    " \"http://127.0.0.1:8080/a b?x=1&y=2;z=$(touch pwned)\" 'single' \"\""
                    " back\\slash \"say \\\"hi\\\"\" $HOME|more>redirected ; `touch pwned2`",
                options);
        });
        const std::vector<std::string> fields = Fields(AwaitFile(out));
        folder.reset();
        // The child cannot end before the release file exists.
        EXPECT_EQ(launch.wait_for(waits ? 0s : kEventLimit),
                  waits ? std::future_status::timeout : std::future_status::ready);
        testsupport::WriteFile(release, "");
        ASSERT_EQ(launch.wait_for(kEventLimit), std::future_status::ready);
        EXPECT_TRUE(launch.get());

        ASSERT_GE(fields.size(), 4u);
        EXPECT_EQ(fields[0], std::to_string(launcher.processId()));
        EXPECT_EQ(fields[1], childFolder.string());
        EXPECT_EQ(fields[2], probeSeen);
#ifndef _WIN32
        // A server that signals its whole group must not reach the launcher.
        EXPECT_EQ(fields[3], "own");
#endif
        EXPECT_EQ(std::vector<std::string>(fields.begin() + 4, fields.end()),
                  (std::vector<std::string>{"http://127.0.0.1:8080/a b?x=1&y=2;z=$(touch pwned)",
                                            "'single'", "", "back\\slash", "say \"hi\"",
                                            "$HOME|more>redirected", ";", "`touch", "pwned2`"}));
        for (const char* made : {"pwned", "pwned2", "redirected"}) {
            EXPECT_FALSE(fs::exists(dir_ / ("cwd/" + std::string(made)))) << made;
        }
        EXPECT_EQ(GetEnvironmentValue("TRH_LAUNCH_PROBE"), "set by the test");
        // Ended already when the wait returned.
        EXPECT_TRUE(ProcessEnds(launcher.processId(), waits ? 0s : kEventLimit));
    }
}

// The tree starts without what the launcher holds open (here the fake server's listening socket,
// which both systems would hand on): once the launcher lets go, the port is closed. A start that
// fails shows the system's error, does not wait and leaves the running tree the launcher's. The
// stop ends the program with what it started while the program runs. Once the watched program
// has ended, what it started belongs to the user: the stop ends nothing.
TEST_F(LauncherTest, ATreeInheritsNoHandlesFailedStartsLeaveItAndTerminateTreeEndsIt) {
    ProcessLauncher fresh;
    fresh.TerminateTree();  // no process yet: must reach nothing, least of all this one

    WinsockGuard winsock;
    testsupport::FakeTcpServer server;
    ProcessLauncher launcher;
    ASSERT_TRUE(launcher.Launch(HelperLine("launch_tree", dir_ / "t", "0 deaf"), "",
                                LaunchWait::None, false, WindowSearch::Direct));
    const std::uint32_t pids[] = {AwaitPid(dir_ / "t.0"), AwaitPid(dir_ / "t.1"),
                                  AwaitPid(dir_ / "t.2")};
    EXPECT_EQ(pids[0], launcher.processId());
    // A process is taken hold of by its id and start time, and by no other start time.
    const Process root = launcher.process();
    EXPECT_TRUE(Process::Open(root.id(), root.startTime()).IsRunning());
    for (const std::uint64_t other : {root.startTime() - 1, root.startTime() + 1}) {
        EXPECT_FALSE(Process::Open(root.id(), other).IsValid()) << other;
    }
    server.CloseListener();
    EXPECT_FALSE(IsPortInUse(server.Port(), "127.0.0.1"));

    // A missing program, and a file that is no program: a text of shell commands, which must
    // not be handed to a shell either.
    const std::string notProgram = dir_ / "not-a-program.exe";
    testsupport::WriteFile(notProgram, "touch pwned\n");
    fs::permissions(notProgram, fs::perms::owner_all, fs::perm_options::add);
    const struct {
        std::string program;
        int error;  // errno on Linux
    } cases[] = {{dir_ / "no-such-program.exe", ENOENT}, {notProgram, ENOEXEC}};
    {
        CurrentFolder folder(dir_.path());
        for (const auto& c : cases) {
            SCOPED_TRACE(c.program);
            boxes_.clear();
            auto launch = LaunchAside(launcher, Quoted(c.program), LaunchWait::UntilExit,
                                      WindowSearch::Direct);
            // An UntilExit wait would watch the running tree, which never ends by itself.
            ASSERT_EQ(launch.wait_for(kEventLimit), std::future_status::ready);
            EXPECT_FALSE(launch.get());
            EXPECT_EQ(launcher.processId(), pids[0]);
            ASSERT_EQ(boxes_.size(), 1u);
            EXPECT_EQ(boxes_[0].caption, "Error");
            EXPECT_EQ(boxes_[0].style, static_cast<unsigned>(kMessageBoxIconInformation));
#ifdef _WIN32
            // "%1 is not a valid Win32 application." formats only when inserts are left alone.
            EXPECT_FALSE(boxes_[0].text.empty());
            (void)c.error;
#else
            EXPECT_EQ(boxes_[0].text, std::strerror(c.error));
#endif
        }
        boxes_.clear();
        EXPECT_FALSE(fs::exists(dir_ / "pwned"));
    }
    launcher.TerminateTree();
    for (std::uint32_t pid : pids) {
        EXPECT_TRUE(ProcessEnds(pid)) << pid;
    }
    launcher.TerminateTree();  // ids that are gone are ignored
#ifndef _WIN32
    // Asked to end, a program gets the request it can answer in order, not a kill.
    ProcessLauncher asked;
    ASSERT_TRUE(asked.Launch(HelperLine("idle_process", dir_ / "asked", "0"), "", LaunchWait::None,
                             false, WindowSearch::Direct));
    AwaitFile(dir_ / "asked");
    ASSERT_TRUE(asked.process().AskToEnd());
    EXPECT_TRUE(asked.process().WaitForExit(10000));
    EXPECT_EQ(asked.process().ExitStatus(), 128 + SIGTERM);
#endif

    ProcessLauncher ended;
    ASSERT_TRUE(ended.Launch(HelperLine("launch_window", dir_ / "kid", "handover"), "",
                             LaunchWait::UntilExit, true, WindowSearch::Direct));
    const std::uint32_t kid = AwaitPid(dir_ / "kid");
    ended.TerminateTree();
    EXPECT_FALSE(ProcessEnds(kid, 1s));
    ProcessLauncher::TerminateTree(kid);
    EXPECT_TRUE(ProcessEnds(kid));
}

// A server must not outlive a launcher that is killed, yet must survive the worker thread that
// started it (the start sequence's thread may end long before the servers should). A program the
// user asked to run is not tied and stays.
TEST_F(LauncherTest, ATiedProgramEndsWithTheLauncherProcessOnly) {
    for (const bool tied : {true, false}) {
        SCOPED_TRACE(tied ? "tied" : "untied");
        const std::string base = dir_ / (tied ? "t" : "u");
        auto launcher = std::make_unique<testsupport::ChildProcess>();
        ASSERT_TRUE(launcher->Start(HelperPath("launch_tied"), {base, tied ? "tied" : "untied"}));
        ASSERT_EQ(AwaitPid(base + ".launcher"), launcher->Id());
        const std::uint32_t child = AwaitPid(base + ".1");
        const std::uint32_t grandchild = AwaitPid(base + ".2");
        EXPECT_TRUE(ProcessRuns(child)) << "ended with the thread that started it";

        launcher.reset();  // killed hard, like the task manager does
        EXPECT_EQ(ProcessEnds(child, tied ? kEventLimit : 0s), tied);
#ifdef _WIN32
        // The job holds the whole tree.
        EXPECT_EQ(ProcessEnds(grandchild, tied ? kEventLimit : 0s), tied);
#endif
        // Linux: only the direct child gets the parent-death signal; a server ends its own
        // workers.
        ProcessLauncher::TerminateTree(grandchild);
        ProcessLauncher::TerminateTree(child);
        EXPECT_TRUE(ProcessEnds(child));
        EXPECT_TRUE(ProcessEnds(grandchild));
    }
}

#ifdef _WIN32
// The rectangle of the first visible top-level window of a process; all -1 when it has none.
RECT VisibleWindowRect(std::uint32_t pid) {
    RECT rect{-1, -1, -1, -1};
    for (HWND window = GetTopWindow(nullptr); window != nullptr;
         window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window)) {
            GetWindowRect(window, &rect);
            break;
        }
    }
    return rect;
}
#endif

// Ends one process, not what it started.
void EndOnly(std::uint32_t id) {
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    ASSERT_NE(process, nullptr) << GetLastError();
    TerminateProcess(process, 1);
    CloseHandle(process);
#else
    ASSERT_EQ(kill(static_cast<pid_t>(id), SIGKILL), 0) << std::strerror(errno);
#endif
}

// The handover cases run side by side, so that the search's limit is paid once.
TEST_F(LauncherTest, HandoverFollowsWhatTheLaunchLedToAndNothingElse) {
    // The user's own program of the wanted name runs before the launch. (Each case wants a name
    // of its own: a newcomer of the wanted name counts, whoever started it.)
    const std::string usersProgram = dir_ / "users_window" + testsupport::kExe;
    fs::copy_file(HelperPath("launch_window"), usersProgram);
    ProcessLauncher user;
    ASSERT_TRUE(user.Launch(Quoted(usersProgram) + " " + Quoted(dir_ / "user"), "",
                            LaunchWait::None, true, WindowSearch::Direct));
    const std::uint32_t usersOwn = AwaitPid(dir_ / "user");

    // A stub that starts launch_window after 2 s and exits: the window program is followed to
    // its end, not the stub; the user's program of that name is never taken.
    const auto searchOver = std::chrono::steady_clock::now() +
                            std::chrono::milliseconds(ProcessLauncher::kHandoverLimitMs) + 1s;
    ProcessLauncher stub;
    auto stubLaunch = LaunchAside(stub, HelperLine("launch_window", dir_ / "stub", "handover 2000"),
                                  LaunchWait::UntilExit, WindowSearch::Handover, "",
                                  "LAUNCH_window" + testsupport::kExe);

    // Without a name, the launched program itself, from a quoted path with blanks.
    fs::create_directory(dir_ / "dir with blanks");
    const std::string copy = dir_ / ("dir with blanks/launch_window2" + testsupport::kExe);
    fs::copy_file(HelperPath("launch_window"), copy);
    ProcessLauncher direct;
    auto directLaunch = LaunchAside(direct, Quoted(copy) + " " + Quoted(dir_ / "own"),
                                    LaunchWait::None, WindowSearch::Handover, "640x480");

    // A program that ends at once and leads to nothing but the user's program of the wanted
    // name: nothing can be followed, and the launch says so once the search is over.
    ProcessLauncher nothing;
    auto nothingLaunch =
        LaunchAside(nothing, HelperLine("idle_process", dir_ / "gone", "10"), LaunchWait::UntilExit,
                    WindowSearch::Handover, "", "users_window" + testsupport::kExe);

    // A close while the search still runs ends it at once.
    ProcessLauncher cancelled;
    auto cancelledLaunch =
        LaunchAside(cancelled, HelperLine("idle_process", dir_ / "cancelled", "10"),
                    LaunchWait::UntilExit, WindowSearch::Handover);

    // A browser with a helper of its own that outlives it for a moment, as when the user closes
    // it: the helper's end is the end of the wait, long before the search is over.
    ProcessLauncher browser;
    auto browserLaunch = LaunchAside(browser, HelperLine("launch_tree", dir_ / "tree", "1"),
                                     LaunchWait::UntilExit, WindowSearch::Handover);

    // The window program is adopted as soon as it is there.
    const std::uint32_t adopted = AwaitPid(dir_ / "stub");
    EXPECT_TRUE(Eventually([&] { return stub.processId() == adopted; }, kEventLimit));
    EXPECT_EQ(stubLaunch.wait_for(0s), std::future_status::timeout);

    AwaitFile(dir_ / "cancelled");
    cancelled.Cancel();
    EXPECT_EQ(cancelledLaunch.wait_for(kEventLimit), std::future_status::ready);

    const std::uint32_t own = AwaitPid(dir_ / "own");
    ASSERT_EQ(directLaunch.wait_for(kEventLimit), std::future_status::ready);
    EXPECT_TRUE(directLaunch.get());
    EXPECT_EQ(direct.processId(), own);
    EXPECT_TRUE(direct.Followed());

    const std::uint32_t browserId = AwaitPid(dir_ / "tree.1");
    const std::uint32_t helperId = AwaitPid(dir_ / "tree.2");
    EXPECT_TRUE(Eventually([&] { return browser.processId() == browserId; }, kEventLimit));
    // The search looks below what it follows once a round.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * ProcessLauncher::kHandoverPollMs));
    EndOnly(browserId);
    EXPECT_TRUE(Eventually([&] { return browser.processId() == helperId; }, kEventLimit));
    EndOnly(helperId);
    ASSERT_EQ(browserLaunch.wait_for(kEventLimit), std::future_status::ready);
    EXPECT_TRUE(browser.Followed());
    EXPECT_LT(std::chrono::steady_clock::now(), searchOver);

    ASSERT_EQ(nothingLaunch.wait_for(kEventLimit), std::future_status::ready);
    EXPECT_TRUE(nothingLaunch.get());
    EXPECT_NE(nothing.processId(), usersOwn);
    EXPECT_FALSE(nothing.Followed());
    EXPECT_TRUE(ProcessRuns(usersOwn));
#ifdef _WIN32
    // The adopted window is moved to the top left corner at the asked size. The X server under
    // Wine confirms a move a little later when it is busy, so the place is read until it settles.
    RECT rect{};
    Eventually([&] { return (rect = VisibleWindowRect(own)).left == 0 && rect.top == 0; }, 5s);
    EXPECT_EQ((std::vector<LONG>{rect.left, rect.top, rect.right, rect.bottom}),
              (std::vector<LONG>{0, 0, 640, 480}));
#endif

    // Once the search is over, the followed program's end is the end of the wait. (An end
    // within the search's limit makes it look again.)
    std::this_thread::sleep_until(searchOver);
    EXPECT_EQ(stubLaunch.wait_for(0s), std::future_status::timeout);
    ProcessLauncher::TerminateTree(adopted);
    ASSERT_EQ(stubLaunch.wait_for(kEventLimit), std::future_status::ready);
    EXPECT_TRUE(stubLaunch.get());
    EXPECT_TRUE(stub.Followed());
    direct.TerminateTree();
    user.TerminateTree();
    EXPECT_TRUE(ProcessEnds(own));
    EXPECT_TRUE(ProcessEnds(usersOwn));
}

}  // namespace
