#include "engine/CTestSession.h"

#include "engine/CFileEnumerator.h"
#include "engine/CHttpProbe.h"
#include "engine/CUrlExtractor.h"
#include "engine/LogText.h"
#include "engine/OutcomeCodes.h"
#include "settings/CSettingsStore.h"

#include <climits>

namespace {

int CountOf(const StringList& list) {
    return static_cast<int>(std::min<std::size_t>(list.size(), INT_MAX));
}

} // namespace

CTestSession::CTestSession(ISessionHost& host, CSettingsStore& settings, QObject* parent,
                           CLookupPool::Resolver resolver)
    : QObject(parent), m_host(host), m_settings(settings), m_reasons(host),
      m_lookups(std::move(resolver)) {
    m_reasons.Load(settings);
    m_stepTimer.setInterval(kStepIntervalMs);
    m_stepTimer.setTimerType(Qt::PreciseTimer); // the test's pace: no drift per tick
    connect(&m_stepTimer, &QTimer::timeout, this, &CTestSession::NextStep);
}

CTestSession::~CTestSession() {
    m_stepTimer.stop();
    ResetSession(false);
}

void CTestSession::SetPorts(int httpPort, int ftpPort) {
    m_httpPort = httpPort;
    m_ftpPort = ftpPort;
}

void CTestSession::SetState(EState state) {
    m_state = state;
    if (IsTestRunning() != m_stepTimer.isActive()) {
        if (IsTestRunning())
            m_stepTimer.start();
        else
            m_stepTimer.stop();
    }
}

void CTestSession::TransferProgress() {
    if (m_bProgressShown)
        m_host.UpdateProgress(m_progress);
}

void CTestSession::StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly) {
    if (IsTestRunning())
        return;
    m_fileList = CFileEnumerator::CollectFiles(path, recurse, allFiles, htmlOnly);
    m_fileCount = CountOf(m_fileList);
    if (m_fileCount == 0) {
        m_host.ShowMessage(LogText::kNoFilesMessage);
        return;
    }

    m_progress = SProgressValues();
    m_progress.fileBarMax = m_fileCount;
    m_bProgressShown = true;
    m_host.ShowProgress();
    TransferProgress();
    m_fileErrorCount = -1;
    m_bStoppedOnError = false;
    m_reasons.m_bUnknownReason = false;
    m_bCurrentWeb = m_bForceCurrentWeb || m_settings.Get(SettingsKeys::kSettingsCurrentWeb) != 0;
    if (!m_bStatusProgressCreated) {
        m_host.SetActivityIndicator(0);
        m_blinkCount = 0;
        m_bStatusProgressCreated = true;
    }
    m_host.ClearLogAndResults();
    m_host.AppendLog(LogText::StartLine());
    SetState(EState::BetweenLinks);
}

void CTestSession::NextStep() {
    // The activity indicator: empty for a second, then full for a second.
    if (++m_blinkCount == 10) {
        m_host.SetActivityIndicator(1);
        m_blinkCount = -10;
    }
    if (m_blinkCount == 0)
        m_host.SetActivityIndicator(0);

    if (m_state != EState::BetweenLinks)
        return;
    if (!m_urlList.empty())
        ProbeNextUrl();
    else if (m_fileList.empty())
        EndTest();
    else
        TakeUpNextFile();
}

void CTestSession::TakeUpNextFile() {
    SetState(EState::TakingUpFile);
    if (m_fileErrorCount != -1)
        AppendFileSummary();
    m_currentFile = m_fileList.front();
    m_progress.currentFile = m_currentFile;
    m_progress.fileIndex = std::to_string(m_fileCount - CountOf(m_fileList) + 1);
    m_progress.fileTotal = std::to_string(m_fileCount);
    if (m_fileErrorCount != -1) {
        m_progress.fileBarPos = std::min(m_progress.fileBarPos + 1, m_progress.fileBarMax);
        m_progress.urlBarPos = 0;
    }
    TransferProgress();
    m_fileErrorCount = 0;
    m_urlCount = 0;

    if (!CUrlExtractor::ExtractUrls(m_currentFile, m_urlList, m_siteNameList,
                                    CUrlExtractor::LinksFor(m_bCurrentWeb))) {
        // The test is over before the messages show: no tick may go on meanwhile.
        SetState(EState::Ended);
        m_host.ShowMessage(LogText::CannotOpenMessage(m_currentFile));
        m_host.ShowMessage(LogText::kProcessingStopped);
        m_bStoppedOnError = true;
        m_fileList.clear();
        EndTest();
        return;
    }
    m_urlCount = CountOf(m_urlList);
    m_host.AppendLog(LogText::TestingLine(m_currentFile));
    m_fileList.pop_front();
    SetState(EState::BetweenLinks);
    if (!m_urlList.empty()) {
        m_progress.urlBarMax = m_urlCount;
        TransferProgress();
        ProbeNextUrl();
    }
}

