#include "sys/pure_socket.h"

#include "sys/pure_socket_io.h"

#include <algorithm>
#include <cstdio>

namespace {

// The smallest chunk that Send still tries after halving.
constexpr int kSmallestSendChunk = 2048;
// EAGAIN, as a receive time-out reports it where errno values come through unchanged.
constexpr int kTryAgain = 11;

struct FixedErrorText {
    int code;
    const char* text;
};

// Searched in this order; the first equal code wins.
constexpr FixedErrorText kFixedErrorTexts[] = {
    {kSocketConnectionRefused,
     "Connection refused.\r\nNo connection could be made because the target machine actively "
     "refused it. This usually results from trying to connect to a service that is inactive on "
     "the foreign host - i.e. one with no server application running. "},
    {kSocketAddressInUse,
     "Address already in use.\r\nOnly one usage of each socket address (protocol/IP "
     "address/port)is normally permitted. This error occurs if an application attempts to bind "
     "a socket to an IP address/port that has already been used for an existing socket."},
    {kSocketHostNotFound, "Hostname not found."},
    {kSocketInterrupted,
     "Function was interrupted.\r\nThis may happen if a firewall on this computer or the "
     "destination computer has denied access.\r\nPlease consult the manual how to configure the "
     "firewall."},
};

}  // namespace

std::string SocketErrorText(int code) {
    for (const FixedErrorText& entry : kFixedErrorTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    char text[64];
    std::snprintf(text, sizeof text, "Unknown error.\r\nError code: %d", code);
    return text;
}

std::string GetLastErrorText() {
    return SocketErrorText(LastSocketError());
}

CQXPureSocket::~CQXPureSocket() {
    Close();
}

int CQXPureSocket::Send(const void* buffer, int length, int flags) {
    if (!IsValid()) {
        return -1;
    }
    const char* bytes = static_cast<const char*>(buffer);
    int remaining = length;
    int sent = 0;
    int chunk = length;
    while (remaining > 0) {
        const int count = SendOnce(descriptor_, bytes + sent, std::min(chunk, remaining), flags);
        if (count < 0) {
            chunk /= 2;
            if (chunk < kSmallestSendChunk) {
                return sent;
            }
            continue;
        }
        sent += count;
        remaining -= count;
    }
    return length - remaining;
}

std::string CQXPureSocket::ReceiveLine() {
    std::string line;
    for (;;) {
        char byte = 0;
        const int count = ReceiveOneByte(descriptor_, &byte);
        if (count == 0) {
            return std::string();
        }
        if (count < 0) {
            const int error = LastSocketError();
            return error == kTryAgain || error == kSocketWouldBlock ? line : std::string();
        }
        line += byte;
        if (byte == '\n' || line.size() >= kMaxLineBytes) {
            return line;
        }
    }
}

int CQXPureSocket::GetLastError() const {
    return LastSocketError();
}

bool IsPortInUse(int port, const std::string& host) {
    try {
        CQXPureSocket socket;
        if (!socket.Create(2, 1, 0) || !socket.Connect(host, port)) {
            return false;
        }
        socket.Close();
        return true;
    } catch (...) {
        return false;
    }
}
