#include "engine/CHttpProbe.h"

#include "engine/CSocketWnd.h"
#include "engine/CUrlExtractor.h"
#include "engine/ISessionHost.h"
#include "engine/OutcomeCodes.h"

#include <climits>
#include <sys/socket.h>

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

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

unsigned CHttpProbe::StatusCodeOf(std::string_view reply) {
    // The first non-empty line, read as text: it ends at a line feed or a NUL.
    std::size_t begin = reply.find_first_not_of('\n');
    if (begin == std::string_view::npos)
        return Outcome::kNoStatusCode;
    std::string_view line = reply.substr(begin);
    line = line.substr(0, line.find_first_of(std::string_view("\n\0", 2)));

    // "%s%u": a word, then an unsigned decimal number after white space.
    std::size_t i = 0;
    while (i < line.size() && IsCSpace(line[i]))
        ++i;
    if (i == line.size())
        return Outcome::kNoStatusCode;
    while (i < line.size() && !IsCSpace(line[i]))
        ++i;
    while (i < line.size() && IsCSpace(line[i]))
        ++i;
    if (i < line.size() && line[i] == '+')
        ++i;
    if (i == line.size() || line[i] < '0' || line[i] > '9')
        return Outcome::kNoStatusCode; // also a "-": it would wrap into a large code
    unsigned long long code = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        code = code * 10 + static_cast<unsigned>(line[i] - '0');
        if (code > UINT_MAX)
            return Outcome::kNoStatusCode; // never wraps into a known code
    }
    return static_cast<unsigned>(code);
}

void CHttpProbe::Start(const std::string& link, int scheme, int port, int timeoutMs) {
    Cancel();
    m_bActive = true;
    m_scheme = scheme;
    m_strHost = CUrlExtractor::GetUrlHost(link, scheme);
    m_strPath = CUrlExtractor::GetUrlPath(link, scheme);
    m_replyBuffer.clear();
    m_bPeerClosed = false;
    m_timeoutTimer.start(timeoutMs);

    m_pSocketWnd.reset(new CSocketWnd(m_lookups));
    connect(m_pSocketWnd.get(), &CSocketWnd::ConnectFinished, this, &CHttpProbe::OnConnectFinished);
    connect(m_pSocketWnd.get(), &CSocketWnd::SocketNotify, this, &CHttpProbe::OnSocketNotify);
    m_host.BeginWaitCursor();
    m_bWaitCursor = true;
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connecting to " + m_strHost);
    m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    if (m_knownAddress)
        m_pSocketWnd->ConnectTo(*m_knownAddress, std::to_string(port));
    else
        m_pSocketWnd->Connect(m_strHost, std::to_string(port));
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
    m_pSocketWnd->SelectEvents(CSocketWnd::kFdRead | CSocketWnd::kFdClose);
    if (m_scheme == CUrlExtractor::kSchemeHttp) {
        // One write for the whole request: the bytes on the wire are the same as
        // three, without waiting on the peer's acknowledgements in between.
        const std::string request = "GET " + m_strPath + " HTTP/1.0\r\n\r\n";
        m_pSocketWnd->Send(request.data(), request.size(), 0);
        m_host.SetStatusPane(ISessionHost::Pane::Method, "GET method sent to host");
    } else {
        m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    }
}

bool CHttpProbe::StatusLineComplete() const {
    if (m_replyBuffer.size() >= kReplyCapacity)
        return true;
    std::size_t begin = m_replyBuffer.find_first_not_of('\n');
    return begin != std::string::npos && m_replyBuffer.find('\n', begin) != std::string::npos;
}

void CHttpProbe::OnSocketNotify(int /*socket*/, quint32 lParam) {
    if (!m_pSocketWnd)
        return;
    const quint32 event = lParam & 0xFFFF;
    if (event == CSocketWnd::kFdRead) {
        char chunk[kReplyCapacity];
        ssize_t n =
            m_pSocketWnd->Receive(chunk, kReplyCapacity - m_replyBuffer.size(), MSG_DONTWAIT);
        if (n > 0) {
            if (m_replyBuffer.empty())
                m_host.SetStatusPane(ISessionHost::Pane::Method, "Host Reply Received");
            m_replyBuffer.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0) {
            m_bPeerClosed = true;
        }
        // An ftp greeting is never read: its first bytes finish the link.
        const bool bFtpAnswered = m_scheme == CUrlExtractor::kSchemeFtp && !m_replyBuffer.empty();
        if (bFtpAnswered || StatusLineComplete() || (m_bPeerClosed && !m_replyBuffer.empty())) {
            DrainReply();
            Finish(StatusCodeOf(m_replyBuffer), true);
        }
        return;
    }
    if (event == CSocketWnd::kFdClose) {
        if (!m_replyBuffer.empty()) {
            Finish(StatusCodeOf(m_replyBuffer), true); // closed after a partial status line
            return;
        }
        if (m_bTimeOutOnClose) {
            Finish(Outcome::kTimedOut, false);
            return;
        }
        // Closed without a reply: the link waits for its time-out.
        CloseConnection();
        m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connection Closed by Host");
    }
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
