#include "engine/CHttpProbe.h"

#include "base/AsciiText.h"
#include "engine/CSocketWnd.h"
#include "engine/CTlsChannel.h"
#include "engine/CUrlExtractor.h"
#include "engine/CWebAddress.h"
#include "engine/HttpReply.h"
#include "engine/ISessionHost.h"
#include "engine/OutcomeCodes.h"

#include <algorithm>
#include <sys/socket.h>

CHttpProbe::CHttpProbe(ISessionHost& host, CLookupPool& lookups, QObject* parent)
    : QObject(parent), m_host(host), m_lookups(lookups) {
    // A coarse timer may fire 5 % early and turn a slow answer into a time-out.
    m_timeoutTimer.setTimerType(Qt::PreciseTimer);
    m_timeoutTimer.setSingleShot(true);
    connect(&m_timeoutTimer, &QTimer::timeout, this, [this] { Finish(Outcome::kTimedOut, false); });
}

CHttpProbe::~CHttpProbe() {
    Cancel();
}

std::string CHttpProbe::HostOf(const std::string& link, int scheme, bool bCurrentWeb) {
    if (!bCurrentWeb)
        return CUrlExtractor::GetUrlHost(link, scheme);
    const std::optional<SWebAddress> address = CWebAddress::Parse(link);
    return address ? address->host : std::string();
}

void CHttpProbe::Start(const std::string& link, int scheme, int port, int timeoutMs) {
    Cancel();
    m_bActive = true;
    m_scheme = scheme;
    m_port = port;
    m_timeoutMs = timeoutMs;
    m_redirects = 0;
    m_visited.clear();
    m_retryAfterSeconds = -1;
    if (m_bCurrentWeb) {
        StartHop(link);
        return;
    }
    m_strHost = CUrlExtractor::GetUrlHost(link, scheme);
    m_strPath = CUrlExtractor::GetUrlPath(link, scheme);
    m_replyBuffer.clear();
    m_bPeerClosed = false;
    m_timeoutTimer.start(timeoutMs);
    Connect(std::to_string(port));
}

void CHttpProbe::Connect(const std::string& port) {
    m_pSocketWnd.reset(new CSocketWnd(m_lookups));
    connect(m_pSocketWnd.get(), &CSocketWnd::ConnectFinished, this, &CHttpProbe::OnConnectFinished);
    connect(m_pSocketWnd.get(), &CSocketWnd::SocketNotify, this, &CHttpProbe::OnSocketNotify);
    m_host.BeginWaitCursor();
    m_bWaitCursor = true;
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connecting to " + m_strHost);
    m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    // A look-up result handed in belongs to the link's own host, not a redirect's.
    if (m_knownAddress && m_redirects == 0)
        m_pSocketWnd->ConnectTo(*m_knownAddress, port);
    else
        m_pSocketWnd->Connect(m_strHost, port);
}

