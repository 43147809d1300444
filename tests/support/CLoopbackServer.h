// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <openssl/types.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// A TCP server on a loopback address that plays a fixed script to every
/// connection, on a thread of its own, in plain text or over TLS. Every wait is
/// bounded, and the server stops when the object goes.
class CLoopbackServer {
public:
    struct SScript {
        bool bReadRequest = true; ///< read up to the empty line first
        /// Bytes to send, each after a pause in milliseconds.
        std::vector<std::pair<int, std::string>> steps{};
        bool bEndless = false;    ///< then send without end (bounded by a cap)
        bool bHoldOpen = false;   ///< then wait for the client to close
        bool bConcurrent = false; ///< each connection on a thread of its own
        // The braces keep the short positional initialisations warning-free.
        /// When set, the answer to each request, sent before the steps.
        std::function<std::string(const std::string& request)> respond{};
        /// PEM files of the server's certificate (chain) and key: each connection
        /// then starts with a TLS handshake, and one that fails is recorded as "".
        std::string tlsCert{};
        std::string tlsKey{};
    };

    static SScript Reply(const std::string& bytes) { return {true, {{0, bytes}}, false, false}; }
    static SScript Greeting(const std::string& bytes) { return {false, {{0, bytes}}, false, true}; }
    static SScript Silent() { return {true, {}, false, true}; }
    static SScript CloseAtOnce() { return {false, {}, false, false}; }
    static SScript Trickle(const std::string& bytes, int pauseMs);

    /// Listens on `address`:`port` (0 picks a free port).
    CLoopbackServer(const std::string& address, int port, SScript script);
    ~CLoopbackServer();
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    int Port() const { return m_port; }
    /// What each connection sent before the server answered, in order.
    std::vector<std::string> Requests() const;
    int Closed() const { return m_closed.load(); }
    /// The most connections open at once before their answer, and how many are
    /// open and unanswered now (a silent server's stay so until the client closes).
    int MostAtOnce() const { return m_mostAtOnce.load(); }
    int Open() const { return m_open.load(); }

private:
    void Serve();
    bool Play(int client, SSL* pTls, bool& bCounted);
    void Handle(int client);

    SScript m_script;
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> m_pTls{nullptr, nullptr};
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_closed{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_mostAtOnce{0};
    std::vector<std::thread> m_handlers;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
