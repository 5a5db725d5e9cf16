// Shared pieces of the browser starter tests: environment variables set for one scope, waiting
// for a helper's log line, and a web server stand-in that answers every request.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

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

inline std::optional<std::string> GetEnv(const std::string& name) {
#ifdef _WIN32
    char probe[1];
    const DWORD needed = GetEnvironmentVariableA(name.c_str(), probe, 0);
    if (needed == 0) {
        return std::nullopt;
    }
    std::string value(needed, '\0');
    const DWORD length = GetEnvironmentVariableA(name.c_str(), &value[0], needed);
    value.resize(length);
    return value;
#else
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
#endif
}

inline void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // The C runtime's copy too, for code that reads it with getenv.
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
    _putenv((name + "=" + (value ? *value : "")).c_str());
#else
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

// Sets a variable of this process for the scope, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)), old_(GetEnv(name_)) {
        SetEnv(name_, value);
    }
    ~ScopedEnv() { SetEnv(name_, old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Whether the file holds a line equal to `line`, once it does; false after the limit.
inline bool AwaitLine(const std::string& path, const std::string& line, int times = 1) {
    const auto end = std::chrono::steady_clock::now() + kEventLimit;
    while (true) {
        const std::string text = "\n" + testsupport::ReadFile(path);
        int found = 0;
        std::string::size_type at = 0;
        while ((at = text.find("\n" + line + "\n", at)) != std::string::npos) {
            ++found;
            at += line.size() + 1;
        }
        if (found >= times) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
}

inline bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

inline std::string ExecutableName(const std::string& name) {
#ifdef _WIN32
    return name + ".exe";
#else
    return name;
#endif
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
