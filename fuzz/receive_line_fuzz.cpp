// Linux only. Server answers: the input is what a server sends before it closes the connection.
// A loopback listener is made once; for each input a client connects, the server side writes the
// bytes and closes, and the client reads lines with ReceiveLine until it gets an empty one. Then
// the readiness probe meets the same answer.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "stack/wait_webserver_start.h"
#include "sys/handles_posix.h"
#include "sys/pure_socket.h"

namespace {

// Loopback buffers hold this much without a reader, so one thread can play both sides.
constexpr size_t kMaxAnswer = 32 * 1024;
const char kHost[] = "127.0.0.1";

// The loopback listener of the process, and its port.
struct Listener {
    ScopedFd fd{socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    int port = 0;

    Listener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (!fd.IsValid() ||
            bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(fd.Get(), 8) != 0 ||
            getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("listener");
            std::abort();
        }
        port = ntohs(address.sin_port);
    }
};

const Listener& TheListener() {
    static const Listener listener;
    return listener;
}

// Takes the next connection and sends the whole answer on it.
ScopedFd AcceptAndSend(const std::string& bytes) {
    ScopedFd peer(accept4(TheListener().fd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    FUZZ_CHECK(peer.IsValid(), "accept");
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(peer.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        FUZZ_CHECK(n > 0, "send");
        sent += static_cast<size_t>(n);
    }
    return peer;
}

// Sends the answer on the next connection, ends the sending side and reads whatever the client
// sends until it closes; so the client gets every byte and no reset cuts it short.
void Answer(const std::string& answer) {
    const ScopedFd peer = AcceptAndSend(answer);
    shutdown(peer.Get(), SHUT_WR);
    char sink[512];
    while (recv(peer.Get(), sink, sizeof(sink), 0) > 0) {
    }
}

// The lines ReceiveLine gives for an answer: up to and with each line feed, or
// CQXPureSocket::kMaxLineBytes bytes where no line feed comes that soon.
std::vector<std::string> Pieces(const std::string& answer) {
    std::vector<std::string> pieces;
    size_t from = 0;
    for (;;) {
        const size_t feed = answer.find('\n', from);
        if (feed != std::string::npos && feed - from < CQXPureSocket::kMaxLineBytes) {
            pieces.push_back(answer.substr(from, feed + 1 - from));
            from = feed + 1;
        } else if (answer.size() - from >= CQXPureSocket::kMaxLineBytes) {
            pieces.push_back(answer.substr(from, CQXPureSocket::kMaxLineBytes));
            from += CQXPureSocket::kMaxLineBytes;
        } else {
            return pieces;
        }
    }
}

void CheckReceiveLine(const std::string& answer) {
    CQXPureSocket client;
    FUZZ_CHECK(client.Create() && client.Connect(kHost, TheListener().port), "connect");
    // The connection is complete in the listener's queue already; the client reads only after
    // the server side has written everything and closed.
    AcceptAndSend(answer);

    // Every line ends at its first line feed, or is cut at the limit; bytes after the last line
    // end that fill no whole piece are lost with the close.
    const std::vector<std::string> expected = Pieces(answer);
    size_t count = 0;
    for (std::string line = client.ReceiveLine(); !line.empty(); line = client.ReceiveLine()) {
        FUZZ_CHECK(count < expected.size() && line == expected[count], line);
        ++count;
    }
    FUZZ_CHECK(count == expected.size(), answer);
}

// The probe takes a first line that does not hold "HTTP/1.1 404" as ready; no line at all is
// not ready.
void CheckProbe(const std::string& answer) {
    const std::vector<std::string> pieces = Pieces(answer);
    const std::string statusLine = pieces.empty() ? std::string() : pieces.front();
    const bool ready = !statusLine.empty() && statusLine.find("HTTP/1.1 404") == std::string::npos;

    CWaitWebserverStart probe(TheListener().port, kHost);
    probe.Start();
    Answer(answer);
    if (ready) {
        // A ready probe ends by itself; one that missed the answer would try again after a
        // pause and wait for a connection nobody accepts.
        FUZZ_CHECK(probe.GetHandle().Wait(10000) && probe.Answered(), statusLine);
    } else {
        probe.StopAndWait();
        FUZZ_CHECK(!probe.Answered(), statusLine);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static WinsockGuard sockets;
    TheListener();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string answer = fuzzsupport::Text(data, size < kMaxAnswer ? size : kMaxAnswer);
    CheckReceiveLine(answer);
    CheckProbe(answer);
    return 0;
}
