// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CDeleteLater.h"

#include <QFlags>
#include <QObject>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>

class CHostLookup;
class CLookupPool;
class QSocketNotifier;

/// What a connection reports once asked to.
enum class ESocketEvent {
    Read = 0x1,  ///< data waits to be read
    Write = 0x2, ///< there is room to write
    Close = 0x4, ///< the peer closed or reset the connection
};
Q_DECLARE_FLAGS(ESocketEvents, ESocketEvent)
Q_DECLARE_OPERATORS_FOR_FLAGS(ESocketEvents)

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
/// After SelectEvents(), SocketNotify() reports each event asked for, one at a
/// time, in the order they occur; the peer's close is reported once.
/// CloseSocket() ends everything, an attempt in flight included; nothing is
/// reported after it.
class CSocketWnd : public QObject {
    Q_OBJECT
public:
    static constexpr int kSocketError = -1;

    explicit CSocketWnd(CLookupPool& lookups, QObject* parent = nullptr);
    ~CSocketWnd() override;

    void Connect(const std::string& host, const std::string& port);
    /// Connects to an address already known, without a look-up.
    void ConnectTo(in_addr address, const std::string& port);
    /// Asks for `events` (and no others); returns 0, or -1 without a connected socket.
    int SelectEvents(ESocketEvents events);
    /// Never raises SIGPIPE. Returns 0 without a connected socket.
    ssize_t Send(const char* data, std::size_t length, int flags);
    ssize_t Receive(char* buffer, std::size_t size, int flags);
    int CloseSocket();
    /// The connected socket, or -1.
    int Socket() const { return m_socket; }
    /// After ConnectFinished() with 10002 or 10003: whether the look-up or the
    /// socket failed only for want of a file descriptor (EMFILE, ENFILE).
    bool OutOfDescriptors() const { return m_bOutOfDescriptors; }

signals:
    void ConnectFinished(unsigned code);
    void SocketNotify(ESocketEvent event);

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
    ESocketEvents m_events;
    unsigned m_attempt = 0; // outcomes of earlier attempts are dropped
    bool m_bOutOfDescriptors = false;
    LaterPtr<CHostLookup> m_lookup;
    LaterPtr<QSocketNotifier> m_connectNotifier;
    LaterPtr<QSocketNotifier> m_readNotifier;
    LaterPtr<QSocketNotifier> m_writeNotifier;
};
