// Shared pieces of the browser starter tests: waiting for a helper's log line, and a web server
// stand-in that answers every request.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "fake_tcp_server.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace browsertest {

using namespace std::chrono_literals;

// Generous limit for events that normally take milliseconds; it only keeps a broken build from
// hanging the run. The Windows handover search alone pauses 26 s.
constexpr auto kEventLimit = 90s;

// For the shell's tests, which still name the environment setter here.
using testsupport::GetEnv;
using testsupport::ScopedEnv;

// Whether the file holds `times` lines equal to `line`, once it does; false after the limit.
inline bool AwaitLine(const std::string& path, const std::string& line, int times = 1) {
    return testsupport::Eventually(
        [&] {
            const std::string text = "\n" + testsupport::ReadFile(path);
            int found = 0;
            for (auto at = text.find("\n" + line + "\n"); at != std::string::npos;
                 at = text.find("\n" + line + "\n", at + line.size() + 1)) {
                ++found;
            }
            return found >= times;
        },
        kEventLimit);
}

inline bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// A web server stand-in on 127.0.0.1 that answers the first request with 200.
class AnsweringServer {
public:
    AnsweringServer() {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        server_ = std::make_unique<testsupport::FakeTcpServer>();
        ServeNext();
    }
    ~AnsweringServer() {
        stopping_ = true;
        // Wakes the pending accept, which then finds the stop flag.
        const testsupport::RawSocket s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<unsigned short>(server_->Port()));
        connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        testsupport::CloseRawSocket(s);
        server_.reset();
#ifdef _WIN32
        WSACleanup();
#endif
    }
    AnsweringServer(const AnsweringServer&) = delete;
    AnsweringServer& operator=(const AnsweringServer&) = delete;

    std::string Url(const std::string& host) const {
        return "http://" + host + ":" + std::to_string(server_->Port()) + "/index.php";
    }

private:
    void ServeNext() {
        server_->Serve([this](testsupport::ServerConnection& connection) {
            if (stopping_) {
                return;
            }
            std::string request;
            char c;
            while (request.find("\r\n\r\n") == std::string::npos &&
                   recv(connection.Raw(), &c, 1, 0) == 1) {
                request += c;
            }
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        });
    }

    std::unique_ptr<testsupport::FakeTcpServer> server_;
    std::atomic<bool> stopping_{false};
};

}  // namespace browsertest