void CTestSession::AppendFileSummary() {
    m_host.AppendLog(LogText::Summary(m_currentFile, m_urlCount, m_fileErrorCount));
}

void CTestSession::ProbeNextUrl() {
    const std::string& link = m_urlList.front();
    m_scheme = CUrlExtractor::SchemeOf(link, m_scheme);
    m_progress.currentUrl = link;
    m_progress.siteName = m_siteNameList.front();
    m_progress.urlIndex = std::to_string(m_urlCount - CountOf(m_urlList) + 1);
    m_progress.urlTotal = std::to_string(m_urlCount);
    TransferProgress();

    SetState(EState::Probing);
    m_pProbe.reset(new CHttpProbe(m_host, m_lookups));
    m_pProbe->SetCurrentWeb(m_bCurrentWeb);
    connect(m_pProbe.get(), &CHttpProbe::Finished, this, &CTestSession::OnProbeFinished);
    m_pProbe->Start(link, m_scheme, m_scheme == CUrlExtractor::kSchemeFtp ? m_ftpPort : m_httpPort,
                    m_reasons.TimeoutMs());
}

void CTestSession::OnProbeFinished(unsigned code, bool bReplied) {
    const bool bRedirected = m_pProbe->Redirected();
    m_pProbe.reset();
    // A reply to an ftp link is never evaluated; a failure is listed for both.
    const bool bEvaluated = !bReplied || m_scheme == CUrlExtractor::kSchemeHttp;
    if (bEvaluated && m_reasons.IsReasonReported(code)) {
        m_host.AddResultRow({m_urlList.front(), m_reasons.ReasonText(code, bRedirected),
                             m_siteNameList.front(), m_currentFile});
        ++m_fileErrorCount;
    }
    m_urlList.pop_front();
    m_siteNameList.pop_front();
    m_progress.urlBarPos = std::min(m_progress.urlBarPos + 1, m_progress.urlBarMax);
    TransferProgress();
    SetState(EState::BetweenLinks);
}

void CTestSession::EndTest() {
    SetState(EState::Ended);
    ResetSession(true);
    AppendFileSummary();
    m_host.AppendLog(LogText::EndLine());
    m_host.SetStatusPane(ISessionHost::Pane::Connection, "Search Complete");
    m_host.SetStatusPane(ISessionHost::Pane::Method, "");
    m_host.Beep(ISessionHost::BeepKind::Default);
    emit TestFinished();
}

void CTestSession::OnStopTest() {
    if (!IsTestRunning())
        return;
    SetState(EState::Ended);
    ResetSession(true);
    m_host.AppendLog(LogText::kStoppedByUser);
    emit TestFinished();
}

void CTestSession::ResetSession(bool bResetStatusTexts) {
    if (m_pProbe) {
        m_pProbe->Cancel();
        m_pProbe.reset();
    }
    m_fileList.clear();
    m_urlList.clear();
    m_siteNameList.clear();
    if (m_bProgressShown) {
        m_host.CloseProgress();
        m_bProgressShown = false;
    }
    if (m_bStatusProgressCreated)
        m_host.SetActivityIndicator(0);
    if (bResetStatusTexts) {
        m_host.SetStatusPane(ISessionHost::Pane::Connection, "Connection Status");
        m_host.SetStatusPane(ISessionHost::Pane::Method, "HTTP Method Status");
    }
}
