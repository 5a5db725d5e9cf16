// A process that does nothing for a while, for tests that list, look up, watch and kill
// processes.
//
//     idle_process <ready file> <milliseconds>
//
// Creates the ready file once it runs (the test waits for it: by then the system lists the
// process under its executable name), then idles for the given time, or until it is killed when
// the time is 0, and exits with 0.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const unsigned long ms = std::strtoul(argv[2], nullptr, 10);
    std::ofstream(argv[1]) << "ready\n";
    if (ms == 0) {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::hours(1));
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return 0;
}
