#include "engine/CTestSession.h"

#include "engine/CFileEnumerator.h"
#include "engine/CSocketWnd.h"
#include "engine/CUrlExtractor.h"

#include <QDateTime>
#include <QLocale>
#include <climits>
#include <cstdio>
#include <sys/socket.h>

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Summary(const std::string& file, int urls, int errors) {
    return "Results for " + file + ": URLs tested: " + std::to_string(urls) +
           ". URL errors: " + std::to_string(errors) + ".\r\n";
}

} // namespace

CTestSession::CTestSession(ISessionHost& host, CSettingsStore& settings, QObject* parent)
    : QObject(parent), m_host(host), m_reasons(host) {
    m_reasons.Load(settings);
    m_stepTimer.setInterval(kStepIntervalMs);
    m_stepTimer.setTimerType(Qt::PreciseTimer); // the test's pace: no drift per tick
    connect(&m_stepTimer, &QTimer::timeout, this, &CTestSession::NextStep);
    connect(&m_timeoutTimer, &QTimer::timeout, this, &CTestSession::OnTimeout);
}

CTestSession::~CTestSession() {
    StopTimers();
    ResetSession(false);
}

void CTestSession::SetPorts(int httpPort, int ftpPort) {
    m_httpPort = httpPort;
    m_ftpPort = ftpPort;
}

std::string CTestSession::LongDateTime() {
    // Locale text for the log's start and end lines only; no page bytes pass here.
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t')); // the time zone: not part of the form
    QString text = locale.toString(now.date(), QLocale::LongFormat) + QLatin1Char(' ') +
                   locale.toString(now.time(), timeFormat.trimmed());
    return text.toStdString();
}

unsigned CTestSession::StatusCodeOf(std::string_view reply) {
    // The first non-empty line, read as text: it ends at a line feed or a NUL.
    std::size_t begin = reply.find_first_not_of('\n');
    if (begin == std::string_view::npos)
        return kNoStatusCode;
    std::string_view line = reply.substr(begin);
    line = line.substr(0, line.find_first_of(std::string_view("\n\0", 2)));

    // "%s%u": a word, then an unsigned decimal number after white space.
    std::size_t i = 0;
    while (i < line.size() && IsCSpace(line[i]))
        ++i;
    if (i == line.size())
        return kNoStatusCode;
    while (i < line.size() && !IsCSpace(line[i]))
        ++i;
    while (i < line.size() && IsCSpace(line[i]))
        ++i;
    if (i < line.size() && line[i] == '+')
        ++i;
    if (i == line.size() || line[i] < '0' || line[i] > '9')
        return kNoStatusCode; // also a "-": it would wrap into a large code
    unsigned long long code = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        code = code * 10 + static_cast<unsigned>(line[i] - '0');
        if (code > UINT_MAX)
            return kNoStatusCode; // never wraps into a known code
    }
    return static_cast<unsigned>(code);
}

void CTestSession::Message(const std::string& text) {
    // Step ticks that arrive while the message is open do not start a probe.
    ++m_modalDepth;
    m_host.ShowMessage(text);
    --m_modalDepth;
}

void CTestSession::TransferProgress() {
    if (m_bProgressShown)
        m_host.UpdateProgress(m_progress);
}

void CTestSession::StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly) {
    if (m_bTestRunning)
        return;
    m_fileList = CFileEnumerator::CollectFiles(path, recurse, allFiles, htmlOnly);
    m_fileCount = static_cast<int>(std::min<std::size_t>(m_fileList.size(), INT_MAX));
    if (m_fileCount == 0) {
        Message(kNoFilesMessage);
        return;
    }

    m_progress = SProgressValues();
    m_progress.fileBarMax = m_fileCount;
    m_bProgressShown = true;
    m_host.ShowProgress();
    TransferProgress();
    m_fileErrorCount = -1;
    m_bTestEnded = false;
    m_bStoppedOnError = false;
    m_reasons.m_bUnknownReason = false;
    if (!m_bStatusProgressCreated) {
        m_host.SetActivityIndicator(0);
        m_blinkCount = 0;
        m_bStatusProgressCreated = true;
    }
    m_host.ClearLogAndResults();
    m_host.AppendLog("Start of test " + LongDateTime() + "\r\n");
    m_stepTimer.start();
    m_bTestRunning = true;
}

