#include "sys/pure_socket.h"

#include "fake_tcp_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using testsupport::FakeTcpServer;
using testsupport::ServerConnection;

namespace {

class SocketTest : public ::testing::Test {
protected:
    WinsockGuard winsock_;
};

// A port on 127.0.0.1 where nothing listens (it did a moment ago).
int ClosedPort() {
    FakeTcpServer server;
    const int port = server.Port();
    server.CloseListener();
    return port;
}

TEST(SocketErrorText, FourCodesHaveFixedTextsAndAnyOtherTheUnknownFormat) {
    EXPECT_EQ(SocketErrorText(10061),
              "Connection refused.\r\nNo connection could be made because the target machine "
              "actively refused it. This usually results from trying to connect to a service that "
              "is inactive on the foreign host - i.e. one with no server application running. ");
    EXPECT_EQ(SocketErrorText(10048),
              "Address already in use.\r\nOnly one usage of each socket address (protocol/IP "
              "address/port)is normally permitted. This error occurs if an application attempts "
              "to bind a socket to an IP address/port that has already been used for an existing "
              "socket.");
    EXPECT_EQ(SocketErrorText(11001), "Hostname not found.");
    EXPECT_EQ(SocketErrorText(10004),
              "Function was interrupted.\r\nThis may happen if a firewall on this computer or the "
              "destination computer has denied access.\r\nPlease consult the manual how to "
              "configure the firewall.");
    EXPECT_EQ(SocketErrorText(10060), "Unknown error.\r\nError code: 10060");
    EXPECT_EQ(SocketErrorText(0), "Unknown error.\r\nError code: 0");
    EXPECT_EQ(SocketErrorText(-5), "Unknown error.\r\nError code: -5");
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
    const int port = ClosedPort();
    EXPECT_FALSE(IsPortInUse(port, "127.0.0.1"));

    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("127.0.0.1", port));
    EXPECT_EQ(socket.GetLastError(), kSocketConnectionRefused);
    socket.Close();  // keeps the error for the caller's message
    EXPECT_EQ(GetLastErrorText(), SocketErrorText(kSocketConnectionRefused));
}

TEST_F(SocketTest, ReceiveLineKeepsCarriageReturnAndLineFeed) {
    FakeTcpServer server;
    server.Serve([](ServerConnection& c) { c.Send("HTTP/1.1 404 Not Found\r\nServer: x\r\n"); });

    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.ReceiveLine(), "HTTP/1.1 404 Not Found\r\n");
    EXPECT_EQ(socket.ReceiveLine(), "Server: x\r\n");
}

TEST_F(SocketTest, ReceiveLineIsEmptyWhenThePeerClosesBeforeALineFeed) {
    FakeTcpServer server;
    server.Serve([](ServerConnection& c) { c.Send("HTTP/1.1 200"); });

    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.ReceiveLine(), "");
}

// A peer that never sends a line end gets no more than the limit read per line.
TEST_F(SocketTest, ReceiveLineStopsAtItsLimit) {
    FakeTcpServer server;
    const std::string endless(20000, 'x');
    server.Serve([&](ServerConnection& c) { c.Send(endless); });

    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.ReceiveLine(), std::string(CQXPureSocket::kMaxLineBytes, 'x'));
    EXPECT_EQ(socket.ReceiveLine(), std::string(CQXPureSocket::kMaxLineBytes, 'x'));
    EXPECT_EQ(CQXPureSocket::kMaxLineBytes, 8192u);
}

TEST_F(SocketTest, SendDeliversTheWholeBuffer) {
    FakeTcpServer server;
    std::string received;
    server.Serve([&](ServerConnection& c) { received = c.ReceiveAll(); });
    std::string request(300000, '\0');
    for (size_t i = 0; i < request.size(); ++i) {
        request[i] = static_cast<char>('a' + i % 26);
    }

    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
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
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    ASSERT_EQ(socket.Send("x", 1), 1);
    // Returns once the reset has arrived.
    EXPECT_EQ(socket.ReceiveLine(), "");

    const std::string shortRequest(3000, 'x');
    const std::string longRequest(100000, 'x');
    EXPECT_EQ(socket.Send(shortRequest.data(), static_cast<int>(shortRequest.size())), 0);
    EXPECT_EQ(socket.Send(longRequest.data(), static_cast<int>(longRequest.size())), 0);
}

TEST_F(SocketTest, SendWithoutDescriptorAnswersMinusOne) {
    CQXPureSocket socket;
    EXPECT_EQ(socket.Send("GET", 3), -1);
    EXPECT_EQ(socket.Send("", 0), -1);
}

TEST_F(SocketTest, AnUnresolvableHostNameFailsWithHostNotFound) {
    // A label longer than 63 characters is no DNS name at all: the resolver refuses it without
    // asking any server.
    const std::string host = std::string(70, 'q') + ".invalid";
    CQXPureSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect(host, 80));
    EXPECT_EQ(socket.GetLastError(), kSocketHostNotFound);
    EXPECT_EQ(GetLastErrorText(), "Hostname not found.");
    EXPECT_TRUE(socket.IsValid());
    EXPECT_FALSE(IsPortInUse(80, host));
}

TEST_F(SocketTest, CloseIsHarmlessTwiceAndOnANeverCreatedSocket) {
    CQXPureSocket never;
    EXPECT_TRUE(never.Close());
    EXPECT_FALSE(never.IsValid());

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
