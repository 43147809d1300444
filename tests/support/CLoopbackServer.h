#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// A TCP server on a loopback address that plays a fixed script to every
/// connection, on a thread of its own. Every wait is bounded, and the server
/// stops when the object goes.
class CLoopbackServer {
public:
    struct SScript {
        bool bReadRequest = true; ///< read up to the empty line first
        /// Bytes to send, each after a pause in milliseconds.
        std::vector<std::pair<int, std::string>> steps;
        bool bEndless = false;    ///< then send without end (bounded by a cap)
        bool bHoldOpen = false;   ///< then wait for the client to close
        bool bConcurrent = false; ///< each connection on a thread of its own
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
    void Play(int client, bool& bCounted);
    void Handle(int client);

    SScript m_script;
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
