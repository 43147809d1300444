// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <netinet/in.h>
#include <string>

class CLookupPool;

/// Looks up the IPv4 address of a host name on a look-up pool and reports the
/// answer as Finished() on the asking thread's event loop, never from inside
/// Start(). Destroying the object cancels the look-up; its answer is then
/// dropped. When the pool can run no look-up, the name counts as not found.
///
/// The answer comes back as an event, not through a descriptor of its own, so
/// a look-up needs no descriptor beyond the resolver's.
class CHostLookup : public QObject {
    Q_OBJECT
public:
    enum class EAnswer {
        Found,
        NotFound,
        NoDescriptor, ///< the resolver found no free file descriptor
        TimedOut,     ///< the time-out ran out first; a later answer is dropped
    };
    Q_ENUM(EAnswer)

    explicit CHostLookup(QObject* parent = nullptr);
    ~CHostLookup() override;

    /// With `timeoutMs` of 0 or more, a look-up that takes longer ends as
    /// EAnswer::TimedOut then (the pool's thread goes on until its resolver
    /// returns).
    void Start(CLookupPool& pool, const std::string& host, int timeoutMs = -1);

signals:
    void Finished(CHostLookup::EAnswer answer, in_addr address);

private:
    struct SState;
    void Detach();
    /// From any thread, while `state` is this object's.
    void AnswerLater(const std::shared_ptr<SState>& state, EAnswer answer, in_addr address);

    std::shared_ptr<SState> m_state;
    QTimer m_timeoutTimer;
};
