// Linux only: Unix-domain sockets made, checked and served here, on the UI thread's loop; the
// peer's user comes from SO_PEERCRED on both sides.
#include "app/local_endpoint.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <list>
#include <sstream>

#include "app/ui_thread.h"
#include "sys/environment.h"
#include "sys/handles_posix.h"

namespace {

constexpr int kConnectWaitMs = 2000;
// A peer that sends this much without a line feed is cut off.
constexpr std::size_t kMaxLineBytes = 4096;
// The longest address a socket takes, without the terminating or leading zero byte.
constexpr std::size_t kMaxAddress = sizeof(sockaddr_un::sun_path) - 1;
// Room kept in an abstract name for the suffix that sets it apart from one another user holds.
constexpr std::size_t kSuffixRoom = 12;
constexpr int kAlternatives = 16;
// Past this length the private folder leaves too little room for names.
constexpr std::size_t kMaxFolder = 60;

bool PeerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == geteuid();
}

// A real folder of this user that nobody else may enter or change.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

// The folder of this user's socket files, with a trailing '/'; empty when there is none to trust
// (no runtime folder of the user's own): the endpoints are abstract then.
std::string SocketFolder() {
    std::string folder = GetEnvironmentValue("XDG_RUNTIME_DIR");
    if (folder.empty() || folder[0] != '/' || !IsPrivateFolder(folder)) {
        return "";
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    folder += "trailhost";
    mkdir(folder.c_str(), 0700);
    if (folder.size() > kMaxFolder || !IsPrivateFolder(folder)) {
        return "";
    }
    return folder + '/';
}

std::string HashOf(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (int shift = 60; shift >= 0; shift -= 4) {
        hex += kHex[(hash >> shift) & 0xf];
    }
    return hex;
}

// `text` when it fits into `limit` characters; else its start, "~" and a hash of the whole.
std::string Fitted(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    const std::string hash = HashOf(text);
    return text.substr(0, limit - hash.size() - 1) + "~" + hash;
}

// A name as a file name: letters, digits, '-' and '_' as they are, every other byte as %XX.
std::string FileNameFor(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string file;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_') {
            file += c;
        } else {
            file += '%';
            file += kHex[byte >> 4];
            file += kHex[byte & 0xf];
        }
    }
    return file;
}

// Where the names of this user's endpoints begin, before any name is cut to fit.
std::string AddressStart(const std::string& folder) {
    return folder.empty() ? "@trailhost-" + std::to_string(geteuid()) + "/" : folder;
}

std::string UnfittedAddress(const std::string& folder, const std::string& name) {
    return AddressStart(folder) + (folder.empty() ? name : FileNameFor(name));
}

bool ToSocketAddress(const std::string& address, sockaddr_un& socketAddress, socklen_t& length) {
    socketAddress = {};
    socketAddress.sun_family = AF_UNIX;
    const bool abstract = !address.empty() && address[0] == '@';
    const std::string name = abstract ? address.substr(1) : address;
    if (name.empty() || name.size() > kMaxAddress) {
        return false;
    }
    // An abstract name begins with a zero byte and ends where the length says.
    std::memcpy(socketAddress.sun_path + (abstract ? 1 : 0), name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
    return true;
}

enum class Peer { kNobody, kThisUser, kOtherUser };

// Connects to `address`; a listener that takes no connection within the connect wait counts as
// nobody. `socket` keeps the connection when it is of this user.
Peer ConnectTo(const std::string& address, ScopedFd& socket) {
    sockaddr_un socketAddress{};
    socklen_t length = 0;
    if (!ToSocketAddress(address, socketAddress, length)) {
        return Peer::kNobody;
    }
    ScopedFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsValid()) {
        return Peer::kNobody;
    }
    // A listener that never accepts fills its queue; connect and send then wait this long.
    timeval wait{kConnectWaitMs / 1000, (kConnectWaitMs % 1000) * 1000};
    setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof(wait));
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&socketAddress), length) != 0) {
        return Peer::kNobody;
    }
    if (!PeerIsThisUser(fd.Get())) {
        return Peer::kOtherUser;
    }
    socket.Reset(fd.Release());
    return Peer::kThisUser;
}

// Every socket address there is now where this user's endpoints are: the files of the private
// folder, or every abstract name of the machine's network namespace.
std::vector<std::string> ListedAddresses(const std::string& folder) {
    std::vector<std::string> found;
    if (!folder.empty()) {
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                struct stat st {};
                const std::string path = folder + entry->d_name;
                if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
                    found.push_back(path);
                }
            }
            closedir(dir);
        }
        return found;
    }
    // The kernel lists every socket with its address; abstract ones begin with '@'. Fields are
    // Num RefCount Protocol Flags Type St Inode, then the address, which may hold blanks.
    std::ifstream in("/proc/net/unix");
    std::string line;
    std::getline(in, line);
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string skip;
        for (int i = 0; i < 7 && fields >> skip; ++i) {
        }
        std::string address;
        std::getline(fields >> std::ws, address);
        if (address.size() >= 2 && address[0] == '@' && seen.insert(address).second) {
            found.push_back(address);
        }
    }
    return found;
}

