// Tells which local ports still take connections, for a stop sequence's shutdown command:
//
//     port_probe <log> <port>...
//
// The stop ends the servers before it starts its shutdown commands, so their ports should be
// closed. A server that was just terminated may take a moment to let go of its port: a port that
// still answers is tried again for up to two seconds, far less than the pause that follows the
// shutdown commands before the launcher ends (and with it, whatever its job still holds). Logs
// "port <n> closed" or "port <n> answers" for each port, then "done".
#include "fake_common.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string log = argv[1];
    fake::StartSockets();
    for (int i = 2; i < argc; ++i) {
        const int port = std::atoi(argv[i]);
        bool answers = true;
        for (int tries = 0; answers && tries < 40; ++tries) {
            const fake_socket s = fake::Connect(port);
            answers = s != kNoSocket;
            if (answers) {
                fake::CloseSocket(s);
                fake::SleepMs(50);
            }
        }
        fake::Log(log, "port " + std::to_string(port) + (answers ? " answers" : " closed"));
    }
    fake::Log(log, "done");
    return 0;
}
