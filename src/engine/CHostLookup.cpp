#include "engine/CHostLookup.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::mutex g_resolverMutex;
CHostLookup::Resolver g_resolver;

bool SystemResolve(const std::string& host, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

} // namespace

// Shared by the asking object and the look-up thread, so whichever finishes last
// closes the pipe that carries the answer back.
struct CHostLookup::SState {
    std::mutex mutex;
    bool bFound = false;
    in_addr address{};
    int pipe[2] = {-1, -1};

    ~SState() {
        for (int fd : pipe)
            if (fd >= 0)
                ::close(fd);
    }
};

CHostLookup::CHostLookup(QObject* parent) : QObject(parent) {
}

CHostLookup::~CHostLookup() = default;

void CHostLookup::SetResolver(Resolver resolver) {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    g_resolver = std::move(resolver);
}

void CHostLookup::Start(const std::string& host) {
    m_notifier.reset();
    m_state = std::make_shared<SState>();
    Resolver resolve;
    {
        std::lock_guard<std::mutex> lock(g_resolverMutex);
        resolve = g_resolver ? g_resolver : Resolver(SystemResolve);
    }
    if (::pipe2(m_state->pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        // No way to wait for an answer: report the name as not found, later.
        QMetaObject::invokeMethod(
            this, [this] { emit Finished(false, in_addr{}); }, Qt::QueuedConnection);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_state->pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CHostLookup::OnAnswer);

    std::thread([state = m_state, host, resolve] {
        in_addr address{};
        bool bFound = resolve(host, &address);
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->bFound = bFound;
            state->address = address;
        }
        char done = 1;
        (void)!::write(state->pipe[1], &done, 1);
    }).detach();
}

void CHostLookup::OnAnswer() {
    char done = 0;
    if (::read(m_state->pipe[0], &done, 1) != 1)
        return;
    m_notifier->setEnabled(false);
    bool bFound = false;
    in_addr address{};
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        bFound = m_state->bFound;
        address = m_state->address;
    }
    emit Finished(bFound, address);
}
