// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CLookupPool.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>

struct CLookupPool::SShared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void(const Resolver&)>> jobs;
    Resolver resolver;
    int maxThreads = 0;
    int threads = 0;
    int idle = 0;
    int busy = 0;
    bool bStopping = false;
};

CLookupPool::CLookupPool(Resolver resolver, int maxThreads, ThreadStarter starter)
    : m_shared(std::make_shared<SShared>()), m_starter(std::move(starter)) {
    m_shared->resolver = resolver ? std::move(resolver) : Resolver(SystemResolve);
    m_shared->maxThreads = maxThreads;
    if (!m_starter) {
        m_starter = [](std::function<void()> body) {
            try {
                std::thread(std::move(body)).detach();
                return true;
            } catch (const std::system_error&) {
                return false;
            }
        };
    }
}

CLookupPool::~CLookupPool() {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->bStopping = true;
    m_shared->busy -= static_cast<int>(m_shared->jobs.size());
    m_shared->jobs.clear();
    m_shared->wake.notify_all();
}

bool CLookupPool::SystemResolve(const std::string& host, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (error != 0 || found == nullptr) {
        if (error != EAI_SYSTEM)
            errno = 0; // errno says why only for a failure of the system's own
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

bool CLookupPool::Submit(std::function<void(const Resolver&)> job) {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->jobs.push_back(std::move(job));
    ++m_shared->busy;
    if (m_shared->idle >= static_cast<int>(m_shared->jobs.size()) ||
        m_shared->threads >= m_shared->maxThreads) {
        m_shared->wake.notify_one();
        return true;
    }
    ++m_shared->threads;
    lock.unlock();
    if (m_starter([shared = m_shared] { Work(shared); }))
        return true;
    lock.lock();
    --m_shared->threads;
    if (m_shared->threads > 0)
        return true; // a running thread takes it in turn
    m_shared->jobs.pop_back();
    --m_shared->busy;
    return false;
}

int CLookupPool::Busy() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->busy;
}

int CLookupPool::MaxThreads() const {
    return m_shared->maxThreads;
}

void CLookupPool::Work(const std::shared_ptr<SShared>& shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        ++shared->idle;
        shared->wake.wait(lock, [&] { return shared->bStopping || !shared->jobs.empty(); });
        --shared->idle;
        if (shared->bStopping)
            break;
        auto job = std::move(shared->jobs.front());
        shared->jobs.pop_front();
        lock.unlock();
        job(shared->resolver);
        job = nullptr; // what it holds goes before it stops counting
        lock.lock();
        --shared->busy;
    }
    --shared->threads;
}
