// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-distinct CLI WORKDIR COUNTS...: the memory `linkvet-cli check
// --jobs 256` holds for each distinct URL of a test. For each count N (in
// rising order), two sites of N links in pages of 10 000: every URL distinct,
// and the same pages with only 1 000 distinct URLs (the baseline: the same
// links and pages). Every link goes to a loopback port that refuses at once,
// and the filter lists nothing, so the run is as fast as the probes and the
// output is empty. Prints both peak RSS figures, (distinct - baseline) / N in
// bytes a URL, and the growth from the previous count in bytes a URL.
//
// Below a few hundred thousand URLs the first figure is mostly the read-ahead
// window, which the distinct run fills (its links wait for probes) and the
// baseline does not: up to 65 536 links, whatever the size of the site. The
// growth between two counts beyond the window is what each distinct URL costs.
#include "BenchUtil.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kLinksPerPage = 10000;
constexpr std::size_t kBaselineDistinct = 1000;

// Writes the site: N links, URL k being the same text for k and k + distinct.
void WriteSite(const std::string& folder, std::size_t links, std::size_t distinct) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream page;
    for (std::size_t k = 0; k < links; ++k) {
        if (k % kLinksPerPage == 0) {
            char name[32];
            std::snprintf(name, sizeof(name), "/page%05zu.html", k / kLinksPerPage);
            page = std::ofstream(folder + name);
        }
        char link[96];
        std::snprintf(link, sizeof(link), "<a href=\"http://127.0.0.1/dir/page%08zu.html\">L</a>\n",
                      k % distinct);
        page << link;
    }
}

bench::SRun RunCheck(const std::string& cli, const std::string& site, int port,
                     const std::string& work) {
    const bench::SRun run =
        bench::Run({cli, "check", "--all", "--jobs", "256", "--per-host", "256", "--http-port",
                    std::to_string(port), "--filter", "000000000000000000000", site},
                   work + "/out", work + "/log");
    if (run.status != 0 || std::filesystem::file_size(work + "/out") != 0)
        bench::Fail("the check of " + site + " ended with status " + std::to_string(run.status));
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        bench::Fail("usage: linkvet-bench-distinct CLI WORKDIR COUNTS...");
    const std::string cli = argv[1], work = argv[2];
    // A bound socket that does not listen: the port is ours, and every
    // connection to it is refused at once.
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(local);
    if (::bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::getsockname(holder, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        bench::Fail("cannot hold a loopback port");
    const int port = ntohs(local.sin_port);

    std::size_t lastLinks = 0;
    double lastPeak = 0;
    for (int i = 3; i < argc; ++i) {
        const std::size_t links = bench::ParseCount(argv[i]);
        WriteSite(work + "/distinct", links, kBaselineDistinct);
        const bench::SRun base = RunCheck(cli, work + "/distinct", port, work);
        WriteSite(work + "/distinct", links, links);
        const bench::SRun all = RunCheck(cli, work + "/distinct", port, work);
        const double bytes = (all.peakMiB - base.peakMiB) * 1048576.0 / static_cast<double>(links);
        std::printf("  %8zu distinct URLs: peak RSS %6.1f MiB (%zu distinct: %6.1f MiB), "
                    "%5.1f bytes a distinct URL; %.1f s, %.0f links/s\n",
                    links, all.peakMiB, kBaselineDistinct, base.peakMiB, bytes, all.seconds,
                    static_cast<double>(links) / all.seconds);
        if (lastLinks > 0 && links > lastLinks)
            std::printf(
                "  %8zu to %zu distinct URLs: %5.1f bytes a distinct URL more\n", lastLinks, links,
                (all.peakMiB - lastPeak) * 1048576.0 / static_cast<double>(links - lastLinks));
        lastLinks = links;
        lastPeak = all.peakMiB;
    }
    std::filesystem::remove_all(work + "/distinct");
    ::close(holder);
    return 0;
}
