// The one TCP fake of the tests: a server inside the test process, on plain BSD socket calls so
// that it does not depend on the socket class under test. It either plays a script on the next
// connection (for the socket tests: resets, endless answers, silent peers), or answers every
// connection from a list and records the request heads (a web server, or a port that is taken).
// On Windows the caller must have started the socket library.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

#ifdef _WIN32
using RawSocket = SOCKET;
constexpr RawSocket kNoRawSocket = INVALID_SOCKET;
inline void CloseRawSocket(RawSocket s) {
    closesocket(s);
}
#else
using RawSocket = int;
constexpr RawSocket kNoRawSocket = -1;
inline void CloseRawSocket(RawSocket s) {
    close(s);
}
#endif

// The accepted end of a connection, as the server's side sees it.
class ServerConnection {
public:
    explicit ServerConnection(RawSocket s) : socket_(s) {}

    void Send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const int n =
                send(socket_, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
            if (n <= 0) {
                return;
            }
            done += static_cast<size_t>(n);
        }
    }

    // Everything the client sends until it closes its side.
    std::string ReceiveAll() {
        std::string bytes;
        char buffer[4096];
        for (int n; (n = recv(socket_, buffer, sizeof buffer, 0)) > 0;) {
            bytes.append(buffer, static_cast<size_t>(n));
        }
        return bytes;
    }

    // Everything up to the empty line that ends a request head, with bare or CR LF line ends.
    std::string ReceiveHead() {
        std::string text;
        char c = 0;
        while (recv(socket_, &c, 1, 0) == 1) {
            text += c;
            const std::size_t n = text.size();
            if ((n >= 2 && text.compare(n - 2, 2, "\n\n") == 0) ||
                (n >= 4 && text.compare(n - 4, 4, "\r\n\r\n") == 0)) {
                break;
            }
        }
        return text;
    }

    // Ends the connection with a reset instead of an orderly close.
    void Reset() {
        linger hard{};
        hard.l_onoff = 1;
        hard.l_linger = 0;
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                   sizeof hard);
        CloseRawSocket(socket_);
        socket_ = kNoRawSocket;
    }

    RawSocket Raw() const { return socket_; }

private:
    RawSocket socket_;
};

class FakeTcpServer {
public:
    using Script = std::function<void(ServerConnection&)>;

    // Listens on 127.0.0.1 only, at a port the system picks; Serve plays on the next connection.
    FakeTcpServer() { Listen(INADDR_LOOPBACK, 0); }

    // Listens at one address ("0.0.0.0" for every address) at a port the system picks and answers
    // nothing: a port held for as long as it lives.
    struct HoldAt {};
    FakeTcpServer(HoldAt, const char* address) { Listen(ntohl(inet_addr(address)), 0); }

    // Listens on every local address (as the servers it stands for do) at `port`, or at one the
    // system picks, and answers each connection with the next of `answers` (the last repeats; ""
    // closes without a word).
    explicit FakeTcpServer(std::vector<std::string> answers, int port = 0)
        : answers_(std::move(answers)) {
        if (Listen(INADDR_ANY, port)) {
            thread_ = std::thread([this] { Answer(); });
        }
    }

    ~FakeTcpServer() {
        if (!answers_.empty() && listener_ != kNoRawSocket) {
            stop_ = true;
            // Wakes the accept with a connection of our own.
            const RawSocket waker = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address = Address(INADDR_LOOPBACK, port_);
            connect(waker, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            Stop();
            CloseRawSocket(waker);
        }
        Stop();
        if (listener_ != kNoRawSocket) {
            CloseRawSocket(listener_);
        }
    }

    FakeTcpServer(const FakeTcpServer&) = delete;
    FakeTcpServer& operator=(const FakeTcpServer&) = delete;

    bool Listening() const { return listener_ != kNoRawSocket; }
    int Port() const { return port_; }

    // Accepts one connection on a thread of its own and plays `script` on it; the connection is
    // closed when the script returns.
    void Serve(Script script) {
        thread_ = std::thread([this, script] {
            const RawSocket accepted = accept(listener_, nullptr, nullptr);
            if (accepted == kNoRawSocket) {
                return;
            }
            ServerConnection connection(accepted);
            script(connection);
            if (connection.Raw() != kNoRawSocket) {
                CloseRawSocket(connection.Raw());
            }
        });
    }

    // Waits for the script to end.
    void Stop() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Stops listening: the port is then closed (until someone else takes it).
    void CloseListener() {
        CloseRawSocket(listener_);
        listener_ = kNoRawSocket;
    }

    // The request heads answered so far, in order.
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    static sockaddr_in Address(unsigned long host, int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(host);
        address.sin_port = htons(static_cast<unsigned short>(port));
        return address;
    }

    bool Listen(unsigned long host, int port) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
#ifndef _WIN32
        int yes = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
        sockaddr_in address = Address(host, port);
        if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0) {
            CloseRawSocket(listener_);
            listener_ = kNoRawSocket;
            return false;
        }
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        return true;
    }

    void Answer() {
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
            ServerConnection connection(client);
            const std::string head = connection.ReceiveHead();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            connection.Send(answers_[std::min(served, answers_.size() - 1)]);
            CloseRawSocket(client);
        }
    }

    std::vector<std::string> answers_;
    RawSocket listener_ = kNoRawSocket;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

// The name the web-server tests know it by.
using ScriptedWebServer = FakeTcpServer;

// A port on 127.0.0.1 at which nothing listens right now (the system picked it and let it go).
inline int UnusedPort() {
    FakeTcpServer probe;
    return probe.Port();
}

}  // namespace testsupport
