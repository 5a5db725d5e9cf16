// Linux only: BSD sockets that report Windows Sockets error codes, and whose blocking calls also
// wake up when Kill asks the calling CThread to stop.
#include "sys/pure_socket.h"

#include "sys/pure_socket_io.h"
#include "sys/thread_run.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

thread_local int tLastError = 0;

int WsaCodeFromErrno(int error) {
    struct Pair {
        int errnoValue;
        int wsaCode;
    };
    static constexpr Pair kPairs[] = {
        {EINTR, kSocketInterrupted},
        {EBADF, 10009},
        {EACCES, 10013},
        {EFAULT, 10014},
        {EINVAL, 10022},
        {EMFILE, 10024},
        {EAGAIN, kSocketWouldBlock},
        {EINPROGRESS, 10036},
        {EALREADY, 10037},
        {ENOTSOCK, 10038},
        {EDESTADDRREQ, 10039},
        {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},
        {ENOPROTOOPT, 10042},
        {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},
        {EPFNOSUPPORT, 10046},
        {EAFNOSUPPORT, 10047},
        {EADDRINUSE, kSocketAddressInUse},
        {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},
        {ENETUNREACH, 10051},
        {ENETRESET, 10052},
        {ECONNABORTED, 10053},
        {ECONNRESET, 10054},
        {ENOBUFS, 10055},
        {EISCONN, 10056},
        {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},
        {EPIPE, 10058},  // Windows reports a send after shutdown as WSAESHUTDOWN
        {ETIMEDOUT, 10060},
        {ECONNREFUSED, kSocketConnectionRefused},
        {EHOSTDOWN, 10064},
        {EHOSTUNREACH, 10065},
    };
    for (const Pair& pair : kPairs) {
        if (pair.errnoValue == error) {
            return pair.wsaCode;
        }
    }
    return error;
}

void RecordErrno() {
    tLastError = WsaCodeFromErrno(errno);
}

void RecordResolverError(int result) {
    switch (result) {
        case EAI_NONAME:
            tLastError = kSocketHostNotFound;
            break;
        case EAI_AGAIN:
            tLastError = 11002;  // WSATRY_AGAIN
            break;
        case EAI_FAIL:
            tLastError = 11003;  // WSANO_RECOVERY
            break;
        case EAI_NODATA:
            tLastError = 11004;  // WSANO_DATA
            break;
        case EAI_SYSTEM:
            RecordErrno();
            break;
        default:
            tLastError = 11003;
            break;
    }
}

// Blocks until `fd` is ready for `events` (or has an error to report). False, with errno EINTR,
// when Kill asks the calling CThread to stop first.
bool WaitUntilReady(int fd, short events) {
    const int stop = CurrentThreadStopDescriptor();
    pollfd entries[2] = {{fd, events, 0}, {stop, POLLIN, 0}};
    const nfds_t count = stop >= 0 ? 2 : 1;
    for (;;) {
        if (poll(entries, count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (count == 2 && (entries[1].revents & POLLIN) != 0) {
            errno = EINTR;
            return false;
        }
        return true;
    }
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// Connects without blocking in connect() itself, so that the wait can watch the stop request.
bool ConnectInterruptibly(int fd, const sockaddr_in& address) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        return false;
    }
    bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS && WaitUntilReady(fd, POLLOUT)) {
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0) {
            connected = error == 0;
            errno = error;
        }
    }
    const int saved = errno;
    fcntl(fd, F_SETFL, flags);
    errno = saved;
    return connected;
}

}  // namespace

int LastSocketError() {
    return tLastError;
}

int SendOnce(std::intptr_t descriptor, const char* data, int length, int flags) {
    const int fd = static_cast<int>(descriptor);
    for (;;) {
        if (!WaitUntilReady(fd, POLLOUT)) {
            RecordErrno();
            return -1;
        }
        // No SIGPIPE when the peer has gone: the error comes back as EPIPE instead.
        const ssize_t count =
            send(fd, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count >= 0) {
            return static_cast<int>(count);
        }
        if (errno != EAGAIN && errno != EINTR) {
            RecordErrno();
            return -1;
        }
    }
}

int ReceiveOneByte(std::intptr_t descriptor, char* byte) {
    const int fd = static_cast<int>(descriptor);
    for (;;) {
        if (!WaitUntilReady(fd, POLLIN)) {
            RecordErrno();
            return -1;
        }
        const ssize_t count = recv(fd, byte, 1, MSG_DONTWAIT);
        if (count >= 0) {
            return static_cast<int>(count);
        }
        if (errno != EAGAIN && errno != EINTR) {
            RecordErrno();
            return -1;
        }
    }
}

bool CanListenOnPort(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    // A connection of an earlier server that is still closing does not hold the port for a new
    // listener; a socket that listens does, whatever its address.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

bool CQXPureSocket::Create(int family, int type, int protocol) {
    const int fd = socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        RecordErrno();
        return false;
    }
    Close();
    descriptor_ = fd;
    return true;
}

bool CQXPureSocket::Connect(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        RecordResolverError(result != 0 ? result : EAI_NONAME);
        return false;
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    address.sin_port = htons(static_cast<uint16_t>(port));

    if (!IsValid()) {
        tLastError = 10038;  // WSAENOTSOCK, as connect() on no socket gives on Windows
        return false;
    }
    if (!ConnectInterruptibly(static_cast<int>(descriptor_), address)) {
        RecordErrno();
        return false;
    }
    return true;
}

bool CQXPureSocket::Close() {
    if (IsValid()) {
        // The caller may still want the text of the failure that led here.
        const int saved = tLastError;
        const int fd = static_cast<int>(descriptor_);
        shutdown(fd, SHUT_RDWR);
        close(fd);
        tLastError = saved;
    }
    descriptor_ = kNoDescriptor;
    return true;
}

WinsockGuard::WinsockGuard() : started_(true) {}

WinsockGuard::~WinsockGuard() = default;
