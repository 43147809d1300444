// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/CLoopbackServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLongestWait = std::chrono::seconds(30);
constexpr std::size_t kEndlessCap = 64u << 20;

// Waits a slice (short enough to notice a stop soon) for the socket to be ready.
bool Ready(int fd, short events) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, 20) > 0;
}

// One try at TLS input or output: what it did (> 0), or 0 after waiting a
// slice for what it wants, or -1 when the connection is over.
int Retry(SSL* pTls, int fd, int result) {
    if (result > 0)
        return result;
    switch (SSL_get_error(pTls, result)) {
    case SSL_ERROR_WANT_READ:
        Ready(fd, POLLIN);
        return 0;
    case SSL_ERROR_WANT_WRITE:
        Ready(fd, POLLOUT);
        return 0;
    default:
        return -1;
    }
}

// Bytes read within a slice (0 if none came), or -1 once the client has gone.
long Receive(int fd, SSL* pTls, char* buffer, std::size_t size) {
    if (pTls != nullptr)
        return Retry(pTls, fd, SSL_read(pTls, buffer, static_cast<int>(size)));
    if (!Ready(fd, POLLIN))
        return 0;
    const ssize_t n = ::recv(fd, buffer, size, 0);
    return n > 0 ? n : -1;
}

// Bytes sent within a slice (0 if the client is not reading just now), or -1
// once the client has gone.
long Send(int fd, SSL* pTls, const char* bytes, std::size_t size) {
    if (pTls != nullptr)
        return Retry(pTls, fd, SSL_write(pTls, bytes, static_cast<int>(size)));
    if (!Ready(fd, POLLOUT))
        return 0;
    const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n >= 0 ? n : errno == EAGAIN ? 0 : -1;
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
    if (!m_script.tlsCert.empty()) {
        m_pTls = {SSL_CTX_new(TLS_server_method()), &SSL_CTX_free};
        if (!m_pTls || SSL_CTX_set_min_proto_version(m_pTls.get(), TLS1_2_VERSION) != 1 ||
            SSL_CTX_use_certificate_chain_file(m_pTls.get(), m_script.tlsCert.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(m_pTls.get(), m_script.tlsKey.c_str(), SSL_FILETYPE_PEM) !=
                1)
            throw std::runtime_error("cannot serve TLS with " + m_script.tlsCert);
    }
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
    // TLS writes to a client that has gone raise SIGPIPE: here (and in the
    // handlers, which inherit this) it stays pending instead of ending the tests.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!m_bStop) {
        if (!Ready(m_listener, POLLIN))
            continue;
        int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
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
    ERR_clear_error(); // a failed connection before must not confuse SSL_get_error
    std::unique_ptr<SSL, void (*)(SSL*)> pTls(m_pTls ? SSL_new(m_pTls.get()) : nullptr, &SSL_free);
    if (pTls)
        SSL_set_fd(pTls.get(), client);
    bool bCounted = true;
    if (Play(client, pTls.get(), bCounted) && pTls)
        SSL_shutdown(pTls.get()); // a close_notify, so the client sees a clean end
    if (bCounted)
        --m_open;
    ::close(client);
    ++m_closed;
}

bool CLoopbackServer::Play(int client, SSL* pTls, bool& bCounted) {
    const auto deadline = Clock::now() + kLongestWait;
    const auto live = [&] { return !m_bStop && Clock::now() < deadline; };
    int shaken = pTls != nullptr ? 0 : 1;
    while (shaken == 0 && live())
        shaken = Retry(pTls, client, SSL_accept(pTls));
    std::string request;
    char buffer[4096];
    while (shaken > 0 && m_script.bReadRequest && request.find("\r\n\r\n") == std::string::npos &&
           live()) {
        const long n = Receive(client, pTls, buffer, sizeof(buffer));
        if (n < 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    if (shaken <= 0)
        return false;
    auto steps = m_script.steps;
    if (m_script.respond)
        steps.insert(steps.begin(), {0, m_script.respond(request)});
    for (const auto& [pauseMs, bytes] : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        // A connection stops counting as open once it is answered: the client may
        // then close it and open the next before this thread runs again, which
        // must not count as two at once.
        if (bCounted) {
            --m_open;
            bCounted = false;
        }
        for (std::size_t sent = 0; sent < bytes.size();) {
            const long n =
                live() ? Send(client, pTls, bytes.data() + sent, bytes.size() - sent) : -1;
            if (n < 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
    }
    const std::string filler(4096, 'x');
    for (std::size_t sent = 0; m_script.bEndless && sent < kEndlessCap && live();) {
        const long n = Send(client, pTls, filler.data(), filler.size());
        if (n < 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    while (m_script.bHoldOpen && live()) {
        if (Receive(client, pTls, buffer, sizeof(buffer)) < 0)
            return false;
    }
    return !m_bStop;
}
