// Linux only: the endpoints of one user on a machine with others. Socket files in the user's
// private runtime folder, or abstract names that any user can take; long names; and another user
// (made for the test, see second_user.h) who holds the names first.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "app/local_endpoint.h"
#include "desktop_probe.h"
#include "second_user.h"
#include "shell_host_support.h"

using shelltest::PumpUntil;
using shelltest::ShellHostTest;
using testsupport::ScopedEnv;
using testsupport::SecondUser;

namespace {

// The two ways an endpoint is made: a socket file in the private runtime folder the test run
// has (see qt_environment_qt.cpp), or, with the parameter true, an abstract name when the user
// has no such folder.
class EndpointKinds : public ::testing::TestWithParam<bool> {
protected:
    EndpointKinds()
        : runtime_("XDG_RUNTIME_DIR",
                   GetParam() ? std::nullopt : testsupport::GetEnv("XDG_RUNTIME_DIR")) {}

    ScopedEnv runtime_;
};

// "activate", sent to `name` from another thread while this one serves the endpoints, arrives
// once in `lines`.
void ExpectActivateArrives(const std::string& name, const std::vector<std::string>& lines) {
    bool sent = false;
    shelltest::OffUiThread([&] { sent = SendToEndpoint(name, "activate"); });
    EXPECT_TRUE(sent);
    EXPECT_TRUE(PumpUntil([&] { return !lines.empty(); }));
    EXPECT_EQ(lines, std::vector<std::string>{"activate"});
}

INSTANTIATE_TEST_SUITE_P(Endpoints, EndpointKinds, ::testing::Bool(), [](const auto& abstract) {
    return std::string(abstract.param ? "Abstract" : "PrivateFolder");
});

TEST_P(EndpointKinds, LiveInThePrivateFolderOrUnderTheUsersAbstractNames) {
    const std::string address = EndpointAddress("Untitled - RM_HUB/1");
    if (GetParam()) {
        EXPECT_EQ(address, "@trailhost-" + std::to_string(geteuid()) + "/Untitled - RM_HUB/1");
        // A runtime folder that others may enter, or that is another user's, is no folder of
        // ours either (root may give a folder away; others check the open one alone).
        testsupport::TempDir dir;
        const std::string open = dir / "open", theirs = dir / "theirs";
        mkdir(open.c_str(), 0755);
        mkdir(theirs.c_str(), 0700);
        std::vector<std::string> untrusted = {open};
        if (chown(theirs.c_str(), geteuid() + 1, getegid()) == 0) {
            untrusted.push_back(theirs);
        }
        for (const std::string& folder : untrusted) {
            const ScopedEnv runtime("XDG_RUNTIME_DIR", folder);
            EXPECT_EQ(EndpointAddress("a")[0], '@') << folder;
        }
        return;
    }
    const std::string folder = *testsupport::GetEnv("XDG_RUNTIME_DIR") + "/trailhost/";
    EXPECT_EQ(address, folder + "Untitled%20-%20RM_HUB%2F1");
    LocalEndpoint endpoint;
    ASSERT_TRUE(endpoint.Listen("Untitled - RM_HUB/1", [](const std::string&) {}));
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(lstat(address.c_str(), &st), 0);
    endpoint.Close();
    EXPECT_NE(lstat(address.c_str(), &st), 0);
}

// A name far longer than a socket address holds still guards: it is cut and hashed, never
// dropped, and two long names that differ only at their end stay apart.
TEST_P(EndpointKinds, LongNamesStillGuardAndStayApart) {
    const std::string name =
        "trh_mutex_" + std::string(300, 'L') + std::to_string(getpid()) + (GetParam() ? "a" : "p");
    const std::string other = name + " other";
    EXPECT_FALSE(SendToEndpoint(name, ""));
    LocalEndpoint first;
    std::vector<std::string> lines;
    ASSERT_TRUE(first.Listen(name, [&](const std::string& line) { lines.push_back(line); }));
    LocalEndpoint second;
    EXPECT_FALSE(second.Listen(name, [](const std::string&) {}));
    LocalEndpoint different;
    EXPECT_TRUE(different.Listen(other, [](const std::string&) {}));
    EXPECT_NE(different.Address(), first.Address());

    ExpectActivateArrives(name, lines);
}

// The other user's side: the helper that holds sockets, run as that user.
class OtherUserTest : public ShellHostTest {
protected:
    void SetUp() override {
        std::string why;
        user_ = testsupport::SecondUserOfThisMachine(why);
        if (!user_) {
            GTEST_SKIP() << why;
        }
        // The helper writes its log as that user.
        testsupport::WriteFile(Log(), "");
        ASSERT_EQ(chown(Log().c_str(), user_->uid, user_->gid), 0);
    }

