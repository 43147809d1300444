#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>

class QSocketNotifier;

/// Looks up the IPv4 address of a host name without holding up the thread that
/// asked: the look-up runs on a thread of its own and its answer arrives as
/// Finished() on the asking thread's event loop. Destroying the object cancels
/// the look-up; its answer is then dropped.
class CHostLookup : public QObject {
    Q_OBJECT
public:
    /// A blocking look-up: true and the address when the name is known.
    using Resolver = std::function<bool(const std::string& host, in_addr* address)>;

    explicit CHostLookup(QObject* parent = nullptr);
    ~CHostLookup() override;

    void Start(const std::string& host);

    /// Replaces the system's resolver for every later look-up (tests use a table
    /// of their own); an empty function restores the system's.
    static void SetResolver(Resolver resolver);

signals:
    void Finished(bool bFound, in_addr address);

private:
    struct SState;
    void OnAnswer();

    std::shared_ptr<SState> m_state;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
