// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CWebHop.h"

#include "base/AsciiText.h"
#include "engine/CSocketWnd.h"
#include "engine/CTlsChannel.h"

#include <algorithm>

CWebHop::CWebHop() = default;
CWebHop::~CWebHop() = default;

void CWebHop::Reset(const std::string& link, int schemePort) {
    m_strUrl = link;
    m_schemePort = schemePort;
    m_redirects = 0;
    m_visited.clear();
}

int CWebHop::PortOf(const SWebAddress& address) const {
    // The port given is the link's own scheme's; a hop to https goes to 443.
    return address.PortOr(address.scheme == SWebAddress::EScheme::Https ? address.StandardPort()
                                                                        : m_schemePort);
}

int CWebHop::Begin() {
    m_pTls.reset();
    m_address = CWebAddress::Parse(m_strUrl);
    const bool bControl =
        m_address && std::any_of(m_address->host.begin(), m_address->host.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
    if (!m_address || bControl) {
        m_address.reset();
        m_strHost.clear(); // no host: the socket reports an invalid name
        return 0;
    }
    // Blanks before the name are no part of it, in the Host header or for TLS.
    m_strHost = AsciiText::TrimStart(m_address->host, AsciiText::ESpace::Blank);
    m_port = PortOf(*m_address);
    m_visited.push_back(CWebAddress::Key(*m_address, m_port));
    m_tlsPhase = ETlsPhase::Handshake;

    m_strRequest = "GET " + m_address->path + " HTTP/1.1\r\nHost: " + m_strHost;
    if (m_port != m_address->StandardPort())
        m_strRequest.append(1, ':').append(std::to_string(m_port));
    m_strRequest += "\r\nUser-Agent: ";
    m_strRequest += kUserAgent;
    m_strRequest += "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    return m_port == SWebAddress::kUnusablePort ? 0 : m_port;
}

bool CWebHop::StartTls(CSocketWnd& socket) {
    if (!m_address || m_address->scheme != SWebAddress::EScheme::Https)
        return false;
    m_pTls = std::make_unique<CTlsChannel>(socket.Socket(), m_strHost, m_port);
    m_bWatchingWrite = false;
    return true;
}

CWebHop::ETlsStep CWebHop::ContinueTls(CSocketWnd& socket) {
    CTlsChannel::EStatus status = CTlsChannel::EStatus::Done;
    if (m_tlsPhase == ETlsPhase::Handshake) {
        status = m_pTls->Handshake();
        if (status == CTlsChannel::EStatus::Failed)
            return ETlsStep::Failed;
        if (status == CTlsChannel::EStatus::Done)
            m_tlsPhase = ETlsPhase::Send;
    }
    if (m_tlsPhase == ETlsPhase::Send) {
        status = m_pTls->Write(m_strRequest);
        if (status == CTlsChannel::EStatus::Failed)
            return ETlsStep::Lost;
        if (status == CTlsChannel::EStatus::Done) {
            m_tlsPhase = ETlsPhase::Read;
            return ETlsStep::Sent;
        }
    }
    WatchWrite(socket, status == CTlsChannel::EStatus::WantWrite);
    return ETlsStep::Waiting;
}

void CWebHop::ReadTls(CSocketWnd& socket, std::string& reply, std::size_t capacity,
                      bool& bPeerClosed) {
    // All that TLS has decrypted, up to the cap: none of it may wait unseen
    // inside the channel while the socket is quiet.
    char chunk[4096];
    CTlsChannel::EStatus status = CTlsChannel::EStatus::Done;
    while (reply.size() < capacity && !bPeerClosed) {
        const std::size_t room = std::min(sizeof(chunk), capacity - reply.size());
        const ssize_t n = m_pTls->Read(chunk, room, status);
        if (n < 0)
            break;
        if (n == 0) {
            bPeerClosed = true;
            break;
        }
        reply.append(chunk, static_cast<std::size_t>(n));
    }
    WatchWrite(socket, status == CTlsChannel::EStatus::WantWrite);
}

void CWebHop::WatchWrite(CSocketWnd& socket, bool bWrite) {
    if (bWrite != m_bWatchingWrite) {
        m_bWatchingWrite = bWrite;
        socket.SelectEvents(ESocketEvent::Read | ESocketEvent::Close |
                            (bWrite ? ESocketEvent::Write : ESocketEvents()));
    }
}

void CWebHop::Disconnect() {
    m_pTls.reset();
}

CWebHop::ERedirect CWebHop::Redirect(std::string_view location) {
    std::optional<std::string> next = CWebAddress::Resolve(m_strUrl, location);
    if (!next)
        return ERedirect::Stands;
    const std::optional<SWebAddress> address = CWebAddress::Parse(*next);
    const std::string key = CWebAddress::Key(*address, PortOf(*address));
    if (std::find(m_visited.begin(), m_visited.end(), key) != m_visited.end() ||
        m_redirects == kMostRedirects)
        return ERedirect::TooMany;
    ++m_redirects;
    m_strUrl = std::move(*next);
    return ERedirect::Followed;
}
