// linkvet-bench-links CLI PAGE: runs `linkvet-cli links PAGE` with its output to
// /dev/null and prints its wall time, throughput and peak memory (ru_maxrss of
// the child). Fails only when the run itself fails.
#include "BenchUtil.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char** argv) {
    if (argc != 3)
        bench::Fail("usage: linkvet-bench-links CLI PAGE");
    std::string cli = argv[1], command = "links", page = argv[2];
    char* args[] = {cli.data(), command.data(), page.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, cli.c_str(), &actions, nullptr, args, environ) != 0)
        bench::Fail("cannot start " + cli);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::Fail("linkvet-cli links did not end with status 0");
    const double megabytes = static_cast<double>(std::filesystem::file_size(page)) / 1e6;
    std::printf("  %.0f MB page: %6.2f s (%5.1f MB/s), peak RSS %5.1f MiB (goal < 50)\n", megabytes,
                took.count(), megabytes / took.count(),
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