void CTestSession::NextStep() {
    if (++m_blinkCount == 10) {
        m_host.SetActivityIndicator(1);
        m_blinkCount = -10;
    }
    if (m_blinkCount == 0)
        m_host.SetActivityIndicator(0);

    if (m_pSocketWnd || m_bAwaitingReply || m_modalDepth > 0)
        return;
    if (!m_urlList.empty()) {
        ProbeNextUrl();
        return;
    }
    if (m_fileList.empty()) {
        EndTest();
        return;
    }

    if (m_fileErrorCount != -1)
        AppendFileSummary();
    m_currentFile = m_fileList.front();
    m_progress.currentFile = m_currentFile;
    m_progress.fileIndex = std::to_string(m_fileCount - static_cast<int>(m_fileList.size()) + 1);
    m_progress.fileTotal = std::to_string(m_fileCount);
    if (m_fileErrorCount != -1) {
        m_progress.fileBarPos = std::min(m_progress.fileBarPos + 1, m_progress.fileBarMax);
        m_progress.urlBarPos = 0;
    }
    TransferProgress();
    m_fileErrorCount = 0;
    m_urlCount = 0;

    if (!CUrlExtractor::ExtractUrls(m_currentFile, m_urlList, m_siteNameList)) {
        StopTimers();
        Message("Error: Cannot open file:\n\n" + m_currentFile);
        Message("Processing has stopped");
        m_bStoppedOnError = true;
        m_fileList.clear();
        EndTest();
        return;
    }
    m_urlCount = static_cast<int>(std::min<std::size_t>(m_urlList.size(), INT_MAX));
    m_host.AppendLog("Testing: " + m_currentFile);
    m_fileList.pop_front();
    if (!m_urlList.empty()) {
        m_progress.urlBarMax = m_urlCount;
        TransferProgress();
        ProbeNextUrl();
    }
}

void CTestSession::AppendFileSummary() {
    m_host.AppendLog(Summary(m_currentFile, m_urlCount, m_fileErrorCount));
}

void CTestSession::ProbeNextUrl() {
    const std::string link = m_urlList.front();
    m_scheme = CUrlExtractor::SchemeOf(link, m_scheme);
    m_progress.currentUrl = link;
    m_progress.siteName = m_siteNameList.front();
    m_progress.urlIndex = std::to_string(m_urlCount - static_cast<int>(m_urlList.size()) + 1);
    m_progress.urlTotal = std::to_string(m_urlCount);
    TransferProgress();

    m_bTimeoutRunning = true;
    m_timeoutTimer.start(m_reasons.TimeoutMs());
    ConnectAndRequest(link);
}

void CTestSession::ConnectAndRequest(const std::string& link) {
    m_strProbeHost = CUrlExtractor::GetUrlHost(link, m_scheme);
    const int port = m_scheme == CUrlExtractor::kSchemeFtp ? m_ftpPort : m_httpPort;
    if (m_pSocketWnd)
        CloseConnection();

    m_pSocketWnd.reset(new CSocketWnd);
    connect(m_pSocketWnd.get(), &CSocketWnd::ConnectFinished, this,
            &CTestSession::OnConnectFinished);
    connect(m_pSocketWnd.get(), &CSocketWnd::SocketNotify, this, &CTestSession::OnSocketNotify);
    m_replyBuffer.clear();
    m_bPeerClosed = false;

    m_host.BeginWaitCursor();
    m_bWaitCursor = true;
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connecting to " + m_strProbeHost);
    m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    // The outcome arrives in OnConnectFinished; meanwhile the socket window's
    // existence keeps step ticks from starting another probe.
    m_pSocketWnd->Connect(m_strProbeHost, std::to_string(port));
}

void CTestSession::OnConnectFinished(unsigned code) {
    if (m_bWaitCursor) {
        m_host.EndWaitCursor();
        m_bWaitCursor = false;
    }
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connected to " + m_strProbeHost);
    if (code != 0) {
        CloseConnection();
        FailUrl(code);
        return;
    }
    m_pSocketWnd->SelectEvents(CSocketWnd::kFdRead | CSocketWnd::kFdClose);
    if (m_scheme == CUrlExtractor::kSchemeHttp) {
        const std::string path = CUrlExtractor::GetUrlPath(m_urlList.front(), m_scheme);
        // One write for the whole request: the bytes on the wire are the same as
        // three, without waiting on the peer's acknowledgements in between.
        const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
        m_pSocketWnd->Send(request.data(), request.size(), 0);
        m_host.SetStatusPane(ISessionHost::Pane::Method, "GET method sent to host");
    } else {
        m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    }
    m_bAwaitingReply = true;
}

