#include "stack/ports.h"

#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "scripted_web_server.h"

using testsupport::ScriptedWebServer;

namespace {

class Ports : public ::testing::Test {
protected:
    // A port that answers for as long as the test runs.
    int Busy() {
        busy_.push_back(std::make_unique<ScriptedWebServer>(std::vector<std::string>{""}));
        return busy_.back()->Port();
    }

    WinsockGuard sockets_;
    std::vector<std::unique_ptr<ScriptedWebServer>> busy_;
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

}  // namespace
