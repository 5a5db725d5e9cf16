// Windows only: Windows Sockets calls of the blocking client socket.
#include "sys/pure_socket.h"

#include "sys/error_text.h"
#include "sys/pure_socket_io.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

SOCKET AsSocket(std::intptr_t descriptor) {
    return static_cast<SOCKET>(descriptor);
}

}  // namespace

int LastSocketError() {
    return WSAGetLastError();
}

int SendOnce(std::intptr_t descriptor, const char* data, int length, int flags) {
    const int count = send(AsSocket(descriptor), data, length, flags);
    return count == SOCKET_ERROR ? -1 : count;
}

int ReceiveOneByte(std::intptr_t descriptor, char* byte) {
    const int count = recv(AsSocket(descriptor), byte, 1, 0);
    return count == SOCKET_ERROR ? -1 : count;
}

bool CanListenOnPort(int port) {
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) {
        return false;
    }
    // Exclusive, so that the bind fails also where another socket holds the port on one
    // address only, which Windows would otherwise let a wildcard bind share.
    const BOOL on = TRUE;
    setsockopt(probe, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool bound =
        bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    closesocket(probe);
    return bound;
}

bool CQXPureSocket::Create(int family, int type, int protocol) {
    const SOCKET created = socket(family, type, protocol);
    if (created == INVALID_SOCKET) {
        return false;
    }
    Close();
    descriptor_ = static_cast<std::intptr_t>(created);
    return true;
}

bool CQXPureSocket::Connect(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        // getaddrinfo answers with the Windows Sockets code itself.
        WSASetLastError(result != 0 ? result : WSAHOST_NOT_FOUND);
        return false;
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    address.sin_port = htons(static_cast<u_short>(port));
    return connect(AsSocket(descriptor_), reinterpret_cast<const sockaddr*>(&address),
                   sizeof address) != SOCKET_ERROR;
}

bool CQXPureSocket::Close() {
    if (IsValid()) {
        // The caller may still want the text of the failure that led here.
        const int saved = WSAGetLastError();
        shutdown(AsSocket(descriptor_), SD_BOTH);
        closesocket(AsSocket(descriptor_));
        WSASetLastError(saved);
    }
    descriptor_ = kNoDescriptor;
    return true;
}

WinsockGuard::WinsockGuard() {
    WSADATA data;
    if (const int error = WSAStartup(MAKEWORD(1, 1), &data); error != 0) {
        TraceSystemError("Socket library start", static_cast<unsigned long>(error));
        throw CNotSupportedException();
    }
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        throw CNotSupportedException();
    }
    started_ = true;
}

WinsockGuard::~WinsockGuard() {
    if (started_) {
        WSACleanup();
    }
}
