// The readiness probe: a worker thread that asks the web server for its start page until the
// server gives an answer that is not "HTTP/1.1 404".
#pragma once

#include "sys/thread.h"

#include <atomic>
#include <cstdint>
#include <string>

// Every 200 ms the probe connects to host:port, sends "GET / HTTP/1.0", "Host: <host>" and an
// empty line (bare line feeds), and reads the status line. Any answer counts as ready, also an
// empty one (the server closed the connection), except a status line holding "HTTP/1.1 404"
// (exact case): a server that is still coming up. The thread ends when the server is ready; the
// start sequence waits on its handle and kills it when the time-out comes first. The socket
// library must stay started while the probe runs.
class CWaitWebserverStart : public CThread {
public:
    CWaitWebserverStart(int port, const std::string& host);
    ~CWaitWebserverStart() override;

    static constexpr unsigned long kIntervalMs = 200;

    // Whether the server gave a ready answer (false after a Kill that came first).
    bool Answered() const { return answered_; }

protected:
    std::uint32_t Run() override;
    void OnKill() override;

private:
    // One connection attempt; true when the server's answer means it is ready.
    bool Attempt(class CQXPureSocket& socket);

    // 1 once the server has answered, or Kill has asked the probe to stop.
    std::atomic<std::uint32_t> stop_{0};
    std::atomic<bool> answered_{false};
    const int port_;
    const std::string host_;
};
