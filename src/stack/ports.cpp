#include "stack/ports.h"

#include <algorithm>

#include "sys/pure_socket.h"

const PortTable kWebPortTable = {80, 81, 8080, 8081, 8181, 82, 8282, 8082, 8083};
const PortTable kDatabasePortTable = {3306, 7188, 7189, 7190, 7191, 7192, 7193, 7194, 7195};

bool IsPortFree(const std::string& host, int port) {
    return !IsPortInUse(port, "127.0.0.1") && (host == "127.0.0.1" || !IsPortInUse(port, host)) &&
           CanListenOnPort(port);
}

int FindFreePort(const std::string& host, int preferred, const PortTable& table) {
    if (IsPortFree(host, preferred)) {
        return preferred;
    }
    const std::size_t tried = std::min(table.size(), kPortsTriedPerTable);
    for (std::size_t i = 0; i < tried; ++i) {
        if (IsPortFree(host, table[i])) {
            return table[i];
        }
    }
    return 0;
}
