#include "sys/pure_socket.h"

#include "fake_tcp_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

using testsupport::FakeTcpServer;
using testsupport::ServerConnection;

namespace {

class SocketTest : public ::testing::Test {
protected:
    WinsockGuard winsock_;
};

// Creates the socket and connects it to a port of 127.0.0.1.
void Connect(CQXPureSocket& socket, int port) {
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", port));
}

TEST_F(SocketTest, PortProbeFindsAListenerAndLeavesNoConnectionOpen) {
    FakeTcpServer server;
    std::atomic<bool> closedWithoutData{false};
    server.Serve([&](ServerConnection& c) { closedWithoutData = c.ReceiveAll().empty(); });

    EXPECT_TRUE(IsPortInUse(server.Port(), "127.0.0.1"));
    server.Stop();  // returns only once the probe's connection has been closed
    EXPECT_TRUE(closedWithoutData);
}

TEST_F(SocketTest, PortProbeAnswersFalseForAClosedPortAndConnectReportsRefused) {
    const int port = testsupport::UnusedPort();
    EXPECT_FALSE(IsPortInUse(port, "127.0.0.1"));

    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("127.0.0.1", port));
    EXPECT_EQ(socket.GetLastError(), kSocketConnectionRefused);
    socket.Close();  // keeps the error for the caller's message
    EXPECT_EQ(GetLastErrorText(), SocketErrorText(kSocketConnectionRefused));
}

// A line ends after its line feed, with both line-end bytes kept; a peer that closes before the
// line feed gives an empty line, and a peer that never sends one gets no more than the limit read
// per line.
TEST_F(SocketTest, ReceiveLineReadsUpToTheLineFeedOrTheLimit) {
    const std::string limit(CQXPureSocket::kMaxLineBytes, 'x');
    const struct {
        const char* what;
        std::string sent;
        std::vector<std::string> lines;
    } rows[] = {
        {"lines",
         "HTTP/1.1 404 Not Found\r\nServer: x\r\n",
         {"HTTP/1.1 404 Not Found\r\n", "Server: x\r\n"}},
        {"no line feed before the close", "HTTP/1.1 200", {""}},
        {"no line feed at all", std::string(20000, 'x'), {limit, limit}},
    };
    for (const auto& row : rows) {
        FakeTcpServer server;
        server.Serve([&](ServerConnection& c) { c.Send(row.sent); });
        CQXPureSocket socket;
        Connect(socket, server.Port());
        for (const std::string& line : row.lines) {
            EXPECT_EQ(socket.ReceiveLine(), line) << row.what;
        }
    }
}

TEST_F(SocketTest, SendDeliversTheWholeBuffer) {
    FakeTcpServer server;
    std::string received;
    server.Serve([&](ServerConnection& c) { received = c.ReceiveAll(); });
    // More than the socket takes in one go, so that each part goes on where the last one ended.
    std::string request;
    while (request.size() < 8 << 20) {
        request += "abcdefghijklmnopqrstuvwxyz";
    }

    CQXPureSocket socket;
    Connect(socket, server.Port());
    EXPECT_EQ(socket.Send(request.data(), static_cast<int>(request.size())),
              static_cast<int>(request.size()));
    EXPECT_EQ(socket.Send("", 0), 0);
    socket.Close();
    server.Stop();
    EXPECT_EQ(received, request);
}

TEST_F(SocketTest, SendOnAResetConnectionGivesUpWithNothingSent) {
    FakeTcpServer server;
    // The reset comes once the client is connected for sure (a reset racing the connect would
    // make the connect fail instead): after its first byte.
    server.Serve([](ServerConnection& c) {
        char byte = 0;
        recv(c.Raw(), &byte, 1, 0);
        c.Reset();
    });

    CQXPureSocket socket;
    Connect(socket, server.Port());
    ASSERT_EQ(socket.Send("x", 1), 1);
    // Returns once the reset has arrived.
    EXPECT_EQ(socket.ReceiveLine(), "");

    for (const std::string& request : {std::string(3000, 'x'), std::string(100000, 'x')}) {
        EXPECT_EQ(socket.Send(request.data(), static_cast<int>(request.size())), 0);
    }
}

TEST_F(SocketTest, AnUnresolvableHostNameFailsWithHostNotFound) {
    // A label longer than 63 characters is no DNS name at all: the resolver refuses it without
    // asking any server.
    const std::string host = std::string(70, 'q') + ".invalid";
    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect(host, 80));
    EXPECT_EQ(socket.GetLastError(), kSocketHostNotFound);
    EXPECT_EQ(GetLastErrorText(), SocketErrorText(kSocketHostNotFound));
    EXPECT_TRUE(socket.IsValid());
    EXPECT_FALSE(IsPortInUse(80, host));
}

// Closing twice is harmless; a closed socket is refused until it is created again.
TEST_F(SocketTest, CloseIsHarmlessTwiceAndTheSocketCanBeCreatedAgain) {
    CQXPureSocket never;
    EXPECT_EQ(never.Send("GET", 3), -1);
    EXPECT_TRUE(never.Close());

    FakeTcpServer server;
    server.Serve([](ServerConnection&) {});
    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_TRUE(socket.IsValid());
    EXPECT_TRUE(socket.Close());
    EXPECT_TRUE(socket.Close());
    EXPECT_FALSE(socket.IsValid());
    EXPECT_FALSE(socket.Connect("127.0.0.1", server.Port()));

    ASSERT_TRUE(socket.Create());
    EXPECT_TRUE(socket.Connect("127.0.0.1", server.Port()));
}

}  // namespace
