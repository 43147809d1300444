// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CHttpProbe.h"

#include "engine/CSocketWnd.h"
#include "engine/CUrlExtractor.h"
#include "engine/CWebAddress.h"
#include "engine/CWebHop.h"
#include "engine/ISessionHost.h"
#include "engine/OutcomeCodes.h"

#include <algorithm>
#include <sys/socket.h>

namespace {

constexpr ESocketEvents kReadAndClose = ESocketEvent::Read | ESocketEvent::Close;

} // namespace

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

void CHttpProbe::SetCurrentWeb(bool bOn) {
    if (bOn != (m_pWebHop != nullptr))
        m_pWebHop = bOn ? std::make_unique<CWebHop>() : nullptr;
}

bool CHttpProbe::Redirected() const {
    return m_pWebHop && m_pWebHop->Redirects() > 0;
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
    m_timeoutMs = timeoutMs;
    m_retryAfterSeconds = -1;
    m_bOutOfDescriptors = false;
    if (m_pWebHop) {
        m_pWebHop->Reset(link, port);
        StartHop();
        return;
    }
    m_strHost = CUrlExtractor::GetUrlHost(link, scheme);
    m_strPath = CUrlExtractor::GetUrlPath(link, scheme);
    m_replyBuffer.clear();
    m_bPeerClosed = false;
    m_timeoutTimer.start(timeoutMs);
    Connect(port);
}

void CHttpProbe::Connect(int port) {
    m_pSocketWnd.reset(new CSocketWnd(m_lookups));
    connect(m_pSocketWnd.get(), &CSocketWnd::ConnectFinished, this, &CHttpProbe::OnConnectFinished);
    connect(m_pSocketWnd.get(), &CSocketWnd::SocketNotify, this, &CHttpProbe::OnSocketNotify);
    m_host.BeginWaitCursor();
    m_bWaitCursor = true;
    m_host.SetStatusPane(ISessionHost::EPane::Connection, "Connecting to " + m_strHost);
    m_host.SetStatusPane(ISessionHost::EPane::Method, "");
    // A look-up result handed in belongs to the link's own host, not a redirect's.
    if (m_knownAddress && !Redirected())
        m_pSocketWnd->ConnectTo(*m_knownAddress, std::to_string(port));
    else
        m_pSocketWnd->Connect(m_strHost, std::to_string(port));
}

void CHttpProbe::StartHop() {
    m_replyBuffer.clear();
    m_bPeerClosed = false;
    m_timeoutTimer.start(m_timeoutMs);
    const int port = m_pWebHop->Begin();
    m_strHost = m_pWebHop->Host();
    Connect(port);
}

void CHttpProbe::OnConnectFinished(unsigned code) {
    if (m_bWaitCursor) {
        m_host.EndWaitCursor();
        m_bWaitCursor = false;
    }
    m_host.SetStatusPane(ISessionHost::EPane::Connection, "Connected to " + m_strHost);
    if (code != 0) {
        m_bOutOfDescriptors = m_pSocketWnd->OutOfDescriptors();
        Finish(code, false);
        return;
    }
    m_pSocketWnd->SelectEvents(kReadAndClose);
    if (m_pWebHop && m_pWebHop->StartTls(*m_pSocketWnd)) {
        m_host.SetStatusPane(ISessionHost::EPane::Method, "");
        ContinueTls();
        return;
    }
    if (m_scheme == CUrlExtractor::kSchemeHttp) {
        // One write for the whole request: the bytes on the wire are the same as
        // three, without waiting on the peer's acknowledgements in between.
        const std::string request =
            m_pWebHop ? m_pWebHop->Request() : "GET " + m_strPath + " HTTP/1.0\r\n\r\n";
        m_pSocketWnd->Send(request.data(), request.size(), 0);
        m_host.SetStatusPane(ISessionHost::EPane::Method, "GET method sent to host");
    } else {
        m_host.SetStatusPane(ISessionHost::EPane::Method, "");
    }
}

