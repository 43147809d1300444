// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-jobs CLI WORKDIR [CERT KEY]: `linkvet-cli check --jobs 64` on a
// site of 200 pages and 10 000 links, served on port 80 of loopback addresses.
// It must run in a network namespace of its own (bench/run starts it under
// `unshare -rn`).
//
//   127.0.0.1-4  fast hosts: 200, 301 (no Location), 404 or 500, as the path says
//   127.0.0.5    closes every connection without a reply
//   127.0.0.6    nothing listens: refused
//   127.0.0.7    silent: never answers
//
// About 6 % of the links repeat an earlier URL. Prints the wall time, links a
// second, the peak RSS and CPU time of the check and the most connections open
// at once to each host. The wall time ends with the time-out of the last silent
// link; the time of the server's last reply shows the pace of the rest.
//
// With CERT and KEY (PEM, for IP:127.0.0.1-7), the fast hosts also answer the
// same over TLS on port 443, and `check --current-web --jobs 64` runs on the
// same pages with half the fast links made https: its figures next to the plain
// ones, and its rows must be the plain rows once https:// reads http://.
//
// Then the same with 100 --exclude-file patterns that match none of the links:
// the same rows and log, and its CPU time and pace next to the plain ones.
//
// Last, --jobs 64 must give the same rows as --jobs 1 on the site's first 1 000
// links (20 pages, one of them with a silent link).
#include "BenchSite.h"
#include "BenchUtil.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

bench::SRun RunCheck(const std::string& cli, const std::string& site, const std::string& jobs,
                     const std::string& out, bool bCurrentWeb = false,
                     const std::string& excludeFile = "") {
    std::vector<std::string> args = {cli, "check",  "--all", "--recurse", "--timeout",
                                     "5", "--jobs", jobs,    "--filter",  "111111111111111111111",
                                     site};
    if (bCurrentWeb)
        args.insert(args.begin() + 2, "--current-web");
    if (!excludeFile.empty())
        args.insert(args.begin() + 2, {"--exclude-file", excludeFile});
    return bench::Run(args, out, out + ".log");
}

// The file, less its lines with a date when `bDated`.
std::string Slurp(const std::string& path, bool bDated = false) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    for (std::string line; std::getline(in, line);)
        if (!bDated || line.find(" of test") == std::string::npos)
            text += line + "\n";
    return text;
}

// Rows as the plain test would list them: https:// read as http://; counts by reason.
std::string AsPlain(const std::string& rows, std::map<std::string, int>& byReason) {
    std::string plain;
    for (std::size_t at = 0, end; at < rows.size(); at = end + 1) {
        end = rows.find('\n', at);
        std::string line = rows.substr(at, end - at);
        if (line.starts_with("https://"))
            line.erase(4, 1);
        const std::size_t tab = line.find('\t');
        ++byReason[line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1)];
        plain += line + "\n";
    }
    return plain;
}

void PrintServer(const CSiteServer& server, double cpuBefore) {
    std::printf("  most connections at once per host:");
    for (int h = 1; h <= kHosts; ++h)
        std::printf(" 127.0.0.%d: %d", h, server.MostAtOnce(h));
    std::printf("\n  server thread: %.2f s CPU", server.CpuSeconds() - cpuBefore);
    if (server.TlsReplies() + server.TlsFailed() > 0)
        std::printf(", %d TLS replies (%d resumed sessions), %d failed handshakes",
                    server.TlsReplies(), server.Resumed(), server.TlsFailed());
    std::printf("\n");
}

} // namespace