// Whether a listener of this user holds the abstract address `primary` with a suffix.
bool HeldUnderASuffix(const std::string& primary) {
    const std::string start = primary + "#";
    for (const std::string& address : ListedAddresses("")) {
        ScopedFd socket;
        if (address.compare(0, start.size(), start) == 0 &&
            ConnectTo(address, socket) == Peer::kThisUser) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string EndpointAddress(const std::string& name) {
    const std::string folder = SocketFolder();
    const std::size_t limit = folder.empty() ? kMaxAddress + 1 - kSuffixRoom : kMaxAddress;
    return Fitted(UnfittedAddress(folder, name), limit);
}

// A listening socket and the connections of its peers, each read as it becomes readable. Lines
// go to the callback with the white space at their ends taken off.
struct LocalEndpoint::Server {
    struct Connection {
        ScopedFd socket;
        std::string pending;
        std::unique_ptr<ReadWatch> watch;
    };

    Server(int fd, std::function<void(const std::string&)> onLine_)
        : listening(fd), onLine(std::move(onLine_)) {
        watch = WatchReadable(listening.Get(), [this] { Accept(); });
    }

    void Accept() {
        for (;;) {
            ScopedFd socket(
                accept4(listening.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (!socket.IsValid()) {
                return;
            }
            if (!PeerIsThisUser(socket.Get())) {
                continue;
            }
            connections.push_back(std::make_unique<Connection>());
            Connection* connection = connections.back().get();
            connection->socket.Reset(socket.Release());
            connection->watch =
                WatchReadable(connection->socket.Get(), [this, connection] { Read(connection); });
        }
    }

    void Read(Connection* connection) {
        bool open = true;
        for (;;) {
            char bytes[1024];
            const ssize_t n = recv(connection->socket.Get(), bytes, sizeof bytes, 0);
            if (n > 0) {
                connection->pending.append(bytes, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                open = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
                break;
            }
        }
        // The callback may close the endpoint, and this server with it.
        const std::weak_ptr<int> lifetime = alive;
        for (std::size_t end; (end = connection->pending.find('\n')) != std::string::npos;) {
            std::string line = connection->pending.substr(0, end);
            connection->pending.erase(0, end + 1);
            const char* blanks = " \t\r\n\v\f";
            line.erase(line.find_last_not_of(blanks) + 1);
            line.erase(0, line.find_first_not_of(blanks));
            onLine(line);
            if (lifetime.expired()) {
                return;
            }
        }
        if (!open || connection->pending.size() > kMaxLineBytes) {
            connections.remove_if([connection](const std::unique_ptr<Connection>& held) {
                return held.get() == connection;
            });
        }
    }

    ScopedFd listening;
    std::function<void(const std::string&)> onLine;
    std::unique_ptr<ReadWatch> watch;
    std::list<std::unique_ptr<Connection>> connections;
    std::shared_ptr<int> alive = std::make_shared<int>(0);
};

LocalEndpoint::LocalEndpoint() = default;

LocalEndpoint::~LocalEndpoint() {
    Close();
}

bool LocalEndpoint::Listen(const std::string& name,
                           std::function<void(const std::string&)> onLine) {
    Close();
    const std::string primary = EndpointAddress(name);
    const bool abstract = primary[0] == '@';
    std::random_device entropy;
    std::mt19937 pick(entropy());
    // A socket file that nobody listens on is left by a copy that is gone: it is taken over
    // once. An abstract name of another user is passed by for one with a random suffix.
    const int attempts = abstract ? kAlternatives : 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::string address =
            attempt == 0 || !abstract ? primary : primary + "#" + std::to_string(pick());
        sockaddr_un socketAddress{};
        socklen_t length = 0;
        ScopedFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd.IsValid() || !ToSocketAddress(address, socketAddress, length)) {
            return false;
        }
        if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&socketAddress), length) == 0 &&
            ::listen(fd.Get(), 16) == 0) {
            server_ = std::make_unique<Server>(fd.Release(), std::move(onLine));
            address_ = address;
            return true;
        }
        if (errno != EADDRINUSE) {
            return false;
        }
        ScopedFd probe;
        switch (ConnectTo(address, probe)) {
            case Peer::kThisUser:
                return false;
            case Peer::kOtherUser:
                if (!abstract) {
                    return false;
                }
                break;
            case Peer::kNobody:
                if (!abstract) {
                    unlink(address.c_str());
                }
                break;
        }
        // Another copy of this user may hold the name under a suffix already.
        if (abstract && attempt == 0 && HeldUnderASuffix(primary)) {
            return false;
        }
    }
    return false;
}

void LocalEndpoint::Close() {
    // The file goes first: nobody reaches a closing endpoint.
    if (!address_.empty() && address_[0] == '/') {
        unlink(address_.c_str());
    }
    address_.clear();
    server_.reset();
}

bool SendToAddress(const std::string& address, const std::string& line) {
    ScopedFd socket;
    if (ConnectTo(address, socket) != Peer::kThisUser) {
        return false;
    }
    if (!line.empty()) {
        const std::string text = line + "\n";
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n =
                send(socket.Get(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    return true;
}

bool SendToEndpoint(const std::string& name, const std::string& line) {
    const std::string primary = EndpointAddress(name);
    if (SendToAddress(primary, line)) {
        return true;
    }
    if (primary[0] != '@') {
        return false;
    }
    // The name may be held by another user, and this user's endpoint be one with a suffix.
    const std::string start = primary + "#";
    for (const std::string& address : ListedAddresses("")) {
        if (address.compare(0, start.size(), start) == 0 && SendToAddress(address, line)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> FindEndpoints(const std::string& prefix) {
    const std::string folder = SocketFolder();
    const std::string start = UnfittedAddress(folder, prefix);
    std::vector<std::string> found;
    for (const std::string& address : ListedAddresses(folder)) {
        ScopedFd socket;
        if (address.compare(0, start.size(), start) == 0 &&
            ConnectTo(address, socket) == Peer::kThisUser) {
            found.push_back(address);
        }
    }
    return found;
}