bool CTestSession::StatusLineComplete() const {
    if (m_replyBuffer.size() >= kReplyCapacity)
        return true;
    std::size_t begin = m_replyBuffer.find_first_not_of('\n');
    return begin != std::string::npos && m_replyBuffer.find('\n', begin) != std::string::npos;
}

void CTestSession::OnSocketNotify(int /*socket*/, quint32 lParam) {
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
            FinishUrl();
        }
        return;
    }
    if (event == CSocketWnd::kFdClose) {
        if (!m_replyBuffer.empty()) {
            FinishUrl(); // the host closed after a partial status line
            return;
        }
        // Closed without a reply: the link waits for its time-out.
        CloseConnection();
        m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connection Closed by Host");
    }
}

void CTestSession::DrainReply() {
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

void CTestSession::AddResultRow(unsigned code) {
    m_host.AddResultRow(
        {m_urlList.front(), m_reasons.ReasonText(code), m_siteNameList.front(), m_currentFile});
    ++m_fileErrorCount;
}

void CTestSession::PopHeadLink() {
    m_urlList.pop_front();
    m_siteNameList.pop_front();
}

void CTestSession::FinishUrl() {
    if (!m_bAwaitingReply)
        return;
    m_bAwaitingReply = false;
    StopTimeout();
    const unsigned code = StatusCodeOf(m_replyBuffer);
    if (m_scheme == CUrlExtractor::kSchemeHttp && m_reasons.IsReasonReported(code))
        AddResultRow(code);
    PopHeadLink();
    StepUrlBar();
    if (m_pSocketWnd)
        CloseConnection();
}

void CTestSession::StepUrlBar() {
    m_progress.urlBarPos = std::min(m_progress.urlBarPos + 1, m_progress.urlBarMax);
    TransferProgress();
}

void CTestSession::StopTimeout() {
    if (m_bTimeoutRunning) {
        m_timeoutTimer.stop();
        m_bTimeoutRunning = false;
    }
}

void CTestSession::FailUrl(unsigned code) {
    if (m_urlList.empty()) {
        Message("empty URL list");
    } else {
        if (m_reasons.IsReasonReported(code))
            AddResultRow(code);
        PopHeadLink();
    }
    StepUrlBar();
    if (m_pSocketWnd)
        CloseConnection();
    StopTimeout();
    m_bAwaitingReply = false;
}

void CTestSession::OnTimeout() {
    StopTimeout();
    FailUrl(10005);
}

void CTestSession::StopTimers() {
    if (m_bTestRunning) {
        m_stepTimer.stop();
        m_bTestRunning = false;
    }
    StopTimeout();
}

void CTestSession::EndTest() {
    StopTimers();
    ResetSession(true);
    AppendFileSummary();
    m_host.AppendLog("End of test: " + LongDateTime());
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Search Complete");
    m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    m_host.Beep(ISessionHost::BeepKind::Default);
    emit TestFinished();
}

void CTestSession::OnStopTest() {
    if (!m_bTestRunning)
        return;
    StopTimers();
    ResetSession(true);
    m_host.AppendLog("Testing Stopped by User");
    emit TestFinished();
}

void CTestSession::ReleaseSocketWindow() {
    m_pSocketWnd->disconnect(this);
    m_pSocketWnd->CloseSocket();
    m_pSocketWnd.reset();
    if (m_bWaitCursor) { // an attempt cut short
        m_host.EndWaitCursor();
        m_bWaitCursor = false;
    }
}

void CTestSession::CloseConnection() {
    ReleaseSocketWindow();
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "No connection");
}

void CTestSession::ResetSession(bool bResetStatusTexts) {
    if (m_pSocketWnd)
        ReleaseSocketWindow();
    m_fileList.clear();
    m_urlList.clear();
    m_siteNameList.clear();
    if (m_bProgressShown) {
        m_host.CloseProgress();
        m_bProgressShown = false;
    }
    m_bTestEnded = true;
    if (m_bStatusProgressCreated)
        m_host.SetActivityIndicator(0);
    m_bAwaitingReply = false;
    if (bResetStatusTexts) {
        m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connection Status");
        m_host.SetStatusPane(ISessionHost::Pane::Method, "HTTP Method Status");
    }
}
