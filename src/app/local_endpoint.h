// Linux only: named endpoints of this user, the stand-in for window captions and named shared
// memory. An endpoint is a socket file in the user's private runtime folder
// ($XDG_RUNTIME_DIR/trailhost, used only while it is the user's own and closed to others), or else
// an abstract socket whose name holds the user id (no file: it vanishes with its process, also
// after a crash). Either way a peer of another user counts for nothing on both sides: a listener
// serves no such peer, and a client does not count such a listener as reached. Abstract names are
// open to every user, so one that another user holds already does not keep this user from
// listening: the endpoint then takes the name with a random suffix, which the lookups find too.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class LocalEndpoint {
public:
    LocalEndpoint();
    ~LocalEndpoint();
    LocalEndpoint(const LocalEndpoint&) = delete;
    LocalEndpoint& operator=(const LocalEndpoint&) = delete;

    // Listens as `name`; every line a peer of this user sends reaches `onLine` on the UI thread.
    // False when an endpoint of this user holds the name already, or when no socket can be made.
    bool Listen(const std::string& name, std::function<void(const std::string&)> onLine);

    void Close();

    // Where it listens, as FindEndpoints lists it; empty when it does not listen.
    const std::string& Address() const { return address_; }

private:
    struct Server;
    std::unique_ptr<Server> server_;
    std::string address_;
};

// The address an endpoint named `name` listens on first: the socket file's path, or "@" and the
// abstract name. A name that would not fit into a socket address is cut and ends in a hash of
// the whole, so that long names neither fail nor meet.
std::string EndpointAddress(const std::string& name);

// Sends `line` (when not empty) to this user's endpoint `name`. True when a listener of this user
// was reached.
bool SendToEndpoint(const std::string& name, const std::string& line);

// The addresses of this user's endpoints whose names begin with `prefix` and that a listener of
// this user holds now.
std::vector<std::string> FindEndpoints(const std::string& prefix);

// Sends `line` (when not empty) to the endpoint at `address`; true when a listener of this user
// was reached there.
bool SendToAddress(const std::string& address, const std::string& line);
