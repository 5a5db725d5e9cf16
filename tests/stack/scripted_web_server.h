// An HTTP server inside the test process that plays a list of answers, one connection each (the
// last answer repeats), and records every request head it receives. It listens on every local
// address (as the servers it stands for do) at a port the system picks, or at a given one. Plain
// BSD socket calls, so that it does not depend on the socket class under test. On Windows the
// caller must have started the socket library.
#pragma once

#include "sys/fake_tcp_server.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ScriptedWebServer {
public:
    // An answer of "" closes the connection without a word.
    explicit ScriptedWebServer(std::vector<std::string> answers, int port = 0)
        : answers_(std::move(answers)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
#ifndef _WIN32
        int yes = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(static_cast<unsigned short>(port));
        if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0) {
            CloseRawSocket(listener_);
            listener_ = kNoRawSocket;
            return;
        }
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedWebServer() {
        if (listener_ == kNoRawSocket) {
            return;
        }
        stop_ = true;
        // Wakes the accept with a connection of our own.
        const RawSocket waker = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<unsigned short>(port_));
        connect(waker, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        thread_.join();
        CloseRawSocket(waker);
        CloseRawSocket(listener_);
    }

    ScriptedWebServer(const ScriptedWebServer&) = delete;
    ScriptedWebServer& operator=(const ScriptedWebServer&) = delete;

    bool Listening() const {
        return listener_ != kNoRawSocket;
    }
    int Port() const {
        return port_;
    }

    // The request heads received so far, in order.
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    // Waits until `count` requests have arrived; false when `ms` passed first.
    bool WaitForRequests(std::size_t count, unsigned long ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return requests_.size() >= count; });
    }

private:
    void Serve() {
        for (std::size_t served = 0;; ++served) {
            const RawSocket client = accept(listener_, nullptr, nullptr);
            if (stop_) {
                if (client != kNoRawSocket) {
                    CloseRawSocket(client);
                }
                return;
            }
            if (client == kNoRawSocket) {
                continue;
            }
            const std::string head = ReceiveHead(client);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            arrived_.notify_all();
            const std::string& answer = answers_[std::min(served, answers_.size() - 1)];
            ServerConnection connection(client);
            connection.Send(answer);
            CloseRawSocket(client);
        }
    }

    // Everything up to the empty line that ends a request head, with bare or CR LF line ends.
    static std::string ReceiveHead(RawSocket client) {
        std::string text;
        char c = 0;
        while (recv(client, &c, 1, 0) == 1) {
            text += c;
            const std::size_t n = text.size();
            if ((n >= 2 && text.compare(n - 2, 2, "\n\n") == 0) ||
                (n >= 4 && text.compare(n - 4, 4, "\r\n\r\n") == 0)) {
                break;
            }
        }
        return text;
    }

    std::vector<std::string> answers_;
    RawSocket listener_ = kNoRawSocket;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> requests_;
};

// A port on 127.0.0.1 at which nothing listens right now (the system picked it and let it go).
inline int UnusedPort() {
    const RawSocket s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    CloseRawSocket(s);
    return ntohs(address.sin_port);
}

}  // namespace testsupport
