// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-check CLI WORKDIR LINKS...: runs `linkvet-cli check` on a page of
// LINKS links against a zero-latency loopback server, and compares the wall time
// with the pace of the step timer: one 100 ms step per link plus the step that
// ends the test. Prints the ratio and the peak memory of the checking process.
#include "BenchUtil.h"
#include "support/CLoopbackServer.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

bench::SRun RunCheck(const std::string& cli, const std::string& page, int port,
                     const std::string& out) {
    return bench::Run({cli, "check", "--http-port", std::to_string(port), "--filter",
                       "111111111111111111111", page},
                      out, "/dev/null");
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

        bench::SRun run = RunCheck(cli, page, server.Port(), work + "/out");
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
