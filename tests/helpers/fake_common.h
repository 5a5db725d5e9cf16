// Shared bits of the fake servers and browsers that the tests start in place of the real
// programs: a log file, plain blocking sockets and small text helpers. Header-only, so that each
// helper stays one program.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
using fake_socket = SOCKET;
constexpr fake_socket kNoSocket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using fake_socket = int;
constexpr fake_socket kNoSocket = -1;
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace fake {

inline void StartSockets() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

inline void CloseSocket(fake_socket s) {
#ifdef _WIN32
    closesocket(s);
#else
    close(s);
#endif
}

// A listening socket on 127.0.0.1 (and every other local address) at `port`.
inline fake_socket Listen(int port) {
    fake_socket s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == kNoSocket) {
        return kNoSocket;
    }
#ifndef _WIN32
    int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(s, 16) != 0) {
        CloseSocket(s);
        return kNoSocket;
    }
    return s;
}

inline fake_socket Connect(int port) {
    fake_socket s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        CloseSocket(s);
        return kNoSocket;
    }
    return s;
}

inline void SendAll(fake_socket s, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const int n = send(s, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

// Everything the peer sends until it closes, or until `stop` is found in what arrived.
inline std::string ReceiveUntil(fake_socket s, const std::string& stop) {
    std::string text;
    char buffer[1024];
    for (;;) {
        const int n = recv(s, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return text;
        }
        text.append(buffer, static_cast<size_t>(n));
        if (!stop.empty() && text.find(stop) != std::string::npos) {
            return text;
        }
    }
}

// An HTTP request head: everything up to its empty line, whether lines end in CR LF or LF alone.
inline std::string ReceiveRequest(fake_socket s) {
    std::string text;
    char c;
    while (recv(s, &c, 1, 0) == 1) {
        text += c;
        const size_t n = text.size();
        if ((n >= 2 && text.compare(n - 2, 2, "\n\n") == 0) ||
            (n >= 4 && text.compare(n - 4, 4, "\r\n\r\n") == 0)) {
            break;
        }
    }
    return text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Appends one line to the log and flushes it at once: the test reads it while we run.
inline void Log(const std::string& path, const std::string& line) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << line << "\n";
}

inline std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

inline std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Logs the arguments, the working folder and the variables the launcher sets for its children.
inline void LogStart(const std::string& log, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        Log(log, std::string("arg=") + argv[i]);
    }
    for (const char* name :
         {"TRH_EDITION", "PHPRC", "TRH_SERVER_SOFTWARE", "TRH_SERVER_APPROOT", "TRH_SERVER_DOCROOT",
          "TRH_DB_PATH", "TRH_TEMP_FOLDER", "TRH_APACHE_PORT", "TRH_BASE_URL", "TRH_MYSQL_PORT",
          "MOZ_NO_REMOTE", "PATH"}) {
        if (std::getenv(name) != nullptr) {
            Log(log, std::string("env ") + name + "=" + Env(name));
        }
    }
}

inline std::string ValueOf(const std::string& argument, const std::string& prefix) {
    if (argument.compare(0, prefix.size(), prefix) != 0) {
        return "";
    }
    std::string value = argument.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// The value of the first argument that begins with `prefix`; empty when there is none.
inline std::string Argument(int argc, char** argv, const std::string& prefix) {
    for (int i = 1; i < argc; ++i) {
        const std::string value = ValueOf(argv[i], prefix);
        if (!value.empty()) {
            return value;
        }
    }
    return "";
}

// The rest of the line after `key` in a configuration text; empty when the key is not there.
inline std::string Setting(const std::string& text, const std::string& key) {
    const std::string::size_type at = text.find(key);
    if (at == std::string::npos) {
        return "";
    }
    const std::string::size_type from = at + key.size();
    return text.substr(from, text.find_first_of("\r\n", from) - from);
}

// Milliseconds since the epoch: comparable between the processes of one machine.
inline std::string EpochMs() {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count());
}

// Fetches an http:// URL with one HTTP/1.0 request and logs "url ..." and the answer's status
// line (or "connect failed"). Returns the whole answer, head and body.
inline std::string FetchAndLog(const std::string& log, const std::string& url) {
    Log(log, "url " + url);
    const std::string rest = url.substr(7);
    const std::string hostPort = rest.substr(0, rest.find('/'));
    const std::string path = rest.size() > hostPort.size() ? rest.substr(hostPort.size()) : "/";
    const auto colon = hostPort.find(':');
    const int port = colon == std::string::npos ? 80 : std::atoi(hostPort.c_str() + colon + 1);
    StartSockets();
    const fake_socket s = Connect(port);
    if (s == kNoSocket) {
        Log(log, "connect failed");
        return "";
    }
    SendAll(s, "GET " + path + " HTTP/1.0\r\nHost: " + hostPort + "\r\n\r\n");
    const std::string answer = ReceiveUntil(s, "");
    Log(log, "status " + answer.substr(0, answer.find_first_of("\r\n")));
    CloseSocket(s);
    return answer;
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace fake
