// A TCP server for one connection, on 127.0.0.1 and a port the system picks, that plays a script
// on its own thread. Plain BSD socket calls, so that it does not depend on the socket class under
// test. On Windows the caller must have started the socket library.
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

#include <functional>
#include <string>
#include <thread>

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

// The accepted end of the connection, as the script sees it.
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
        for (;;) {
            const int n = recv(socket_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return bytes;
            }
            bytes.append(buffer, static_cast<size_t>(n));
        }
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

    FakeTcpServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        listen(listener_, 4);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }

    ~FakeTcpServer() {
        Stop();
        if (listener_ != kNoRawSocket) {
            CloseRawSocket(listener_);
        }
    }

    FakeTcpServer(const FakeTcpServer&) = delete;
    FakeTcpServer& operator=(const FakeTcpServer&) = delete;

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

private:
    RawSocket listener_ = kNoRawSocket;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace testsupport