void CHttpProbe::ContinueTls() {
    switch (m_pWebHop->ContinueTls(*m_pSocketWnd)) {
    case CWebHop::ETlsStep::Waiting:
        return;
    case CWebHop::ETlsStep::Failed:
        Finish(Outcome::kSecureConnectionFailed, false);
        return;
    case CWebHop::ETlsStep::Lost:
        OnClosedWithoutReply();
        return;
    case CWebHop::ETlsStep::Sent:
        m_host.SetStatusPane(ISessionHost::EPane::Method, "GET method sent to host");
        ReceiveTls(); // the reply may have come with the handshake's last bytes
        EvaluateHead();
        return;
    }
}

void CHttpProbe::OnSocketNotify(ESocketEvent event) {
    if (!m_pSocketWnd)
        return;
    if (m_pWebHop) {
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
    if (m_pWebHop->SettingUpTls()) {
        if (event == ESocketEvent::Close)
            Finish(Outcome::kSecureConnectionFailed, false); // closed during the handshake
        else
            ContinueTls();
        return;
    }
    if (m_pWebHop->OverTls())
        ReceiveTls();
    else if (event == ESocketEvent::Read)
        ReceivePlain(kHeadCap);
    if (event == ESocketEvent::Close)
        m_bPeerClosed = true;
    EvaluateHead();
}

void CHttpProbe::ReceivePlain(std::size_t capacity) {
    char chunk[4096];
    const std::size_t room = std::min(sizeof(chunk), capacity - m_replyBuffer.size());
    if (room == 0)
        return; // a read of nothing would look like the host's close
    const ssize_t n = m_pSocketWnd->Receive(chunk, room, MSG_DONTWAIT);
    if (n > 0) {
        if (m_replyBuffer.empty())
            m_host.SetStatusPane(ISessionHost::EPane::Method, "Host Reply Received");
        m_replyBuffer.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
        m_bPeerClosed = true;
    }
}

void CHttpProbe::ReceiveTls() {
    const bool bFirst = m_replyBuffer.empty();
    m_pWebHop->ReadTls(*m_pSocketWnd, m_replyBuffer, kHeadCap, m_bPeerClosed);
    if (bFirst && !m_replyBuffer.empty())
        m_host.SetStatusPane(ISessionHost::EPane::Method, "Host Reply Received");
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
    const bool bAllRead = m_bPeerClosed || m_replyBuffer.size() >= kHeadCap;
    if (!HttpReply::StatusLineComplete(m_replyBuffer) && !bAllRead)
        return;
    const unsigned code = HttpReply::StatusCodeOf(m_replyBuffer);
    const bool bRedirect = HttpReply::IsRedirect(code);
    if (bRedirect || code == HttpReply::kTooManyRequests) {
        // These need their headers: the whole head, or as much as there is.
        if (!bAllRead && !HttpReply::HeadComplete(m_replyBuffer))
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
    switch (m_pWebHop->Redirect(location)) {
    case CWebHop::ERedirect::Stands:
        Finish(code, true);
        return;
    case CWebHop::ERedirect::TooMany:
        Finish(Outcome::kTooManyRedirects, false);
        return;
    case CWebHop::ERedirect::Followed:
        CloseConnection();
        StartHop();
        return;
    }
}

void CHttpProbe::OnClosedWithoutReply() {
    if (m_bTimeOutOnClose) {
        Finish(Outcome::kTimedOut, false);
        return;
    }
    // Closed without a reply: the link waits for its time-out.
    CloseConnection();
    m_host.SetStatusPane(ISessionHost::EPane::Connection, "Connection Closed by Host");
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
    if (m_pWebHop)
        m_pWebHop->Disconnect(); // before its socket closes
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
    m_host.SetStatusPane(ISessionHost::EPane::Connection, "No connection");
}
