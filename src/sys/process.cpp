#include "sys/process.h"

#include <set>

Process::Process() = default;
Process::~Process() = default;
Process::Process(const Process&) = default;
Process& Process::operator=(const Process&) = default;
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;
Process::Process(std::shared_ptr<Hold> hold) : hold_(std::move(hold)) {}

bool Process::IsValid() const {
    return hold_ != nullptr;
}

std::vector<std::uint32_t> DescendantsOf(const std::vector<ProcessEntry>& table,
                                         std::uint32_t rootId, std::uint64_t rootStart) {
    // The process that has the root's id now, when it is not the root: its children are its own.
    std::uint64_t newerHolderStart = 0;
    for (const ProcessEntry& entry : table) {
        if (entry.id != rootId) {
            continue;
        }
        if (rootStart == 0) {
            rootStart = entry.startTime;
        } else if (entry.startTime != rootStart) {
            newerHolderStart = entry.startTime;
        }
    }

    struct Node {
        std::uint32_t id;
        std::uint64_t start;
        std::uint64_t before;  // children must have started before this (0: no limit)
    };
    std::vector<Node> nodes{{rootId, rootStart, newerHolderStart}};
    std::set<std::uint32_t> seen{rootId};
    std::vector<std::uint32_t> found;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const Node node = nodes[i];
        for (const ProcessEntry& entry : table) {
            if (entry.parent != node.id || seen.count(entry.id) != 0) {
                continue;
            }
            // A start time that cannot be read is no proof of descent, unless the parent's
            // cannot be read either (then the parent id is all there is).
            const bool startKnown = entry.startTime != 0;
            if (node.start != 0 && (!startKnown || entry.startTime < node.start)) {
                continue;
            }
            if (node.before != 0 && (!startKnown || entry.startTime >= node.before)) {
                continue;
            }
            seen.insert(entry.id);
            found.push_back(entry.id);
            nodes.push_back({entry.id, entry.startTime, 0});
        }
    }
    return found;
}
