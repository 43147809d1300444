// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CHostLookup.h"

#include "engine/CLookupPool.h"

#include <cerrno>
#include <mutex>

// Shared by the asking object and the pool's thread: the thread hands its
// answer to the asker only while the asker still waits for it.
struct CHostLookup::SState {
    std::mutex mutex;
    CHostLookup* pAsker = nullptr;
};

CHostLookup::CHostLookup(QObject* parent) : QObject(parent) {
    // A coarse timer may fire 5 % early and turn a slow answer into a time-out.
    m_timeoutTimer.setTimerType(Qt::PreciseTimer);
    m_timeoutTimer.setSingleShot(true);
    connect(&m_timeoutTimer, &QTimer::timeout, this, [this] {
        Detach();
        emit Finished(EAnswer::TimedOut, in_addr{});
    });
}

CHostLookup::~CHostLookup() {
    Detach();
}

void CHostLookup::Detach() {
    m_timeoutTimer.stop();
    if (m_state) {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->pAsker = nullptr;
    }
    m_state.reset();
}

void CHostLookup::AnswerLater(const std::shared_ptr<SState>& state, EAnswer answer,
                              in_addr address) {
    // Posted to this object: dropped by Qt when it is destroyed first, and
    // dropped here when a later Start() or the time-out came first.
    QMetaObject::invokeMethod(
        this,
        [this, state, answer, address] {
            if (state != m_state)
                return;
            Detach();
            emit Finished(answer, address);
        },
        Qt::QueuedConnection);
}

void CHostLookup::Start(CLookupPool& pool, const std::string& host, int timeoutMs) {
    Detach();
    m_state = std::make_shared<SState>();
    m_state->pAsker = this;
    if (timeoutMs >= 0)
        m_timeoutTimer.start(timeoutMs);
    const bool bQueued = pool.Submit([state = m_state, host](const CLookupPool::Resolver& resolve) {
        in_addr address{};
        errno = 0;
        EAnswer answer = resolve(host, &address) ? EAnswer::Found : EAnswer::NotFound;
        if (answer == EAnswer::NotFound && (errno == EMFILE || errno == ENFILE))
            answer = EAnswer::NoDescriptor;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->pAsker != nullptr) // it cannot be destroyed while the lock is held
            state->pAsker->AnswerLater(state, answer, address);
    });
    if (!bQueued)
        AnswerLater(m_state, EAnswer::NotFound, in_addr{});
}
