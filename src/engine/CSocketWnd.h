#pragma once

#include "engine/CDeleteLater.h"

#include <QObject>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>

class CHostLookup;
class CLookupPool;
class QSocketNotifier;

/// One TCP connection over IPv4, reporting its events on the thread that owns it.
///
/// Connect() only starts the attempt: the name look-up runs on the look-up pool
/// and the connection does not block, so the event loop keeps turning. The
/// outcome arrives as ConnectFinished() with 0 or a failure code:
///   10001 the host is empty after leading blanks, or the port is 0;
///   10002 the host name is not known;
///   10003 no socket can be made;
///   10004 the connection is refused or cannot be made.
/// A host that converts as a dotted IPv4 address is used without a look-up.
///
/// After SelectEvents(), SocketNotify() reports data to read (event 1), room to
/// write (event 2) and the peer's close (event 32) in the low 16 bits of
/// `lParam`, one at a time, in the order they occur. CloseSocket() ends everything, an attempt in
/// flight included; nothing is reported after it.
class CSocketWnd : public QObject {
    Q_OBJECT
public:
    static constexpr quint32 kFdRead = 1;
    static constexpr quint32 kFdWrite = 2;
    static constexpr quint32 kFdClose = 32;
    static constexpr int kSocketError = -1;

    explicit CSocketWnd(CLookupPool& lookups, QObject* parent = nullptr);
    ~CSocketWnd() override;

    void Connect(const std::string& host, const std::string& port);
    /// Connects to an address already known, without a look-up.
    void ConnectTo(in_addr address, const std::string& port);
    /// Asks for the events of `mask`; returns 0, or -1 without a connected socket.
    int SelectEvents(quint32 mask);
    /// Never raises SIGPIPE. Returns 0 without a connected socket.
    ssize_t Send(const char* data, std::size_t length, int flags);
    ssize_t Receive(char* buffer, std::size_t size, int flags);
    int CloseSocket();
    /// The connected socket, or -1.
    int Socket() const { return m_socket; }

signals:
    void ConnectFinished(unsigned code);
    void SocketNotify(int socket, quint32 lParam);

private:
    void ConnectTo(in_addr address);
    void OnConnectWritable();
    void OnReadable();
    void OnWritable();
    void FinishLater(unsigned code);

    CLookupPool& m_lookups;
    int m_socket = -1;
    int m_pendingSocket = -1; // a connection still being made
    quint16 m_port = 0;
    quint32 m_eventMask = 0;
    unsigned m_attempt = 0; // outcomes of earlier attempts are dropped
    LaterPtr<CHostLookup> m_lookup;
    LaterPtr<QSocketNotifier> m_connectNotifier;
    LaterPtr<QSocketNotifier> m_readNotifier;
    LaterPtr<QSocketNotifier> m_writeNotifier;
};
