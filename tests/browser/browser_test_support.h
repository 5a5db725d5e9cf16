// Shared pieces of the browser starter tests: waiting for a helper's log line, and a web server
// stand-in that answers every request.
#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "fake_tcp_server.h"
#include "sys/pure_socket.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace browsertest {

using namespace std::chrono_literals;

// Generous limit for events that normally take milliseconds; it only keeps a broken build from
// hanging the run. The Windows handover search alone pauses 26 s.
constexpr auto kEventLimit = 90s;

inline long CountLines(const std::string& text, const std::string& line) {
    const std::vector<std::string> rests = testsupport::LogValues(text, line);
    return std::count(rests.begin(), rests.end(), "");
}

inline bool HasLine(const std::string& text, const std::string& line) {
    return CountLines(text, line) > 0;
}

// Whether the file holds `times` lines equal to `line`, once it does; false after the limit.
inline bool AwaitLine(const std::string& path, const std::string& line, int times = 1) {
    return testsupport::Eventually(
        [&] { return CountLines(testsupport::ReadFile(path), line) >= times; }, kEventLimit);
}

// A web server stand-in that answers every request with 200.
class AnsweringServer {
public:
    std::string Url(const std::string& host) const {
        return "http://" + host + ":" + std::to_string(server_.Port()) + "/index.php";
    }

private:
    WinsockGuard sockets_;
    testsupport::FakeTcpServer server_{
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"}};
};

}  // namespace browsertest
