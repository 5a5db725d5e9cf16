// The blocking TCP client socket, the port probe and the scoped start of the socket library.
//
// The launcher talks TCP only as a client of its own servers on the local machine: the port
// probe asks whether something listens on a port, the readiness probe sends a request and reads
// the status line. Errors are Windows Sockets codes on both platforms (Linux translates errno and
// resolver errors), so that users see the same texts everywhere.
//
// On Linux a socket call made on a CThread's own thread returns at once, failing with
// kSocketInterrupted, once Kill asks that thread to stop. On Windows such a call ends only with
// the forced end of the thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// Windows Sockets error codes with a fixed text, and a few more that the launcher meets.
constexpr int kSocketInterrupted = 10004;        // WSAEINTR
constexpr int kSocketWouldBlock = 10035;         // WSAEWOULDBLOCK
constexpr int kSocketAddressInUse = 10048;       // WSAEADDRINUSE
constexpr int kSocketConnectionRefused = 10061;  // WSAECONNREFUSED
constexpr int kSocketHostNotFound = 11001;       // WSAHOST_NOT_FOUND

// The text for a Windows Sockets error code: a fixed text for refused, in use, host not found
// and interrupted; "Unknown error.\r\nError code: <code>" for any other code.
std::string SocketErrorText(int code);

// SocketErrorText of the calling thread's last socket error.
std::string GetLastErrorText();

// The blocking TCP client: Create, Connect, Send and ReceiveLine, Close. Used by one thread at a
// time; the socket library must be started (WinsockGuard) from before Create until after Close.
class CQXPureSocket {
public:
    CQXPureSocket() = default;
    ~CQXPureSocket();
    CQXPureSocket(const CQXPureSocket&) = delete;
    CQXPureSocket& operator=(const CQXPureSocket&) = delete;

    // Makes the descriptor (2 = AF_INET, 1 = SOCK_STREAM, 0 = the default protocol); false when
    // the system refuses.
    bool Create(int family = 2, int type = 1, int protocol = 0);

    // Resolves `host` (dotted IPv4 text is used as it is; a name is looked up) and connects to
    // its first IPv4 address on `port`. An unresolvable name fails without touching the socket.
    // No time-out of our own: a connection attempt lasts as long as the system lets it.
    bool Connect(const std::string& host, int port);

    // Sends `length` bytes: the number sent, or -1 without a descriptor. A failed send() is
    // retried with half the chunk, down to 2048 bytes; below that Send gives up and answers
    // what it has sent so far (so a request under 4096 bytes has one try).
    int Send(const void* buffer, int length, int flags = 0);

    // Reads one byte at a time up to and including a line feed (a carriage return before it is
    // kept), or until kMaxLineBytes have come without one: a peer that sends no line end never
    // makes the text grow further. Empty when the peer closes first or on an error, except that
    // after a would-block error (a receive time-out) the text read so far is the answer. No time
    // limit of its own.
    std::string ReceiveLine();
    static constexpr std::size_t kMaxLineBytes = 8192;

    // Shuts both directions down and closes; harmless on a socket without a descriptor. Always
    // true. Connect fails afterwards until Create is called again.
    bool Close();

    bool IsValid() const { return descriptor_ != kNoDescriptor; }

    // The calling thread's last socket error (WSAGetLastError on Windows), as a Windows Sockets
    // code.
    int GetLastError() const;

private:
    static constexpr std::intptr_t kNoDescriptor = -1;

    std::intptr_t descriptor_ = kNoDescriptor;
};

// Whether something accepts TCP connections on `port` of `host`: connects, closes at once and
// answers true; false when the socket cannot be made or the connection fails. Nothing is sent.
bool IsPortInUse(int port, const std::string& host);

// Whether a server could listen on TCP `port` of every address of this machine now: a socket
// bound to the wildcard address succeeds. False while any socket holds the port on any address,
// and where this user may not take the port at all (below 1024 on Linux without the right).
bool CanListenOnPort(int port);

// Raised by WinsockGuard when the socket library cannot give version 1.1.
class CNotSupportedException : public std::runtime_error {
public:
    CNotSupportedException()
        : std::runtime_error("The socket library version 1.1 is not available.") {}
};

// Starts the socket library (Windows Sockets 1.1) for its lifetime; starts nest, and each guard
// stops only its own start. Raises CNotSupportedException when the library cannot start or
// grants another version. Linux has nothing to start.
class WinsockGuard {
public:
    WinsockGuard();
    ~WinsockGuard();
    WinsockGuard(const WinsockGuard&) = delete;
    WinsockGuard& operator=(const WinsockGuard&) = delete;

private:
    // Only the Windows guard has a start to undo.
    [[maybe_unused]] bool started_ = false;
};
