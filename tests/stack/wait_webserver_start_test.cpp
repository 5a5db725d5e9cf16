#include "stack/wait_webserver_start.h"

#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include "fake_tcp_server.h"
#include "sys/gate.h"
#include "trace_capture.h"

using namespace testsupport;

namespace {

// Only keeps a broken probe from hanging the run; how quickly it answers is not asserted.
constexpr unsigned long kGiveUpMs = 30000;
constexpr long kTimerSlackMs = 16;

const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nready";

class Probe : public ::testing::Test {
protected:
    WinsockGuard sockets_;
};

// Each case answers the first connection, then the second with 200: a probe that took the first
// answer for ready asked once, one that did not asked again on a fresh connection.
TEST_F(Probe, OnlyAnHttp11NotFoundOrNoStatusLineMeansNotReady) {
    const struct {
        std::string answer;
        bool ready;
        const char* why;
    } cases[] = {
        {"HTTP/1.0 404 Not Found\r\n\r\n", true, "an HTTP/1.0 404 is an answer"},
        {"HTTP/1.1 500 Internal Server Error\r\n\r\n", true, "an error is an answer"},
        {"http/1.1 404 not found\r\n\r\n", true, "the 404 test is case-sensitive"},
        {std::string(20000, 'x'), true, "a status line cut at its limit is an answer"},
        {"HTTP/1.1 404 Not Found\r\n\r\n", false, "an HTTP/1.1 404 is not ready"},
        {"", false, "a connection closed without a word is no web server's answer"},
    };
    for (const auto& c : cases) {
        ScriptedWebServer server({c.answer, kOk});
        CWaitWebserverStart probe(server.Port(), "127.0.0.1");
        probe.Start();
        ASSERT_TRUE(probe.GetHandle().Wait(kGiveUpMs)) << c.why;
        EXPECT_TRUE(probe.Answered()) << c.why;
        // One request per connection, with bare line feeds; none after the ready answer.
        const std::vector<std::string> requests = server.Requests();
        EXPECT_EQ(requests.size(), c.ready ? 1u : 2u) << c.why;
        for (const std::string& request : requests) {
            EXPECT_EQ(request, "GET / HTTP/1.0\nHost: 127.0.0.1\n\n") << c.why;
        }
    }
}

TEST_F(Probe, TriesEvery200MsUntilSomethingListens) {
    TraceCapture trace;
    const int port = UnusedPort();
    CWaitWebserverStart probe(port, "127.0.0.1");
    probe.Start();

    // Refused attempts go on, each an interval after the one before (less what a coarse system
    // timer may take off a wait).
    while (trace.Count("Try connect: ") < 3) {
        ASSERT_TRUE(probe.IsAlive());
        ASSERT_FALSE(probe.GetHandle().Wait(CWaitWebserverStart::kIntervalMs));
    }
    const std::vector<long> stamps = trace.StampsOf("Try connect: ");
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_GE(stamps[i] - stamps[i - 1],
                  static_cast<long>(CWaitWebserverStart::kIntervalMs) - kTimerSlackMs)
            << "attempt " << i;
    }
    // The same probe then reaches a server that starts listening on that port.
    ScriptedWebServer server({kOk}, port);
    ASSERT_TRUE(server.Listening());
    ASSERT_TRUE(probe.GetHandle().Wait(kGiveUpMs));
    EXPECT_TRUE(probe.Answered());
    EXPECT_EQ(server.Requests().size(), 1u);
    // Every failed attempt met a closed port, none a socket spoilt by the refusal before it: only
    // the trace tells why an attempt failed.
    EXPECT_EQ(trace.Count("Try connect: Connection refused"), trace.Count("Try connect: "));
}

TEST_F(Probe, KillEndsAProbeThatGetsNoAnswer) {
    // Nothing listens at the first port; the second accepts and then keeps silent, so that the
    // probe is blocked reading the status line.
    Gate accepted;
    Gate release;
    FakeTcpServer silent;
    silent.Serve([&](ServerConnection&) {
        accepted.Open();
        release.WaitOpen();
    });
    CWaitWebserverStart blocked(silent.Port(), "127.0.0.1");
    CWaitWebserverStart refused(UnusedPort(), "127.0.0.1");
    blocked.Start();
    accepted.WaitOpen();
    refused.Start();
    EXPECT_FALSE(refused.GetHandle().Wait(3 * CWaitWebserverStart::kIntervalMs));
    EXPECT_TRUE(blocked.IsAlive());

    refused.StopAndWait();
    blocked.StopAndWait();
    EXPECT_FALSE(refused.IsAlive());
    EXPECT_FALSE(blocked.IsAlive());
    EXPECT_FALSE(refused.Answered());
    EXPECT_FALSE(blocked.Answered());
    release.Open();
}

}  // namespace
