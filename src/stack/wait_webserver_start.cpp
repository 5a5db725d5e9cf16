#include "stack/wait_webserver_start.h"

#include "stack/stack_trace.h"
#include "sys/pure_socket.h"
#include "sys/trace.h"

namespace {

void SendText(CQXPureSocket& socket, const std::string& text) {
    socket.Send(text.data(), static_cast<int>(text.size()), 0);
}

}  // namespace

CWaitWebserverStart::CWaitWebserverStart(int port, const std::string& host)
    : port_(port), host_(host) {}

CWaitWebserverStart::~CWaitWebserverStart() {
    StopAndWait();
}

void CWaitWebserverStart::OnKill() {
    stop_ = 1;
    CThread::OnKill();
}

std::uint32_t CWaitWebserverStart::Run() {
    CQXPureSocket socket;
    socket.Create(2, 1, 0);
    while (stop_ == 0) {
        try {
            if (Attempt(socket)) {
                answered_ = true;
                stop_ = 1;
            }
        } catch (const std::exception& error) {
            TraceLog(kStackTracePath, "Error webserver connect: %s\n", error.what());
        }
        if (stop_ != 0 || !Pause(kIntervalMs)) {
            break;
        }
    }
    return 0;
}

bool CWaitWebserverStart::Attempt(CQXPureSocket& socket) {
    if (!socket.IsValid()) {
        socket.Create(2, 1, 0);
    }
    if (!socket.Connect(host_, port_)) {
        TraceLog(kStackTracePath, "Try connect: %s\n",
                 SocketErrorText(socket.GetLastError()).c_str());
        // A fresh socket for the next attempt too: Linux does not promise that a refused socket
        // connects again, and under Wine its next attempt fails with WSAECONNABORTED.
        socket.Close();
        return false;
    }
    TraceLog(kStackTracePath, "Connected to %s:%d\n", host_.c_str(), port_);
    SendText(socket, "GET / HTTP/1.0\n");
    SendText(socket, "Host: " + host_ + "\n");
    SendText(socket, "\n");
    TraceLog(kStackTracePath, "Sended\n");
    const std::string line = socket.ReceiveLine();
    socket.Close();
    if (CThread::StopRequested()) {
        // The receive was cut short by Kill: no answer at all.
        return false;
    }
    TraceLog(kStackTracePath, "Receive: %s\n", line.c_str());
    // A listener that accepts and closes without a status line is not a web server that is
    // ready (another program may hold the port until the server takes it).
    return !line.empty() && line.find("HTTP/1.1 404") == std::string::npos;
}
