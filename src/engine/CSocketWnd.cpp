// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CSocketWnd.h"

#include "base/AsciiText.h"
#include "engine/CHostLookup.h"
#include "engine/OutcomeCodes.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The port as decimal text, as atoi reads it; anything that is not a port
// number from 1 to 65535 counts as 0.
quint16 ParsePort(const std::string& text) {
    using namespace AsciiText;
    return static_cast<quint16>(
        ParseDecimal(TrimStart(text, ESpace::CSpace), EDecimal::Leading, 65535).value_or(0));
}

} // namespace

CSocketWnd::CSocketWnd(CLookupPool& lookups, QObject* parent)
    : QObject(parent), m_lookups(lookups) {
}

CSocketWnd::~CSocketWnd() {
    CloseSocket();
}

void CSocketWnd::FinishLater(unsigned code) {
    // Reported from the event loop, never from inside Connect(); dropped when the
    // socket is closed first.
    QMetaObject::invokeMethod(
        this,
        [this, code, attempt = m_attempt] {
            if (attempt == m_attempt)
                emit ConnectFinished(code);
        },
        Qt::QueuedConnection);
}

void CSocketWnd::Connect(const std::string& hostText, const std::string& portText) {
    m_bOutOfDescriptors = false;
    m_port = ParsePort(portText);
    const std::string host(AsciiText::TrimStart(hostText, AsciiText::ESpace::Blank));
    if (host.empty() || m_port == 0) {
        FinishLater(Outcome::kInvalidPortOrName);
        return;
    }
    in_addr address{};
    if (host[0] >= '0' && host[0] <= '9' && ::inet_aton(host.c_str(), &address) != 0) {
        ConnectTo(address);
        return;
    }
    m_lookup.reset(new CHostLookup);
    connect(m_lookup.get(), &CHostLookup::Finished, this,
            [this, attempt = m_attempt](CHostLookup::EAnswer answer, in_addr found) {
                if (attempt != m_attempt)
                    return; // an answer for an attempt that was closed meanwhile
                m_lookup.reset();
                if (answer == CHostLookup::EAnswer::Found) {
                    ConnectTo(found);
                    return;
                }
                m_bOutOfDescriptors = answer == CHostLookup::EAnswer::NoDescriptor;
                emit ConnectFinished(Outcome::kHostNotFound);
            });
    m_lookup->Start(m_lookups, host);
}

void CSocketWnd::ConnectTo(in_addr address, const std::string& portText) {
    m_bOutOfDescriptors = false;
    m_port = ParsePort(portText);
    if (m_port == 0)
        FinishLater(Outcome::kInvalidPortOrName);
    else
        ConnectTo(address);
}

void CSocketWnd::ConnectTo(in_addr address) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_bOutOfDescriptors = errno == EMFILE || errno == ENFILE;
        FinishLater(Outcome::kNoSocket);
        return;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(m_port);
    peer.sin_addr = address;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0) {
        m_socket = fd;
        FinishLater(0);
        return;
    }
    if (errno != EINPROGRESS) {
        ::close(fd);
        FinishLater(Outcome::kCannotConnect);
        return;
    }
    m_pendingSocket = fd;
    m_connectNotifier.reset(new QSocketNotifier(fd, QSocketNotifier::Write));
    connect(m_connectNotifier.get(), &QSocketNotifier::activated, this,
            &CSocketWnd::OnConnectWritable);
}

void CSocketWnd::OnConnectWritable() {
    m_connectNotifier->setEnabled(false);
    m_connectNotifier.reset();
    int error = 0;
    socklen_t length = sizeof(error);
    int fd = m_pendingSocket;
    m_pendingSocket = -1;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        ::close(fd);
        emit ConnectFinished(Outcome::kCannotConnect);
        return;
    }
    m_socket = fd;
    emit ConnectFinished(0);
}

int CSocketWnd::SelectEvents(ESocketEvents events) {
    if (m_socket < 0)
        return kSocketError;
    m_events = events;
    if (!m_readNotifier) {
        m_readNotifier.reset(new QSocketNotifier(m_socket, QSocketNotifier::Read));
        connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &CSocketWnd::OnReadable);
    }
    m_readNotifier->setEnabled(events.testAnyFlags(ESocketEvent::Read | ESocketEvent::Close));
    const bool bWrite = events.testFlag(ESocketEvent::Write);
    if (bWrite && !m_writeNotifier) {
        m_writeNotifier.reset(new QSocketNotifier(m_socket, QSocketNotifier::Write));
        connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &CSocketWnd::OnWritable);
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(bWrite);
    return 0;
}

void CSocketWnd::OnWritable() {
    if (m_events.testFlag(ESocketEvent::Write))
        emit SocketNotify(ESocketEvent::Write);
}

void CSocketWnd::OnReadable() {
    char probe = 0;
    ssize_t n = ::recv(m_socket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n > 0) {
        if (m_events.testFlag(ESocketEvent::Read))
            emit SocketNotify(ESocketEvent::Read);
        return;
    }
    // An orderly close or a reset: reported once, as the socket library did.
    m_readNotifier->setEnabled(false);
    if (m_events.testFlag(ESocketEvent::Close))
        emit SocketNotify(ESocketEvent::Close);
}

ssize_t CSocketWnd::Send(const char* data, std::size_t length, int flags) {
    if (m_socket < 0)
        return 0;
    return ::send(m_socket, data, length, flags | MSG_NOSIGNAL);
}

ssize_t CSocketWnd::Receive(char* buffer, std::size_t size, int flags) {
    if (m_socket < 0)
        return kSocketError;
    return ::recv(m_socket, buffer, size, flags);
}

int CSocketWnd::CloseSocket() {
    ++m_attempt;
    if (m_lookup) {
        m_lookup->disconnect(this); // a late answer must not revive the attempt
        m_lookup.reset();
    }
    if (m_connectNotifier) {
        m_connectNotifier->setEnabled(false);
        m_connectNotifier.reset();
    }
    for (LaterPtr<QSocketNotifier>* pNotifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*pNotifier) {
            (*pNotifier)->setEnabled(false);
            pNotifier->reset();
        }
    }
    int result = 0;
    if (m_pendingSocket >= 0) {
        ::close(m_pendingSocket);
        m_pendingSocket = -1;
    }
    if (m_socket >= 0) {
        result = ::close(m_socket);
        m_socket = -1;
    }
    return result;
}
