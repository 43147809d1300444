// SPDX-License-Identifier: GPL-3.0-or-later
// The benchmark site of 200 pages and 10 000 links and the server that answers
// them on port 80 (443 with TLS) of 127.0.0.1-7, for the benchmarks that check
// it. The server must run in a network namespace of its own (bench/run starts
// those programs under `unshare -rn`).
//
//   127.0.0.1-4  fast hosts: 200, 301 (no Location), 404 or 500, as the path says
//   127.0.0.5    closes every connection without a reply
//   127.0.0.6    nothing listens: refused
//   127.0.0.7    silent: never answers
//
// About 6 % of the links repeat an earlier URL; every 1000th is silent.
#pragma once

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
#include <string>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

constexpr int kPages = 200;
constexpr int kLinksPerPage = 50;
constexpr int kHosts = 7;
constexpr int kFastHosts = 4;

inline std::string UrlOf(int k, bool bMixed) {
    // The fixed mix: 94 % fast, the rest closing or refused, every 1000th silent.
    static const char* const kCodes[] = {"200", "301", "404", "500"};
    if (k % 1000 == 500)
        return "http://127.0.0.7/silent" + std::to_string(k);
    if (k % 100 < 3)
        return "http://127.0.0.5/closed" + std::to_string(k);
    if (k % 100 < 6)
        return "http://127.0.0.6/refused" + std::to_string(k);
    if (k % 16 == 15 && k >= 200)
        return UrlOf(k - 37 * (1 + k % 5), bMixed); // a repeated URL
    // Runs of 16 links take turns, so that every host and every status is half https.
    const char* scheme = bMixed && (k / 16) % 2 == 1 ? "https" : "http";
    return std::string(scheme) + "://127.0.0." + std::to_string(1 + k % kFastHosts) + "/p" +
           std::to_string(k) + "/s" + kCodes[(k / 4) % 4];
}

// Writes the pages (over the old ones, so the test order stays); returns the
// count of https links.
inline int WriteSite(const std::string& folder, int pages, bool bMixed) {
    ::mkdir(folder.c_str(), 0700);
    int https = 0;
    for (int p = 0; p < pages; ++p) {
        char name[32];
        std::snprintf(name, sizeof(name), "/page%03d.html", p);
        std::ofstream page(folder + name);
        page << "<html><body>\n";
        for (int i = 0; i < kLinksPerPage; ++i) {
            const int k = p * kLinksPerPage + i;
            const std::string url = UrlOf(k, bMixed);
            https += url.starts_with("https:") ? 1 : 0;
            page << "<p><a href=\"" << url << "\">Link " << k << "</a></p>\n";
        }
        page << "</body></html>\n";
    }
    return https;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start, std::int64_t nanos) {
    return static_cast<double>(nanos - start.time_since_epoch().count()) / 1e9;
}

// One epoll thread serving every host, plain and TLS (non-blocking OpenSSL);
// counts connections open at once per host and the TLS handshakes.
class CSiteServer {
public:
    explicit CSiteServer(SSL_CTX* pTls) : m_pTls(pTls) {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        for (int h = 1; h <= kHosts; ++h) {
            if (h != 6)
                Listen(h, false);
            if (m_pTls && h <= kFastHosts)
                Listen(h, true);
        }
        m_thread = std::thread([this] { Serve(); });
        pthread_getcpuclockid(m_thread.native_handle(), &m_cpuClock);
    }
    ~CSiteServer() {
        m_bStop = true;
        m_thread.join();
    }
    int MostAtOnce(int host) const { return m_most[host]; }
    int TlsReplies() const { return m_tlsReplies; }
    int Resumed() const { return m_resumed; }
    int TlsFailed() const { return m_tlsFailed; }
    std::int64_t LastReply() const { return m_lastReply; }
    double CpuSeconds() const {
        timespec used{};
        ::clock_gettime(m_cpuClock, &used);
        return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }
    void ResetCounts() {
        for (auto& most : m_most)
            most = 0;
        m_tlsReplies = m_resumed = m_tlsFailed = 0;
    }

private:
    struct SSslFree {
        void operator()(SSL* pSsl) const { SSL_free(pSsl); }
    };
    struct SConn {
        int host = 0;
        std::string request;
        std::unique_ptr<SSL, SSslFree> pSsl;
        bool bWantWrite = false;
    };