// `check --jobs 64` on the site, with its figures on one line after `label`;
// `busy` is when the server sent its last reply.
bench::SRun TimedSiteRun(const std::string& cli, const std::string& site, const std::string& out,
                         bool bCurrentWeb, const CSiteServer& server, long links,
                         const std::string& label, double& busy,
                         const std::string& excludeFile = "") {
    const auto start = std::chrono::steady_clock::now();
    const bench::SRun run = RunCheck(cli, site, "64", out, bCurrentWeb, excludeFile);
    busy = SecondsSince(start, server.LastReply());
    if (run.status != 1)
        bench::Fail(label + ": the check ended with status " + std::to_string(run.status));
    std::printf("  %s: %.2f s, %.0f links/s, peak RSS %.1f MiB, %.2f s CPU; the last reply "
                "%.2f s in\n",
                label.c_str(), run.seconds, static_cast<double>(links) / run.seconds, run.peakMiB,
                run.cpuSeconds, busy);
    return run;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5)
        bench::Fail("usage: linkvet-bench-jobs CLI WORKDIR [CERT KEY]");
    const std::string cli = argv[1], work = argv[2], site = work + "/site";
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> tls(nullptr, SSL_CTX_free);
    if (argc == 5) {
        tls.reset(SSL_CTX_new(TLS_server_method()));
        if (!tls || SSL_CTX_use_certificate_chain_file(tls.get(), argv[3]) != 1 ||
            SSL_CTX_use_PrivateKey_file(tls.get(), argv[4], SSL_FILETYPE_PEM) != 1)
            bench::Fail("cannot load the certificate and key");
    }
    WriteSite(site, kPages, false);
    WriteSite(work + "/first", 1000 / kLinksPerPage, false);
    CSiteServer server(tls.get());
    const long links = static_cast<long>(kPages) * kLinksPerPage;

    double busy = 0;
    const bench::SRun run = TimedSiteRun(cli, site, work + "/out64", false, server, links,
                                         std::to_string(links) + " links, --jobs 64", busy);
    PrintServer(server, 0);

    {
        // 100 patterns of the kinds users write, none matching a link of the site:
        // the same rows, and the cost of matching every link against them. Best of
        // three runs each, taken in turn.
        const std::string patterns = work + "/skip.txt";
        std::ofstream file(patterns, std::ios::binary);
        for (int i = 0; i < 25; ++i)
            file << "^https?://10\\.1\\." << i << "\\.\n(?i)/private" << i << "/\n\\.pdf" << i
                 << "$\n^http://[^/]*\\.example" << i << "\\.org(:[0-9]+)?/\n";
        file.close();
        double plainCpu = run.cpuSeconds, plainBusy = busy, skipCpu = 1e9, skipBusy = 1e9;
        for (int round = 0; round < 3; ++round) {
            double roundBusy = 0;
            const bench::SRun skip =
                TimedSiteRun(cli, site, work + "/skip64", false, server, links,
                             "with 100 --exclude-file patterns", roundBusy, patterns);
            skipCpu = std::min(skipCpu, skip.cpuSeconds);
            skipBusy = std::min(skipBusy, roundBusy);
            if (Slurp(work + "/skip64") != Slurp(work + "/out64") ||
                Slurp(work + "/skip64.log", true) != Slurp(work + "/out64.log", true))
                bench::Fail("100 patterns that match nothing changed the rows or the log");
            const bench::SRun again = TimedSiteRun(cli, site, work + "/out64", false, server, links,
                                                   "without patterns", roundBusy);
            plainCpu = std::min(plainCpu, again.cpuSeconds);
            plainBusy = std::min(plainBusy, roundBusy);
        }
        std::printf("  100 patterns (best of 3 each): %.2f s CPU against %.2f s (%+.1f %%), the "
                    "last reply %.2f s in against %.2f s (%+.1f %%); the same rows and log\n",
                    skipCpu, plainCpu, (skipCpu / plainCpu - 1) * 100, skipBusy, plainBusy,
                    (skipBusy / plainBusy - 1) * 100);
    }

    if (tls) {
        const int https = WriteSite(site, kPages, true);
        server.ResetCounts();
        const double cpuBefore = server.CpuSeconds();
        double webBusy = 0;
        const bench::SRun web =
            TimedSiteRun(cli, site, work + "/web64", true, server, links,
                         "--current-web, " + std::to_string(https) + " of them https", webBusy);
        std::printf("  to plain http: %.2fx the time (%.2fx to the last reply), RSS %+.1f MB\n",
                    web.seconds / run.seconds, webBusy / busy,
                    (web.peakMiB - run.peakMiB) * 1.048576);
        PrintServer(server, cpuBefore);

        std::map<std::string, int> plainBy, webBy;
        const std::string rows = AsPlain(Slurp(work + "/out64"), plainBy);
        const bool bSame = AsPlain(Slurp(work + "/web64"), webBy) == rows;
        if (plainBy != webBy || rows.empty()) {
            for (const auto& [reason, count] : plainBy)
                std::fprintf(stderr, "  plain: %5d %s\n", count, reason.c_str());
            for (const auto& [reason, count] : webBy)
                std::fprintf(stderr, "  --current-web: %5d %s\n", count, reason.c_str());
            bench::Fail("--current-web lists other counts by reason than plain http");
        }
        std::printf("  --current-web: %s as plain http, https:// read as http://\n",
                    bSame ? "the same rows" : "the same counts by reason (but not rows)");
    }

    const bench::SRun fast = RunCheck(cli, work + "/first", "64", work + "/first64");
    const bench::SRun paced = RunCheck(cli, work + "/first", "1", work + "/first1");
    const std::string rows = Slurp(work + "/first64");
    if (rows != Slurp(work + "/first1") || rows.empty() ||
        Slurp(work + "/first64.log", true) != Slurp(work + "/first1.log", true))
        bench::Fail("--jobs 64 and --jobs 1 differ on the first 1000 links");
    std::printf(
        "  first 1000 links: the same rows and log with --jobs 64 (%.2f s) and --jobs 1 (%.2f s)\n",
        fast.seconds, paced.seconds);
    return 0;
}
