// Linux only: abstract local sockets through QLocalServer, checked for the peer's user.
#include "app/local_endpoint_qt.h"

#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr int kConnectWaitMs = 2000;

bool PeerIsSameUser(QLocalSocket* socket) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    const int fd = static_cast<int>(socket->socketDescriptor());
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == getuid();
}

}  // namespace

std::string UserSocketName(const std::string& text) {
    return "trailhost-" + std::to_string(getuid()) + "/" + text;
}

LocalEndpoint::LocalEndpoint() = default;

LocalEndpoint::~LocalEndpoint() {
    Close();
}

bool LocalEndpoint::Listen(const std::string& name, std::function<void(const std::string&)> onLine,
                           QObject* parent) {
    Close();
    auto* server = new QLocalServer(parent);
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server->listen(QString::fromStdString(name))) {
        delete server;
        return false;
    }
    server_ = server;
    QObject::connect(server, &QLocalServer::newConnection, server, [server, onLine] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            if (!PeerIsSameUser(socket)) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto readLines = [socket, onLine] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine().trimmed();
                    onLine(line.toStdString());
                }
            };
            QObject::connect(socket, &QLocalSocket::readyRead, socket, readLines);
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [socket, readLines] {
                readLines();
                socket->deleteLater();
            });
            // Lines that came with the connection itself.
            readLines();
        }
    });
    return true;
}

void LocalEndpoint::Close() {
    delete server_.data();
}

bool SendToEndpoint(const std::string& name, const std::string& line) {
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(QString::fromStdString(name));
    if (!socket.waitForConnected(kConnectWaitMs)) {
        return false;
    }
    if (!line.empty()) {
        socket.write(QByteArray::fromStdString(line + "\n"));
        socket.waitForBytesWritten(kConnectWaitMs);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kConnectWaitMs);
    }
    return true;
}

std::vector<std::string> FindEndpoints(const std::string& prefix) {
    // The kernel lists every socket with its address; abstract ones begin with '@'. Fields are
    // Num RefCount Protocol Flags Type St Inode, then the address, which may hold blanks.
    std::ifstream in("/proc/net/unix");
    std::string line;
    std::getline(in, line);
    std::vector<std::string> found;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string skip;
        for (int i = 0; i < 7 && fields >> skip; ++i) {
        }
        std::string address;
        std::getline(fields >> std::ws, address);
        if (address.size() < 2 || address[0] != '@') {
            continue;
        }
        address.erase(0, 1);
        if (address.compare(0, prefix.size(), prefix) == 0 && seen.insert(address).second) {
            found.push_back(address);
        }
    }
    return found;
}