    void Listen(int host, bool bTls) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(bTls ? 443 : 80);
        ::inet_aton(("127.0.0." + std::to_string(host)).c_str(), &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
            ::listen(fd, 4096) != 0)
            bench::Fail(
                "cannot listen on ports 80 and 443 (not in a network namespace of its own?)");
        Watch(fd, -(bTls ? host + kHosts : host), EPOLL_CTL_ADD, EPOLLIN);
    }
    void Watch(int fd, int tag, int op, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.u64 = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(tag)) << 32) |
                         static_cast<std::uint32_t>(fd);
        ::epoll_ctl(m_epoll, op, fd, &event);
    }
    void Close(int fd) {
        --m_open[m_conns[fd].host];
        m_conns.erase(fd);
        ::close(fd);
    }
    void Serve() {
        // A peer that closes early must not end the program through SSL_write.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
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
    void Accept(int listener, int tag) {
        const int host = tag > kHosts ? tag - kHosts : tag;
        for (int fd;
             (fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            if (host == 5) {
                ::close(fd);
                continue;
            }
            SConn& conn = m_conns[fd];
            conn.host = host;
            if (tag > kHosts) {
                conn.pSsl.reset(SSL_new(m_pTls));
                SSL_set_fd(conn.pSsl.get(), fd);
                SSL_set_accept_state(conn.pSsl.get());
            }
            m_most[host] = std::max(m_most[host].load(), ++m_open[host]);
            Watch(fd, 0, EPOLL_CTL_ADD, EPOLLIN);
        }
    }
    // Adds what the connection brings to its request; false once it is closed
    // or its TLS failed.
    bool Receive(int fd, SConn& conn) {
        char buffer[2048];
        if (!conn.pSsl) {
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n > 0)
                conn.request.append(buffer, static_cast<std::size_t>(n));
            return n > 0;
        }
        // OpenSSL may hold decrypted bytes that epoll cannot see: read until it wants more.
        for (;;) {
            const int n = SSL_read(conn.pSsl.get(), buffer, sizeof(buffer));
            if (n > 0) {
                conn.request.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            const int error = SSL_get_error(conn.pSsl.get(), n);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                ERR_clear_error();
                m_tlsFailed += conn.request.empty() ? 1 : 0;
                return false;
            }
            const bool bWantWrite = error == SSL_ERROR_WANT_WRITE;
            if (bWantWrite != conn.bWantWrite)
                Watch(fd, 0, EPOLL_CTL_MOD, bWantWrite ? EPOLLOUT : EPOLLIN);
            conn.bWantWrite = bWantWrite;
            return true;
        }
    }
    void Read(int fd) {
        SConn& conn = m_conns[fd];
        if (!Receive(fd, conn)) {
            Close(fd);
            return;
        }
        if (conn.host == 7 || conn.request.find("\r\n\r\n") == std::string::npos)
            return;
        const std::size_t at = conn.request.find("/s");
        const std::string code = at == std::string::npos ? "200" : conn.request.substr(at + 2, 3);
        const std::string reply = "HTTP/1.0 " + code + " Whatever\r\nContent-Length: 0\r\n\r\n";
        if (conn.pSsl) {
            ++m_tlsReplies;
            m_resumed += SSL_session_reused(conn.pSsl.get());
            // A short write or a lost close_notify is the client's to tell.
            SSL_write(conn.pSsl.get(), reply.data(), static_cast<int>(reply.size()));
            SSL_shutdown(conn.pSsl.get());
            ERR_clear_error();
        } else {
            (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        m_lastReply = std::chrono::steady_clock::now().time_since_epoch().count();
        Close(fd);
    }

    SSL_CTX* m_pTls = nullptr;
    int m_epoll = -1;
    std::atomic<bool> m_bStop{false};
    std::map<int, SConn> m_conns;
    int m_open[kHosts + 1] = {};
    std::atomic<int> m_most[kHosts + 1] = {};
    std::atomic<int> m_tlsReplies{0}, m_resumed{0}, m_tlsFailed{0};
    std::atomic<std::int64_t> m_lastReply{0};
    std::thread m_thread;
    clockid_t m_cpuClock{};
};
