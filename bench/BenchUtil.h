// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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

/// What one run of a program came to: wall time, CPU time (user and system),
/// its peak resident set, and its exit status (-1 when a signal ended it).
struct SRun {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    int status = -1;
};

/// Runs `args` (the program first) with stdout and stderr in the named files
/// and waits for it.
inline SRun Run(std::vector<std::string> args, const std::string& out, const std::string& err) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        Fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    SRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const timeval& used : {usage.ru_utime, usage.ru_stime})
        run.cpuSeconds +=
            static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_usec) / 1e6;
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace bench
