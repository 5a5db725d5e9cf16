// A small timing harness for the benchmarks (steady clock, both platforms): runs a piece of work
// repeatedly and prints the spread of its durations.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct Figures {
    int runs = 0;
    double minMs = 0;
    double medianMs = 0;
    double meanMs = 0;
    double maxMs = 0;
};

// The spread of a set of durations in milliseconds.
inline Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    Figures f;
    f.runs = static_cast<int>(ms.size());
    if (!ms.empty()) {
        f.minMs = ms.front();
        f.medianMs = ms[ms.size() / 2];
        f.meanMs = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
        f.maxMs = ms.back();
    }
    return f;
}

// Times `runs` calls of `work`, each after an untimed `setup`, following one call of both that
// warms caches up.
template <typename Setup, typename Work>
Figures MeasureAfter(int runs, Setup setup, Work work) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i <= runs; ++i) {
        setup();
        const Clock::time_point start = Clock::now();
        work();
        if (i > 0) {
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    return Summarise(std::move(ms));
}

// Times `runs` calls of `work` after one call that warms caches up.
template <typename Work>
Figures Measure(int runs, Work work) {
    return MeasureAfter(
        runs, [] {}, work);
}

inline void Print(const std::string& label, const Figures& f, const std::string& note = "") {
    std::printf("%-44s runs %4d  min %9.3f  median %9.3f  mean %9.3f  max %9.3f ms  %s\n",
                label.c_str(), f.runs, f.minMs, f.medianMs, f.meanMs, f.maxMs, note.c_str());
}

}  // namespace bench