void CHttpProbe::StartHop(const std::string& url) {
    m_strUrl = url;
    m_replyBuffer.clear();
    m_bPeerClosed = false;
    m_pTls.reset();
    m_timeoutTimer.start(m_timeoutMs);
    const std::optional<SWebAddress> address = CWebAddress::Parse(url);
    const bool bControl =
        address && std::any_of(address->host.begin(), address->host.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
    if (!address || bControl) {
        m_strHost.clear(); // no host: the socket reports an invalid name
        Connect("0");
        return;
    }
    // Blanks before the name are no part of it, in the Host header or for TLS.
    m_strHost = AsciiText::TrimStart(address->host, AsciiText::ESpace::Blank);
    m_strPath = address->path;
    const bool bTls = address->scheme == SWebAddress::EScheme::Https;
    // The port given is the link's own scheme's; a hop to https goes to 443.
    const int defaultPort = bTls ? address->StandardPort() : m_port;
    const int port = address->PortOr(defaultPort);
    m_visited.push_back(CWebAddress::Key(*address, port));
    m_tlsPhase = bTls ? ETlsPhase::Handshake : ETlsPhase::Read;
    m_hopPort = port;
    m_bHopTls = bTls;
    m_bHostWithPort = port != address->StandardPort();
    Connect(port == SWebAddress::kUnusablePort ? "0" : std::to_string(port));
}

void CHttpProbe::OnConnectFinished(unsigned code) {
    if (m_bWaitCursor) {
        m_host.EndWaitCursor();
        m_bWaitCursor = false;
    }
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connected to " + m_strHost);
    if (code != 0) {
        Finish(code, false);
        return;
    }
    m_pSocketWnd->SelectEvents(ESocketEvent::Read | ESocketEvent::Close);
    if (m_bCurrentWeb && m_bHopTls) {
        m_pTls = std::make_unique<CTlsChannel>(m_pSocketWnd->Socket(), m_strHost, m_hopPort);
        m_bWatchingWrite = false;
        m_host.SetStatusPane(ISessionHost::Pane::Method, "");
        ContinueTls();
        return;
    }
    if (m_scheme == CUrlExtractor::kSchemeHttp) {
        // One write for the whole request: the bytes on the wire are the same as
        // three, without waiting on the peer's acknowledgements in between.
        const std::string request = Request();
        m_pSocketWnd->Send(request.data(), request.size(), 0);
        m_host.SetStatusPane(ISessionHost::Pane::Method, "GET method sent to host");
    } else {
        m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    }
}

std::string CHttpProbe::Request() const {
    std::string request = "GET ";
    request += m_strPath;
    if (!m_bCurrentWeb)
        return request += " HTTP/1.0\r\n\r\n";
    request += " HTTP/1.1\r\nHost: ";
    request += m_strHost;
    if (m_bHostWithPort)
        request.append(1, ':').append(std::to_string(m_hopPort));
    request += "\r\nUser-Agent: ";
    request += kUserAgent;
    return request += "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

void CHttpProbe::ContinueTls() {
    CTlsChannel::EStatus status = CTlsChannel::EStatus::Done;
    if (m_tlsPhase == ETlsPhase::Handshake) {
        status = m_pTls->Handshake();
        if (status == CTlsChannel::EStatus::Failed) {
            Finish(Outcome::kSecureConnectionFailed, false);
            return;
        }
        if (status == CTlsChannel::EStatus::Done)
            m_tlsPhase = ETlsPhase::Send;
    }
    if (m_tlsPhase == ETlsPhase::Send) {
        status = m_pTls->Write(Request());
        if (status == CTlsChannel::EStatus::Failed) {
            OnClosedWithoutReply(); // the host went before the request was out
            return;
        }
        if (status == CTlsChannel::EStatus::Done) {
            m_tlsPhase = ETlsPhase::Read;
            m_host.SetStatusPane(ISessionHost::Pane::Method, "GET method sent to host");
        }
    }
    if (m_tlsPhase == ETlsPhase::Read) {
        ReceiveTls(); // the reply may have come with the handshake's last bytes
        EvaluateHead();
        return;
    }
    WatchWrite(status == CTlsChannel::EStatus::WantWrite);
}

void CHttpProbe::OnSocketNotify(ESocketEvent event) {
    if (!m_pSocketWnd)
        return;
    if (m_bCurrentWeb) {
        OnCurrentWebEvent(event);
        return;
    }
    if (event == ESocketEvent::Read) {
        ReceivePlain(kReplyCapacity);
        // An ftp greeting is never read: its first bytes finish the link.
        const bool bFtpAnswered = m_scheme == CUrlExtractor::kSchemeFtp && !m_replyBuffer.empty();
        if (bFtpAnswered || HttpReply::StatusLineComplete(m_replyBuffer) ||
            (m_bPeerClosed && !m_replyBuffer.empty())) {
            DrainReply();
            Finish(HttpReply::StatusCodeOf(m_replyBuffer), true);
        }
        return;
    }
    if (event == ESocketEvent::Close) {
        if (!m_replyBuffer.empty()) { // closed after a partial status line
            Finish(HttpReply::StatusCodeOf(m_replyBuffer), true);
            return;
        }
        OnClosedWithoutReply();
    }
}

void CHttpProbe::OnCurrentWebEvent(ESocketEvent event) {
    if (m_pTls && m_tlsPhase != ETlsPhase::Read) {
        if (event == ESocketEvent::Close)
            Finish(Outcome::kSecureConnectionFailed, false); // closed during the handshake
        else
            ContinueTls();
        return;
    }
    if (m_pTls)
        ReceiveTls();
    else if (event == ESocketEvent::Read)
        ReceivePlain(kHeadCap);
    if (event == ESocketEvent::Close)
        m_bPeerClosed = true;
    EvaluateHead();
}

void CHttpProbe::WatchWrite(bool bWrite) {
    if (bWrite != m_bWatchingWrite) {
        m_bWatchingWrite = bWrite;
        m_pSocketWnd->SelectEvents(ESocketEvent::Read | ESocketEvent::Close |
                                   (bWrite ? ESocketEvent::Write : ESocketEvents()));
    }
}

void CHttpProbe::ReceivePlain(std::size_t capacity) {
    char chunk[4096];
    const std::size_t room = std::min(sizeof(chunk), capacity - m_replyBuffer.size());
    if (room == 0)
        return; // a read of nothing would look like the host's close
    const ssize_t n = m_pSocketWnd->Receive(chunk, room, MSG_DONTWAIT);
    if (n > 0) {
        if (m_replyBuffer.empty())
            m_host.SetStatusPane(ISessionHost::Pane::Method, "Host Reply Received");
        m_replyBuffer.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
        m_bPeerClosed = true;
    }
}

void CHttpProbe::ReceiveTls() {
    // All that TLS has decrypted, up to the cap: none of it may wait unseen
    // inside the channel while the socket is quiet.
    char chunk[4096];
    CTlsChannel::EStatus status = CTlsChannel::EStatus::Done;
    while (m_replyBuffer.size() < kHeadCap && !m_bPeerClosed) {
        const std::size_t room = std::min(sizeof(chunk), kHeadCap - m_replyBuffer.size());
        const ssize_t n = m_pTls->Read(chunk, room, status);
        if (n < 0)
            break;
        if (n == 0) {
            m_bPeerClosed = true;
            break;
        }
        if (m_replyBuffer.empty())
            m_host.SetStatusPane(ISessionHost::Pane::Method, "Host Reply Received");
        m_replyBuffer.append(chunk, static_cast<std::size_t>(n));
    }
    WatchWrite(status == CTlsChannel::EStatus::WantWrite);
}

void CHttpProbe::EvaluateHead() {
    if (m_replyBuffer.empty()) {
        if (m_bPeerClosed)
            OnClosedWithoutReply();
        return;
    }
    // An ftp greeting is never read: its first bytes finish the link.
    if (m_scheme == CUrlExtractor::kSchemeFtp) {
        Finish(HttpReply::StatusCodeOf(m_replyBuffer), true);
        return;
    }
    const bool bHeadEnds = m_bPeerClosed || m_replyBuffer.size() >= kHeadCap;
    if (!HttpReply::StatusLineComplete(m_replyBuffer) && !bHeadEnds)
        return;
    const unsigned code = HttpReply::StatusCodeOf(m_replyBuffer);
    const bool bRedirect = HttpReply::IsRedirect(code);
    if (bRedirect || code == HttpReply::kTooManyRequests) {
        // These need their headers: the whole head, or as much as there is.
        if (!bHeadEnds && !HttpReply::HeadComplete(m_replyBuffer))
            return;
        const std::string_view head(m_replyBuffer);
        if (const auto location = HttpReply::HeaderValue(head, "Location"); bRedirect && location) {
            FollowRedirect(code, *location);
            return;
        }
        if (code == HttpReply::kTooManyRequests)
            m_retryAfterSeconds = HttpReply::RetryAfterSeconds(head);
    }
    Finish(code, true);
}

void CHttpProbe::FollowRedirect(unsigned code, std::string_view location) {
    const std::optional<std::string> next = CWebAddress::Resolve(m_strUrl, location);
    if (!next) {
        Finish(code, true); // a place no browser would go on to: the redirect stands
        return;
    }
    const std::optional<SWebAddress> address = CWebAddress::Parse(*next);
    const int port = address->PortOr(address->scheme == SWebAddress::EScheme::Https ? 443 : m_port);
    const bool bLoop = std::find(m_visited.begin(), m_visited.end(),
                                 CWebAddress::Key(*address, port)) != m_visited.end();
    if (bLoop || m_redirects == kMostRedirects) {
        Finish(Outcome::kTooManyRedirects, false);
        return;
    }
    ++m_redirects;
    CloseConnection();
    StartHop(*next);
}

void CHttpProbe::OnClosedWithoutReply() {
    if (m_bTimeOutOnClose) {
        Finish(Outcome::kTimedOut, false);
        return;
    }
    // Closed without a reply: the link waits for its time-out.
    CloseConnection();
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connection Closed by Host");
}

void CHttpProbe::DrainReply() {
    // Only what is waiting now, and never more than a fixed amount: a host that
    // keeps sending cannot hold the link.
    char discard[kReplyCapacity];
    for (std::size_t total = 0; total < kDrainCap;) {
        ssize_t n = m_pSocketWnd->Receive(discard, sizeof(discard), MSG_DONTWAIT);
        if (n <= 0)
            break;
        total += static_cast<std::size_t>(n);
    }
}

void CHttpProbe::Finish(unsigned code, bool bReplied) {
    if (!m_bActive)
        return;
    m_bActive = false;
    m_timeoutTimer.stop();
    if (m_pSocketWnd)
        CloseConnection();
    emit Finished(code, bReplied); // last: the receiver may release the probe
}

void CHttpProbe::Cancel() {
    m_bActive = false;
    m_timeoutTimer.stop();
    if (m_pSocketWnd)
        ReleaseSocket();
}

void CHttpProbe::ReleaseSocket() {
    m_pTls.reset(); // before its socket closes
    m_pSocketWnd->disconnect(this);
    m_pSocketWnd->CloseSocket();
    m_pSocketWnd.reset();
    if (m_bWaitCursor) { // an attempt cut short
        m_host.EndWaitCursor();
        m_bWaitCursor = false;
    }
}

void CHttpProbe::CloseConnection() {
    ReleaseSocket();
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "No connection");
}
