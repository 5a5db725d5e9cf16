// What watching a process costs: the process-end watcher walks the process list twice a second
// for as long as the browser runs. Measures one full walk, one watcher poll (a walk that stops at
// the watched process) and a watcher's whole life for an id that does not exist.
//
//     bench_process_list [runs]
#include "bench_harness.h"

#include "sys/process_list.h"
#include "sys/wait_process_end.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Poll {
    std::uint32_t watched;
    bool seen;
};

// The watcher's own test: the watched id ends the walk.
int ComparePoll(std::uint32_t id, const char*, void* user) {
    auto* poll = static_cast<Poll*>(user);
    if (id == poll->watched) {
        poll->seen = true;
        return 0;
    }
    return 1;
}

int Collect(std::uint32_t id, const char*, void* user) {
    static_cast<std::vector<std::uint32_t>*>(user)->push_back(id);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 200;

    std::vector<std::uint32_t> ids;
    if (!EnumerateProcesses(&Collect, &ids) || ids.empty()) {
        std::printf("the process list cannot be walked here\n");
        return 1;
    }
    const std::string processes = std::to_string(ids.size()) + " processes";
    std::printf("%s\n", processes.c_str());

    std::vector<std::uint32_t> scratch;
    bench::Print("EnumerateProcesses, whole list",
                 bench::Measure(runs,
                                [&] {
                                    scratch.clear();
                                    EnumerateProcesses(&Collect, &scratch);
                                }),
                 processes);

    Poll middle{ids[ids.size() / 2], false};
    const bench::Figures found = bench::Measure(runs, [&] {
        middle.seen = false;
        EnumerateProcesses(&ComparePoll, &middle);
    });
    bench::Print("watcher poll, process in mid-list", found, middle.seen ? "found" : "not found");

    Poll missing{0xFFFFFFF1u, false};
    bench::Print("watcher poll, process gone",
                 bench::Measure(runs, [&] { EnumerateProcesses(&ComparePoll, &missing); }),
                 processes);

    bench::Print("CWaitProcessEnd life for a missing id",
                 bench::Measure(5,
                                [] {
                                    CWaitProcessEnd watcher(nullptr, 0xFFFFFFF1u);
                                    watcher.Start();
                                    watcher.GetHandle().Wait();
                                }),
                 "one walk + one 500 ms pause");
    return 0;
}
