#include "support/CLoopbackServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLongestWait = std::chrono::seconds(30);
constexpr std::size_t kEndlessCap = 64u << 20;

bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

} // namespace

CLoopbackServer::SScript CLoopbackServer::Trickle(const std::string& bytes, int pauseMs) {
    SScript script;
    for (char c : bytes)
        script.steps.emplace_back(pauseMs, std::string(1, c));
    return script;
}

CLoopbackServer::CLoopbackServer(const std::string& address, int port, SScript script)
    : m_script(std::move(script)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_aton(address.c_str(), &local.sin_addr);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(m_listener, 128) != 0) {
        ::close(m_listener);
        throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port));
    }
    socklen_t length = sizeof(local);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &length);
    m_port = ntohs(local.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

CLoopbackServer::~CLoopbackServer() {
    m_bStop = true;
    m_thread.join();
    for (std::thread& handler : m_handlers)
        handler.join();
    ::close(m_listener);
}

std::vector<std::string> CLoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CLoopbackServer::Serve() {
    while (!m_bStop) {
        if (!Readable(m_listener, 20))
            continue;
        int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        if (m_script.bConcurrent)
            m_handlers.emplace_back([this, client] { Handle(client); });
        else
            Handle(client);
    }
}

void CLoopbackServer::Handle(int client) {
    const int open = ++m_open;
    for (int most = m_mostAtOnce; most < open && !m_mostAtOnce.compare_exchange_weak(most, open);) {
    }
    bool bCounted = true;
    Play(client, bCounted);
    if (bCounted)
        --m_open;
    ::close(client);
    ++m_closed;
}

void CLoopbackServer::Play(int client, bool& bCounted) {
    const auto deadline = Clock::now() + kLongestWait;
    std::string request;
    char buffer[4096];
    while (m_script.bReadRequest && request.find("\r\n\r\n") == std::string::npos && !m_bStop &&
           Clock::now() < deadline) {
        if (!Readable(client, 20))
            continue;
        ssize_t n = ::recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    for (const auto& [pauseMs, bytes] : m_script.steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        // A connection stops counting as open once it is answered: the client may
        // then close it and open the next before this thread runs again, which
        // must not count as two at once.
        if (bCounted) {
            --m_open;
            bCounted = false;
        }
        if (m_bStop || ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0)
            return;
    }
    const std::string filler(4096, 'x');
    for (std::size_t sent = 0;
         m_script.bEndless && sent < kEndlessCap && !m_bStop && Clock::now() < deadline;) {
        pollfd p{client, POLLOUT, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue; // the client is not reading just now
        ssize_t n = ::send(client, filler.data(), filler.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN)
            return; // the client has gone
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    while (m_script.bHoldOpen && !m_bStop && Clock::now() < deadline) {
        if (Readable(client, 20) && ::recv(client, buffer, sizeof(buffer), 0) <= 0)
            return;
    }
}
