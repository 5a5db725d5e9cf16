#include "stack/ports.h"

#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <memory>

#include "fake_tcp_server.h"

using namespace testsupport;

namespace {

// A socket of the test that listens at one address ("0.0.0.0" for every address) on a port the
// system picks, for as long as the test runs.
class Listener {
public:
    explicit Listener(const char* address) : socket_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr(address);
        socklen_t length = sizeof at;
        if (bind(socket_, reinterpret_cast<const sockaddr*>(&at), length) == 0 &&
            listen(socket_, 4) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
            port_ = ntohs(at.sin_port);
        }
    }
    ~Listener() { CloseRawSocket(socket_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int Port() const { return port_; }

private:
    RawSocket socket_ = kNoRawSocket;
    int port_ = 0;
};

class Ports : public ::testing::Test {
protected:
    // A port that is held for as long as the test runs.
    int Busy() {
        busy_.push_back(std::make_unique<Listener>("0.0.0.0"));
        return busy_.back()->Port();
    }

    WinsockGuard sockets_;
    std::vector<std::unique_ptr<Listener>> busy_;
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
        const Listener listener(address);
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
