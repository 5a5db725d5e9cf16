// Tells which local ports still take connections, for a stop sequence's shutdown command:
//
//     port_probe <log> <port>...
//
// The stop ends the servers before it starts its shutdown commands, so their ports should be
// closed. A server that was just terminated may take a moment to let go of its port: the ports
// that still answer are tried together again for up to two seconds, far less than the pause that
// follows the shutdown commands before the launcher ends (and with it, whatever its job still
// holds). Logs "port <n> closed" or "port <n> answers" for each port, then "done".
#include <vector>

#include "fake_common.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string log = argv[1];
    std::vector<int> ports;
    for (int i = 2; i < argc; ++i) {
        ports.push_back(std::atoi(argv[i]));
    }
    fake::StartSockets();
    std::vector<bool> answers(ports.size(), true);
    for (int round = 0; round < 40; ++round) {
        bool any = false;
        for (std::size_t n = 0; n < ports.size(); ++n) {
            if (answers[n]) {
                const fake_socket s = fake::Connect(ports[n]);
                answers[n] = s != kNoSocket;
                if (answers[n]) {
                    fake::CloseSocket(s);
                    any = true;
                }
            }
        }
        if (!any) {
            break;
        }
        fake::SleepMs(50);
    }
    for (std::size_t n = 0; n < ports.size(); ++n) {
        fake::Log(log, "port " + std::to_string(ports[n]) + (answers[n] ? " answers" : " closed"));
    }
    fake::Log(log, "done");
    return 0;
}
