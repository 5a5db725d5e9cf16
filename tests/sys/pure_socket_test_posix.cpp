// Linux only: Kill wakes a thread out of a blocking socket call.
#include "sys/pure_socket.h"
#include "sys/thread.h"

#include "fake_tcp_server.h"
#include "gate.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::FakeTcpServer;
using testsupport::Gate;
using testsupport::ServerConnection;

namespace {

// Connects and waits for the first line of the reply.
class LineReader : public CThread {
public:
    explicit LineReader(int port) : port_(port) {}
    ~LineReader() override { StopAndWait(); }

    std::string line = "nothing read";
    int error = 0;

protected:
    std::uint32_t Run() override {
        CQXPureSocket socket;
        if (!socket.Create()) {
            return 1;
        }
        // The server may accept before our connect call has returned, so the kill can reach
        // either the connect or the read; both must give up at once with the same error.
        line = socket.Connect("127.0.0.1", port_) ? socket.ReceiveLine() : "";
        error = socket.GetLastError();
        return 0;
    }

private:
    int port_;
};

TEST(SocketKillPosix, KillWakesAThreadWaitingForALineThatNeverComes) {
    FakeTcpServer server;
    Gate accepted;
    Gate finished;
    server.Serve([&](ServerConnection&) {
        accepted.Open();
        finished.WaitOpen();
    });

    LineReader reader(server.Port());
    reader.Start();
    accepted.WaitOpen();
    reader.StopAndWait();  // returns once Run has returned
    EXPECT_EQ(reader.line, "");
    EXPECT_EQ(reader.error, kSocketInterrupted);
    finished.Open();
}

}  // namespace
