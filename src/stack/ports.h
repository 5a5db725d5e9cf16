// The choice of the web and database ports: the configured port when it is free, else the first
// free one among the first entries of a fallback table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Ports to fall back on, in order of preference.
using PortTable = std::vector<int>;

// Only this many entries of a table are ever tried; the rest are kept for reference.
constexpr std::size_t kPortsTriedPerTable = 4;

// 80, 81, 8080, 8081, then 8181, 82, 8282, 8082, 8083.
extern const PortTable kWebPortTable;
// 3306, 7188, 7189, 7190, then 7191 to 7195.
extern const PortTable kDatabasePortTable;

// Whether the servers can have `port`: nothing answers on it at 127.0.0.1 (where the servers are
// reached and the database is stopped) nor at `host`, and a listener on every address could be
// made (the servers may bind to the wildcard or to the host's address).
bool IsPortFree(const std::string& host, int port);

// `preferred` when it is free (IsPortFree); otherwise the first free one of the table's first
// kPortsTriedPerTable entries; 0 when every one of them is taken. The socket library must be
// started (WinsockGuard).
int FindFreePort(const std::string& host, int preferred, const PortTable& table);
