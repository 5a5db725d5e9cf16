// Linux only: holds local sockets as another user of the machine could before the launcher
// starts. "hold_sockets LOG ADDRESS..." binds and listens on each address ("@name" for an abstract
// name, else a path), logs "ready", then logs each connection it gets ("connection ADDRESS") and
// each line sent to it ("line ADDRESS TEXT") until it is ended.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "fake_common.h"

namespace {

int Listen(const std::string& address) {
    sockaddr_un socketAddress{};
    socketAddress.sun_family = AF_UNIX;
    const bool abstract = address[0] == '@';
    const std::string name = abstract ? address.substr(1) : address;
    if (name.size() >= sizeof(socketAddress.sun_path)) {
        return -1;
    }
    std::memcpy(socketAddress.sun_path + (abstract ? 1 : 0), name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&socketAddress), length) != 0 ||
        listen(fd, 16) != 0) {
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string log = argv[1];
    std::vector<pollfd> watched;
    std::map<int, std::string> addressOf;
    std::map<int, bool> listening;
    std::map<int, std::string> pending;
    for (int i = 2; i < argc; ++i) {
        const int fd = Listen(argv[i]);
        if (fd < 0) {
            fake::Log(log, std::string("listen failed ") + argv[i]);
            return 1;
        }
        watched.push_back({fd, POLLIN, 0});
        addressOf[fd] = argv[i];
        listening[fd] = true;
    }
    fake::Log(log, "ready");
    for (;;) {
        if (poll(watched.data(), watched.size(), -1) < 0) {
            continue;
        }
        std::vector<pollfd> next;
        for (const pollfd& entry : watched) {
            if ((entry.revents & (POLLIN | POLLHUP)) == 0) {
                next.push_back(entry);
                continue;
            }
            if (listening[entry.fd]) {
                const int client = accept4(entry.fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    fake::Log(log, "connection " + addressOf[entry.fd]);
                    next.push_back({client, POLLIN, 0});
                    addressOf[client] = addressOf[entry.fd];
                    listening[client] = false;
                }
                next.push_back(entry);
                continue;
            }
            char buffer[512];
            const ssize_t n = read(entry.fd, buffer, sizeof(buffer));
            if (n <= 0) {
                close(entry.fd);
                continue;
            }
            std::string& text = pending[entry.fd];
            text.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = text.find('\n')) != std::string::npos;) {
                fake::Log(log, "line " + addressOf[entry.fd] + " " + text.substr(0, end));
                text.erase(0, end + 1);
            }
            next.push_back(entry);
        }
        watched.swap(next);
    }
}
