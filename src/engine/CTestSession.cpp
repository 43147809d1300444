// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CTestSession.h"

#include "engine/CHttpProbe.h"
#include "engine/CUrlExtractor.h"

#include <climits>

namespace {

template <class TList> int CountOf(const TList& list) {
    return static_cast<int>(std::min<std::size_t>(list.size(), INT_MAX));
}

} // namespace

CTestSession::CTestSession(ISessionHost& host, CSettingsStore& settings, QObject* parent,
                           CLookupPool::Resolver resolver)
    : CSessionBase(host, settings, parent, std::move(resolver)) {
    m_stepTimer.setInterval(kStepIntervalMs);
    m_stepTimer.setTimerType(Qt::PreciseTimer); // the test's pace: no drift per tick
    connect(&m_stepTimer, &QTimer::timeout, this, &CTestSession::NextStep);
    m_localStep.setSingleShot(true);
    m_localStep.setInterval(0);
    connect(&m_localStep, &QTimer::timeout, this, &CTestSession::Advance);
}

CTestSession::~CTestSession() {
    Halt();
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

void CTestSession::Schedule(StringList files) {
    m_fileList = std::move(files);
    m_fileCount = CountOf(m_fileList);
    m_progress = SProgressValues();
    m_progress.fileBarMax = m_fileCount;
    m_bProgressShown = true;
    m_host.ShowProgress();
    TransferProgress();
    if (!m_bStatusProgressCreated) {
        m_host.SetActivityIndicator(0);
        m_blinkCount = 0;
        m_bStatusProgressCreated = true;
    }
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

    Advance();
}

void CTestSession::Advance() {
    if (m_state != EState::BetweenLinks)
        return;
    m_localStep.stop(); // a tick came first
    if (!m_links.empty())
        ProbeNextUrl();
    else if (m_fileList.empty())
        EndTest();
    else
        TakeUpNextFile();
}

void CTestSession::TakeUpNextFile() {
    SetState(EState::TakingUpFile);
    const bool bFirstFile = !m_lister.HasFile();
    m_lister.TakeUpFile(m_fileList.front());
    m_progress.currentFile = m_lister.CurrentFile();
    m_progress.fileIndex = std::to_string(m_fileCount - CountOf(m_fileList) + 1);
    m_progress.fileTotal = std::to_string(m_fileCount);
    if (!bFirstFile) {
        m_progress.fileBarPos = std::min(m_progress.fileBarPos + 1, m_progress.fileBarMax);
        m_progress.urlBarPos = 0;
    }
    TransferProgress();

    if (!CUrlExtractor::ExtractUrls(m_lister.CurrentFile(), m_links, LinksTested(),
                                    LocalTested())) {
        EndOnReadFailure();
        return;
    }
    const int excluded = DropExcluded(m_links);
    m_lister.FileRead(CountOf(m_links), excluded);
    m_fileList.pop_front();
    SetState(EState::BetweenLinks);
    if (!m_links.empty()) {
        m_progress.urlBarMax = m_lister.LinkCount();
        TransferProgress();
        ProbeNextUrl();
    }
}

void CTestSession::ProbeNextUrl() {
    if (m_links.front().bLocal) {
        CheckLocalLinks();
        return;
    }
    const std::string& link = m_links.front().url;
    m_scheme = CUrlExtractor::SchemeOf(link, m_scheme);
    m_progress.currentUrl = link;
    m_progress.siteName = m_links.front().name;
    m_progress.urlIndex = std::to_string(m_lister.LinkCount() - CountOf(m_links) + 1);
    m_progress.urlTotal = std::to_string(m_lister.LinkCount());
    TransferProgress();

    SetState(EState::Probing);
    m_pProbe.reset(new CHttpProbe(m_host, m_lookups));
    m_pProbe->SetCurrentWeb(TestsCurrentWeb());
    connect(m_pProbe.get(), &CHttpProbe::Finished, this, &CTestSession::OnProbeFinished);
    m_pProbe->Start(link, m_scheme, PortFor(m_scheme), m_reasons.TimeoutMs());
}

void CTestSession::OnProbeFinished(unsigned code, bool bReplied) {
    const bool bRedirected = m_pProbe->Redirected();
    m_pProbe.reset();
    m_lister.Settle(m_links.front(), m_scheme, {code, bReplied, bRedirected});
    m_links.pop_front();
    m_progress.urlBarPos = std::min(m_progress.urlBarPos + 1, m_progress.urlBarMax);
    TransferProgress();
    SetState(EState::BetweenLinks);
}

void CTestSession::CheckLocalLinks() {
    // They need no network, so no step of the pace: the links between the
    // pages up to the next probe settle now, and what comes after them is
    // taken up from the event loop at once.
    while (!m_links.empty() && m_links.front().bLocal) {
        m_lister.Settle(m_links.front(), m_scheme,
                        CheckLocal(m_lister.CurrentFile(), m_links.front()));
        m_links.pop_front();
        m_progress.urlBarPos = std::min(m_progress.urlBarPos + 1, m_progress.urlBarMax);
    }
    m_progress.urlIndex = std::to_string(m_lister.LinkCount() - CountOf(m_links));
    TransferProgress();
    SetState(EState::BetweenLinks);
    m_localStep.start();
}

void CTestSession::Halt() {
    m_localStep.stop();
    SetState(EState::Ended);
    if (m_pProbe) {
        m_pProbe->Cancel();
        m_pProbe.reset();
    }
    m_fileList.clear();
    m_links.clear();
    if (m_bProgressShown) {
        m_host.CloseProgress();
        m_bProgressShown = false;
    }
    if (m_bStatusProgressCreated)
        m_host.SetActivityIndicator(0);
}