    std::string Log() const { return dir_ / "held.log"; }

    // The other user holds these socket addresses from now on.
    bool Hold(const std::vector<std::string>& addresses) {
        std::vector<std::string> args = {Log()};
        args.insert(args.end(), addresses.begin(), addresses.end());
        holder_ = std::make_unique<testsupport::ProcessAsUser>(
            *user_, testsupport::HelperPath("hold_sockets"), args);
        return holder_->started() && testsupport::Eventually([&] {
                   return testsupport::ReadFile(Log()).find("ready\n") != std::string::npos;
               });
    }

    // The lines the other user's sockets were sent.
    std::vector<std::string> LinesReceived() const {
        return testsupport::LogValues(testsupport::ReadFile(Log()), "line ");
    }

    // Abstract names, which any user may take: the machine gives this user no private folder.
    ScopedEnv abstract_{"XDG_RUNTIME_DIR", std::nullopt};
    std::optional<SecondUser> user_;
    std::unique_ptr<testsupport::ProcessAsUser> holder_;
};

TEST_F(OtherUserTest, ANameTheOtherUserHoldsReachesOnlyThisUsersEndpoint) {
    const std::string name = "trh_mutex_Held " + std::to_string(getpid()) + "_CInstanceChecker_MMF";
    ASSERT_TRUE(Hold({EndpointAddress(name)}));
    // Their socket is no copy of ours, and hears nothing from us.
    EXPECT_FALSE(SendToEndpoint(name, "activate"));
    EXPECT_TRUE(FindEndpoints(name).empty());

    LocalEndpoint ours;
    std::vector<std::string> lines;
    ASSERT_TRUE(ours.Listen(name, [&](const std::string& line) { lines.push_back(line); }));
    EXPECT_EQ(ours.Address().rfind(EndpointAddress(name) + "#", 0), 0u) << ours.Address();
    EXPECT_EQ(FindEndpoints(name), std::vector<std::string>{ours.Address()});
    LocalEndpoint second;
    EXPECT_FALSE(second.Listen(name, [](const std::string&) {}));

    ExpectActivateArrives(name, lines);
    EXPECT_TRUE(LinesReceived().empty());
}

// The whole program: the other user holds the single-instance name and names of frames before
// any copy starts. A copy still starts, the guard still holds between this user's copies, and
// -shutdown reaches this user's copy only.
TEST_F(OtherUserTest, NamesTheOtherUserHoldsNeitherBlockTheStartNorGetTheShutdown) {
    shelltest::HeadlessCopies headless;
    const std::string serverName = "Held Stack " + std::to_string(getpid());
    const std::string ini = "ServerName=" + serverName + "\r\nUseSplash=0\r\n";
    const std::string guarded = ini + "AllowOnlySingleInstance=1\r\n";
    ASSERT_TRUE(Hold({EndpointAddress("trh_mutex_" + serverName + "_CInstanceChecker_MMF"),
                      EndpointAddress("Untitled - RM_HUB/1"),
                      EndpointAddress("Untitled - RM_HUB/" + std::to_string(getpid()))}));

    // With no copy of ours running, -shutdown finds nothing to close.
    const std::string lone = Folder("lone", ini);
    auto closer = Start(lone, {"-shutdown"});
    ASSERT_NE(closer, nullptr);
    EXPECT_TRUE(closer->WaitForEnd(60000));
    EXPECT_EQ(Events(lone).back(), "process end 0");
    EXPECT_TRUE(LinesReceived().empty());

    const std::string first = Folder("first", guarded);
    auto running = StartRunning(first);
    ASSERT_NE(running, nullptr) << testsupport::ReadFile(first + "stderr.txt");

    const std::string second = Folder("second", guarded);
    auto refused = Start(second);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(shelltest::AnswerBox(*refused, second, serverName),
              "An instance of " + serverName + " is already running");
    EXPECT_EQ(Count(second, "start"), 0);

    auto stopper = Start(Folder("stopper", ini), {"-shutdown"});
    ASSERT_NE(stopper, nullptr);
    EXPECT_TRUE(stopper->WaitForEnd(60000));
    EXPECT_TRUE(running->WaitForEnd(60000));
    EXPECT_EQ(Count(first, "stop requested"), 1);
    EXPECT_TRUE(LinesReceived().empty());
}

}  // namespace
