// linkvet-bench-check CLI WORKDIR LINKS...: runs `linkvet-cli check` on a page of
// LINKS links against a zero-latency loopback server, and compares the wall time
// with the pace of the step timer: one 100 ms step per link plus the step that
// ends the test. Prints the ratio and the peak memory of the checking process.
#include "BenchUtil.h"
#include "support/CLoopbackServer.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct SRun {
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

SRun RunCheck(const std::string& cli, const std::string& page, int port, const std::string& out) {
    std::vector<std::string> args = {
        cli, "check", "--http-port", std::to_string(port), "--filter", "111111111111111111111",
        page};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    SRun run;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        bench::Fail("cannot start " + cli);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        bench::Fail("usage: linkvet-bench-check CLI WORKDIR LINKS...");
    const std::string cli = argv[1], work = argv[2];
    CLoopbackServer server("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    for (int i = 3; i < argc; ++i) {
        const std::size_t links = bench::ParseCount(argv[i]);
        const std::string page = work + "/check-" + std::to_string(links) + ".htm";
        std::ofstream html(page);
        for (std::size_t k = 0; k < links; ++k)
            html << "<a href=\"http://127.0.0.1/page" << k << ".html\">Page " << k << "</a>\n";
        html.close();

        SRun run = RunCheck(cli, page, server.Port(), work + "/out");
        std::ifstream rows(work + "/out");
        std::size_t listed = 0;
        for (std::string line; std::getline(rows, line);)
            ++listed;
        if (run.status != 1 || listed != links)
            bench::Fail("check of " + std::to_string(links) + " links listed " +
                        std::to_string(listed) + " rows, exit status " +
                        std::to_string(run.status));
        const double ideal = static_cast<double>(links + 1) * 0.1;
        std::printf("  %5zu links: %7.2f s (ideal %7.2f s), ratio %.3f, peak RSS %5.1f MiB\n",
                    links, run.seconds, ideal, run.seconds / ideal, run.peakMiB);
    }
    return 0;
}
