// Linux only: named endpoints on abstract local sockets, the stand-in for window captions and
// named shared memory. An abstract socket has no file: it vanishes with its process, also after a
// crash. Names carry the user id, and a peer of another user is turned away.
#pragma once

#include <QLocalServer>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

// The per-user full name of an endpoint: "trailhost-<uid>/" + text.
std::string UserSocketName(const std::string& text);

class LocalEndpoint {
public:
    LocalEndpoint();
    ~LocalEndpoint();
    LocalEndpoint(const LocalEndpoint&) = delete;
    LocalEndpoint& operator=(const LocalEndpoint&) = delete;

    // Listens under the full name `name`; every line a peer sends reaches `onLine` on the UI
    // thread. The server is a child of `parent` (it goes with it). False when the name is taken.
    bool Listen(const std::string& name, std::function<void(const std::string&)> onLine,
                QObject* parent = nullptr);

    void Close();

private:
    QPointer<QLocalServer> server_;
};

// Connects to the endpoint `name` and, when `line` is not empty, sends it. True when connected.
bool SendToEndpoint(const std::string& name, const std::string& line);

// The full names of the endpoints that exist now and begin with `prefix`.
std::vector<std::string> FindEndpoints(const std::string& prefix);
