// Writes what it was started with to the file named by its first argument, as zero-separated
// fields: process id, current folder, the value of TRH_LAUNCH_PROBE, whether it leads a process
// group of its own ("own", "shared"; "-" on Windows), then every further argument.
// With TRH_LAUNCH_HOLD set (not empty), it then stays until that file exists.
#include <cstdlib>

#include "launch_common.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    std::string record = std::to_string(launchhelper::OwnId());
    record += '\0';
    record += std::filesystem::current_path().string();
    record += '\0';
    const char* probe = std::getenv("TRH_LAUNCH_PROBE");
    record += probe != nullptr ? probe : "<unset>";
    record += '\0';
#ifdef _WIN32
    record += "-";
#else
    record += getpgid(0) == getpid() ? "own" : "shared";
#endif
    for (int i = 2; i < argc; ++i) {
        record += '\0';
        record += argv[i];
    }
    launchhelper::WriteWhole(argv[1], record);

    const char* hold = std::getenv("TRH_LAUNCH_HOLD");
    if (hold != nullptr && *hold != '\0') {
        const auto end = std::chrono::steady_clock::now() + launchhelper::kLifetime;
        while (!std::filesystem::exists(hold) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return 0;
}
