// linkvet-bench-jobs CLI WORKDIR: `linkvet-cli check --jobs 64` on a site of 200
// pages and 10 000 links, served on port 80 of loopback addresses. It must run
// in a network namespace of its own (bench/run starts it under `unshare -rn`).
//
//   127.0.0.1-4  fast hosts: 200, 301, 404 or 500, as the link's path says
//   127.0.0.5    closes every connection without a reply
//   127.0.0.6    nothing listens: refused
//   127.0.0.7    silent: never answers
//
// About 6 % of the links repeat an earlier URL. Prints the wall time, links a
// second, the peak RSS of the check and the most connections open at once to
// each host, then checks that --jobs 64 gives the same rows as --jobs 1 on the
// site's first 1 000 links (20 pages, one of them with a silent link).
#include "BenchUtil.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPages = 200;
constexpr int kLinksPerPage = 50;
constexpr int kHosts = 7;

std::string UrlOf(int k) {
    // The fixed mix: 94 % fast, the rest closing or refused, every 1000th silent.
    static const char* const kCodes[] = {"200", "301", "404", "500"};
    if (k % 1000 == 500)
        return "http://127.0.0.7/silent" + std::to_string(k);
    if (k % 100 < 3)
        return "http://127.0.0.5/closed" + std::to_string(k);
    if (k % 100 < 6)
        return "http://127.0.0.6/refused" + std::to_string(k);
    if (k % 16 == 15 && k >= 200)
        return UrlOf(k - 37 * (1 + k % 5)); // a repeated URL
    return "http://127.0.0." + std::to_string(1 + k % 4) + "/p" + std::to_string(k) + "/s" +
           kCodes[(k / 4) % 4];
}

void WriteSite(const std::string& folder, int pages) {
    ::mkdir(folder.c_str(), 0700);
    for (int p = 0; p < pages; ++p) {
        char name[32];
        std::snprintf(name, sizeof(name), "/page%03d.html", p);
        std::ofstream page(folder + name);
        page << "<html><body>\n";
        for (int i = 0; i < kLinksPerPage; ++i) {
            const int k = p * kLinksPerPage + i;
            page << "<p><a href=\"" << UrlOf(k) << "\">Link " << k << "</a></p>\n";
        }
        page << "</body></html>\n";
    }
}

// One epoll thread serving every host; counts connections open at once per host.
class CSiteServer {
public:
    CSiteServer() {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        for (int h = 1; h <= kHosts; ++h) {
            if (h == 6)
                continue;
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_port = htons(80);
            ::inet_aton(("127.0.0." + std::to_string(h)).c_str(), &local.sin_addr);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
                ::listen(fd, 4096) != 0)
                bench::Fail("cannot listen on port 80 (not in a network namespace of its own?)");
            Watch(fd, -h);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~CSiteServer() {
        m_bStop = true;
        m_thread.join();
    }
    int MostAtOnce(int host) const { return m_most[host]; }
    void ResetCounts() {
        for (auto& most : m_most)
            most = 0;
    }

private:
    struct SConn {
        int host;
        std::string request;
    };

    void Watch(int fd, int tag) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(tag)) << 32) |
                         static_cast<std::uint32_t>(fd);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
    void Close(int fd) {
        --m_open[m_conns[fd].host];
        m_conns.erase(fd);
        ::close(fd);
    }
    void Serve() {
        epoll_event events[256];
        while (!m_bStop) {
            const int n = ::epoll_wait(m_epoll, events, 256, 20);
            for (int i = 0; i < n; ++i) {
                const int fd = static_cast<int>(events[i].data.u64 & 0xFFFFFFFFu);
                const int tag =
                    static_cast<int>(static_cast<std::int32_t>(events[i].data.u64 >> 32));
                if (tag < 0)
                    Accept(fd, -tag);
                else
                    Read(fd);
            }
        }
    }
    void Accept(int listener, int host) {
        for (int fd;
             (fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            if (host == 5) {
                ::close(fd);
                continue;
            }
            m_conns[fd] = {host, {}};
            m_most[host] = std::max(m_most[host].load(), ++m_open[host]);
            Watch(fd, 0);
        }
    }
    void Read(int fd) {
        char buffer[2048];
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            Close(fd);
            return;
        }
        SConn& conn = m_conns[fd];
        conn.request.append(buffer, static_cast<std::size_t>(n));
        if (conn.host == 7 || conn.request.find("\r\n\r\n") == std::string::npos)
            return;
        const std::size_t at = conn.request.find("/s");
        const std::string code = at == std::string::npos ? "200" : conn.request.substr(at + 2, 3);
        const std::string reply = "HTTP/1.0 " + code + " Whatever\r\nContent-Length: 0\r\n\r\n";
        (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        Close(fd);
    }

    int m_epoll = -1;
    std::atomic<bool> m_bStop{false};
    std::map<int, SConn> m_conns;
    int m_open[kHosts + 1] = {};
    std::atomic<int> m_most[kHosts + 1] = {};
    std::thread m_thread;
};

bench::SRun RunCheck(const std::string& cli, const std::string& site, const std::string& jobs,
                     const std::string& out) {
    return bench::Run({cli, "check", "--all", "--recurse", "--timeout", "5", "--jobs", jobs,
                       "--filter", "111111111111111111111", site},
                      out, out + ".log");
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

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        bench::Fail("usage: linkvet-bench-jobs CLI WORKDIR");
    const std::string cli = argv[1], work = argv[2];
    WriteSite(work + "/site", kPages);
    WriteSite(work + "/first", 1000 / kLinksPerPage);
    CSiteServer server;

    const bench::SRun run = RunCheck(cli, work + "/site", "64", work + "/out64");
    const long links = static_cast<long>(kPages) * kLinksPerPage;
    if (run.status != 1)
        bench::Fail("check --jobs 64 ended with status " + std::to_string(run.status));
    std::printf("  %ld links, --jobs 64: %.2f s, %.0f links/s, peak RSS %.1f MiB\n", links,
                run.seconds, static_cast<double>(links) / run.seconds, run.peakMiB);
    std::printf("  most connections at once per host:");
    for (int h = 1; h <= kHosts; ++h)
        std::printf(" 127.0.0.%d: %d", h, server.MostAtOnce(h));
    std::printf("\n");

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
