#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

namespace bench {

constexpr int kRepetitions = 5;

/// Runs `work` once to warm caches, then `reps` more times; returns the fastest
/// run in seconds.
template <typename Work> double BestOf(int reps, Work&& work) {
    work();
    double best = 1e300;
    for (int i = 0; i < reps; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

/// The peak resident set of this process so far, in MiB (ru_maxrss is in KiB).
inline double PeakRssMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

inline std::size_t ParseCount(const char* text) {
    return static_cast<std::size_t>(std::strtoull(text, nullptr, 10));
}

/// Reports a wrong result and ends the program with a failure status.
[[noreturn]] inline void Fail(const std::string& message) {
    std::fprintf(stderr, "FAILED: %s\n", message.c_str());
    std::exit(1);
}

} // namespace bench
