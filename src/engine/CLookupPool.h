// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>

/// A bounded set of threads that run blocking host name look-ups, so the
/// thread that asks keeps turning its event loop.
///
/// At most `maxThreads` threads are started, each when a look-up finds none
/// idle; further look-ups wait their turn. The threads are never joined: one
/// stuck in a slow look-up cannot hold up the program's exit. Destroying the
/// pool drops the look-ups that have not begun.
class CLookupPool {
public:
    /// A blocking look-up: true and the address when the name is known. One
    /// that failed for want of a file descriptor leaves errno at EMFILE or
    /// ENFILE (and any other failure does not).
    using Resolver = std::function<bool(const std::string& host, in_addr* address)>;
    /// Starts a thread that runs `body`; false when no thread can be started.
    using ThreadStarter = std::function<bool(std::function<void()> body)>;

    static constexpr int kDefaultThreads = 8;

    /// An empty `resolver` means the system's, an empty `starter` std::thread.
    explicit CLookupPool(Resolver resolver = {}, int maxThreads = kDefaultThreads,
                         ThreadStarter starter = {});
    ~CLookupPool();
    CLookupPool(const CLookupPool&) = delete;
    CLookupPool& operator=(const CLookupPool&) = delete;

    /// Runs `job` with the resolver on a pool thread. False when no thread
    /// runs and none can be started: the job will never run.
    bool Submit(std::function<void(const Resolver&)> job);

    /// Look-ups submitted that have not returned yet, waiting ones included.
    /// One whose asker stopped waiting still counts until its resolver returns:
    /// it holds a thread, and the resolver's descriptors, until then.
    int Busy() const;
    int MaxThreads() const;

    static bool SystemResolve(const std::string& host, in_addr* address);

private:
    struct SShared;
    static void Work(const std::shared_ptr<SShared>& shared);

    std::shared_ptr<SShared> m_shared;
    ThreadStarter m_starter;
};
