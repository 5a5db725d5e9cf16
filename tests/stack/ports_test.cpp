#include "stack/ports.h"

#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <memory>
#include <vector>

#include "fake_tcp_server.h"

using testsupport::ScriptedWebServer;

namespace {

class Ports : public ::testing::Test {
protected:
    // A port that answers for as long as the test runs.
    int Busy() {
        busy_.push_back(std::make_unique<ScriptedWebServer>(std::vector<std::string>{""}));
        return busy_.back()->Port();
    }

    // A port that a socket of this test listens on at 127.0.0.1 only.
    int LoopbackListener() {
        listeners_.push_back(std::make_unique<testsupport::FakeTcpServer>());
        return listeners_.back()->Port();
    }

    WinsockGuard sockets_;
    std::vector<std::unique_ptr<ScriptedWebServer>> busy_;
    std::vector<std::unique_ptr<testsupport::FakeTcpServer>> listeners_;
};

TEST_F(Ports, PreferredPortWhenFreeOtherwiseTheFirstFreeOfTheTable) {
    const int free1 = testsupport::UnusedPort();
    const int free2 = testsupport::UnusedPort();
    EXPECT_EQ(FindFreePort("127.0.0.1", free1, {Busy(), free2}), free1);

    const PortTable table = {Busy(), Busy(), free2, free1};
    EXPECT_EQ(FindFreePort("127.0.0.1", Busy(), table), free2);
}

TEST_F(Ports, OnlyTheFirstFourEntriesAreTried) {
    const int free = testsupport::UnusedPort();
    EXPECT_EQ(FindFreePort("127.0.0.1", Busy(), {Busy(), Busy(), Busy(), Busy(), free}), 0);
    EXPECT_EQ(FindFreePort("127.0.0.1", Busy(), {Busy(), Busy(), Busy(), free, Busy()}), free);
    EXPECT_EQ(FindFreePort("127.0.0.1", Busy(), {Busy()}), 0);
}

// The servers are reached, and the database is stopped, at 127.0.0.1, and may listen on every
// address: a port that somebody holds on any one of them is not free, whatever the host name.
TEST_F(Ports, APortHeldOnAnyAddressIsTaken) {
    const int loopbackOnly = LoopbackListener();
    const int free = testsupport::UnusedPort();
    EXPECT_EQ(FindFreePort("127.0.0.2", loopbackOnly, {free}), free);
    EXPECT_FALSE(IsPortFree("127.0.0.1", loopbackOnly));
#ifndef _WIN32
    // A port this user may not listen on is no choice either.
    if (geteuid() != 0) {
        EXPECT_FALSE(IsPortFree("127.0.0.1", 80));
    }
#endif
}

}  // namespace
