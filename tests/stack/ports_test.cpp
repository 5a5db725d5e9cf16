#include "stack/ports.h"

#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <memory>

#include "fake_tcp_server.h"

using namespace testsupport;

namespace {

class Ports : public ::testing::Test {
protected:
    // A port that is held for as long as the test runs.
    int Busy() {
        busy_.push_back(std::make_unique<FakeTcpServer>(FakeTcpServer::HoldAt{}, "0.0.0.0"));
        return busy_.back()->Port();
    }

    WinsockGuard sockets_;
    std::vector<std::unique_ptr<FakeTcpServer>> busy_;
};

TEST_F(Ports, PreferredPortWhenFreeOtherwiseTheFirstFreeOfTheFirstFourOfTheTable) {
    const int free1 = UnusedPort();
    const int free2 = UnusedPort();
    const struct {
        const char* what;
        int preferred;
        PortTable table;
        int chosen;
    } rows[] = {
        {"the preferred port", free1, {Busy(), free2}, free1},
        {"the first free of the table", Busy(), {Busy(), Busy(), free2, free1}, free2},
        {"the fourth", Busy(), {Busy(), Busy(), Busy(), free1, Busy()}, free1},
        {"never the fifth", Busy(), {Busy(), Busy(), Busy(), Busy(), free1}, 0},
        {"none free", Busy(), {Busy()}, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FindFreePort("127.0.0.1", row.preferred, row.table), row.chosen) << row.what;
    }
}

// The servers are reached, and the database is stopped, at 127.0.0.1, they are asked for at the
// host's address, and may listen on every address: a port that somebody holds on any one of them
// is not free, whatever the host.
TEST_F(Ports, APortHeldOnAnyAddressIsTaken) {
    const std::pair<const char*, const char*> rows[] = {{"127.0.0.1", "127.0.0.2"},
                                                        {"127.0.0.2", "127.0.0.2"},
                                                        {"127.0.0.3", "127.0.0.2"},
                                                        {"0.0.0.0", "127.0.0.1"}};
    for (const auto& [address, host] : rows) {
        const FakeTcpServer listener(FakeTcpServer::HoldAt{}, address);
        ASSERT_NE(listener.Port(), 0) << address;
        EXPECT_FALSE(IsPortFree(host, listener.Port())) << address << " " << host;
        EXPECT_TRUE(IsPortFree(host, UnusedPort())) << host;
    }
#ifndef _WIN32
    // A port this user may not listen on is no choice either.
    if (geteuid() != 0) {
        EXPECT_FALSE(IsPortFree("127.0.0.1", 80));
    }
#endif
}

}  // namespace
