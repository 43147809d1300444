#include "engine/CHostLookup.h"

#include "engine/CLookupPool.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

// Shared by the asking object and the pool's thread, so whichever finishes last
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

void CHostLookup::NotFoundLater() {
    m_notifier.reset();
    QMetaObject::invokeMethod(
        this, [this] { emit Finished(false, in_addr{}); }, Qt::QueuedConnection);
}

void CHostLookup::Start(CLookupPool& pool, const std::string& host) {
    m_notifier.reset();
    m_state = std::make_shared<SState>();
    if (::pipe2(m_state->pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        NotFoundLater(); // no way to wait for an answer
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_state->pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CHostLookup::OnAnswer);

    const bool bQueued = pool.Submit([state = m_state, host](const CLookupPool::Resolver& resolve) {
        in_addr address{};
        bool bFound = resolve(host, &address);
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->bFound = bFound;
            state->address = address;
        }
        char done = 1;
        (void)!::write(state->pipe[1], &done, 1);
    });
    if (!bQueued)
        NotFoundLater();
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
