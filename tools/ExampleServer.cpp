// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-example-server: serves the links of examples/ on loopback addresses,
// so that a test of the example pages shows what a real test gives. Every host
// the pages name has a fixed answer:
//
//   127.0.0.1  the example site: /, /docs/guide.html, /about, /notes are there,
//              any other path is 404 Not Found
//   127.0.0.2  500 Internal Server Error
//   127.0.0.3  200 OK
//   127.0.0.4  nothing listens: the connection is refused
//   127.0.0.6  200 OK
//   127.0.0.7  200 OK, but only after 7 seconds, past a 5-second time-out
//
// Usage: linkvet-example-server [--port N] [--seconds N]
// It prints "ready" once every address listens, and stops after --seconds
// (60 by default), on SIGINT or SIGTERM, or when the process that started it ends.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxRequest = 8192;
constexpr auto kLongestConnection = std::chrono::seconds(30);
constexpr auto kSlowDelay = std::chrono::seconds(7);

volatile std::sig_atomic_t g_bStop = 0;

void OnStopSignal(int) {
    g_bStop = 1;
}

struct SConnection {
    int fd = -1;
    std::string strAddress; ///< the loopback address the client reached
    std::string strRequest;
    std::string strAnswer;
    Clock::time_point accepted;
    Clock::time_point due; ///< when the answer goes out, once the request is in
    bool bRequestRead = false;
};

std::string Answer(int status, const char* reason) {
    const std::string body = "<html><body><h1>" + std::to_string(status) + " " + reason +
                             "</h1><p>Linkvet's example server</p></body></html>\r\n";
    return "HTTP/1.0 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

/// The answer for a request line reaching `address`, and how long it waits.
std::string Route(const std::string& address, const std::string& request, Clock::duration& delay) {
    delay = Clock::duration::zero();
    // "GET /path?query HTTP/1.0": the path alone decides.
    std::size_t begin = request.find(' ');
    begin = begin == std::string::npos ? request.size() : begin + 1;
    std::string path = request.substr(begin, request.find_first_of(" ?\r\n", begin) - begin);

    if (address == "127.0.0.1") {
        for (const char* known : {"/", "/docs/guide.html", "/about", "/notes"})
            if (path == known)
                return Answer(200, "OK");
        return Answer(404, "Not Found");
    }
    if (address == "127.0.0.2")
        return Answer(500, "Internal Server Error");
    if (address == "127.0.0.7")
        delay = kSlowDelay;
    return Answer(200, "OK");
}

int Listen(const char* address, int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_aton(address, &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(fd, 16) != 0) {
        std::fprintf(stderr, "linkvet-example-server: cannot listen on %s:%d: %s\n", address, port,
                     std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

long Number(const char* text, long low, long high) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return (*text != '\0' && *end == '\0' && value >= low && value <= high) ? value : -1;
}

void Accept(int listener, std::vector<SConnection>& connections) {
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    // A bounded number of accepts per wake-up, so that one busy address cannot
    // keep the others waiting.
    for (int i = 0; i < 16 && connections.size() < kMaxConnections; ++i) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        SConnection connection;
        connection.fd = fd;
        connection.strAddress = ::inet_ntoa(local.sin_addr);
        connection.accepted = Clock::now();
        connections.push_back(std::move(connection));
    }
}

/// Reads what has come; false once the connection is done with.
bool ReadRequest(SConnection& connection) {
    char buffer[4096];
    ssize_t n = ::recv(connection.fd, buffer, sizeof(buffer), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        return false;
    if (n > 0)
        connection.strRequest.append(buffer, static_cast<std::size_t>(n));
    const bool bWhole = connection.strRequest.find("\r\n\r\n") != std::string::npos ||
                        connection.strRequest.find("\n\n") != std::string::npos ||
                        connection.strRequest.size() >= kMaxRequest;
    if (bWhole) {
        Clock::duration delay;
        connection.strAnswer = Route(connection.strAddress, connection.strRequest, delay);
        connection.bRequestRead = true;
        connection.due = connection.accepted + delay;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    long port = 8000;
    long seconds = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long* pValue = arg == "--port" ? &port : arg == "--seconds" ? &seconds : nullptr;
        if (pValue == nullptr || i + 1 == argc ||
            (*pValue = Number(argv[++i], 1, pValue == &port ? 65535 : 86400)) < 0) {
            std::fprintf(stderr, "usage: linkvet-example-server [--port N] [--seconds N]\n");
            return 2;
        }
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // Started by a script for the length of its run: it goes when the script goes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);

    std::vector<int> listeners;
    for (const char* address : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.6", "127.0.0.7"}) {
        int fd = Listen(address, static_cast<int>(port));
        if (fd < 0) {
            for (int open : listeners)
                ::close(open);
            return 1;
        }
        listeners.push_back(fd);
    }
    std::printf("ready: listening on 127.0.0.1-3, 6 and 7, port %ld, for %ld seconds\n", port,
                seconds);
    std::fflush(stdout);

    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<SConnection> connections;
    while (!g_bStop && Clock::now() < end) {
        std::vector<pollfd> fds;
        for (int fd : listeners)
            fds.push_back({fd, POLLIN, 0});
        for (const SConnection& connection : connections)
            fds.push_back(
                {connection.fd, static_cast<short>(connection.bRequestRead ? 0 : POLLIN), 0});
        (void)::poll(fds.data(), fds.size(), 50); // short: answers fall due on time

        for (std::size_t i = 0; i < listeners.size(); ++i)
            if (fds[i].revents & POLLIN)
                Accept(listeners[i], connections);

        const auto now = Clock::now();
        std::vector<SConnection> kept;
        for (std::size_t i = 0; i < connections.size(); ++i) {
            SConnection& connection = connections[i];
            const std::size_t slot = listeners.size() + i;
            bool bKeep = now - connection.accepted < kLongestConnection;
            if (bKeep && slot < fds.size() && (fds[slot].revents & (POLLIN | POLLHUP | POLLERR)) &&
                !connection.bRequestRead)
                bKeep = ReadRequest(connection);
            if (bKeep && connection.bRequestRead && now >= connection.due) {
                // The answers are small: one send fits in any socket buffer.
                (void)::send(connection.fd, connection.strAnswer.data(),
                             connection.strAnswer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                bKeep = false;
            }
            if (bKeep)
                kept.push_back(std::move(connection));
            else
                ::close(connection.fd);
        }
        connections = std::move(kept);
    }
    for (const SConnection& connection : connections)
        ::close(connection.fd);
    for (int fd : listeners)
        ::close(fd);
    return 0;
}
