#pragma once

#include <QObject>
#include <memory>
#include <netinet/in.h>
#include <string>

class CLookupPool;
class QSocketNotifier;

/// Looks up the IPv4 address of a host name on a look-up pool and reports the
/// answer as Finished() on the asking thread's event loop. Destroying the
/// object cancels the look-up; its answer is then dropped. When the pool can
/// run no look-up, the name counts as not found.
class CHostLookup : public QObject {
    Q_OBJECT
public:
    explicit CHostLookup(QObject* parent = nullptr);
    ~CHostLookup() override;

    void Start(CLookupPool& pool, const std::string& host);

signals:
    void Finished(bool bFound, in_addr address);

private:
    struct SState;
    void OnAnswer();
    void NotFoundLater();

    std::shared_ptr<SState> m_state;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
