// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CConcurrentSession.h"

#include "base/AsciiText.h"
#include "engine/CHostLookup.h"
#include "engine/CHttpProbe.h"
#include "engine/CUrlExtractor.h"
#include "engine/OutcomeCodes.h"

#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>

namespace {

// Links read ahead of the first one not yet listed: enough that a silent host
// holds up the listing, not the probing.
long WindowFor(int jobs) {
    return std::clamp(256L * jobs, 1024L, 65536L);
}

// How often work that waits for descriptors or look-up threads looks again,
// when nothing of its own ends meanwhile to wake it.
constexpr int kDescriptorWaitMs = 20;

} // namespace

CConcurrentSession::CConcurrentSession(ISessionHost& host, CSettingsStore& settings, int jobs,
                                       int perHost, QObject* parent, CLookupPool::Resolver resolver)
    : CSessionBase(host, settings, parent, std::move(resolver), kLookupThreads),
      m_jobs(std::clamp(jobs, 1, kMaxJobs)), m_perHost(std::clamp(perHost, 1, m_jobs)) {
    m_descriptorWait.setSingleShot(true);
    m_descriptorWait.setInterval(kDescriptorWaitMs);
    connect(&m_descriptorWait, &QTimer::timeout, this, [this] {
        m_descriptors.Measure(DescriptorsInUse());
        Advance();
    });
    m_progressTimer.setInterval(kProgressMs);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        // The activity indicator: empty for a second, then full for a second.
        if (++m_progressTicks % (1000 / kProgressMs) == 0)
            m_host.SetActivityIndicator(m_progressTicks / (1000 / kProgressMs) % 2);
        SendProgress();
    });
}

CConcurrentSession::~CConcurrentSession() {
    Halt();
}

void CConcurrentSession::Schedule(StringList files) {
    m_fileList = std::move(files);
    m_state = EState::Running;
    m_scheme = CUrlExtractor::kSchemeHttp;
    m_perProbe =
        TestsCurrentWeb() ? CDescriptorBudget::kPerCurrentWebProbe : CDescriptorBudget::kPerProbe;
    m_descriptors.Measure(DescriptorsInUse());
    m_progress = SProgressValues();
    m_progress.fileTotal = std::to_string(m_fileList.size());
    m_progress.fileBarMax = static_cast<int>(std::min<std::size_t>(m_fileList.size(), INT_MAX));
    m_linksRead = 0;
    m_progressTicks = 0;
    m_host.ShowProgress();
    m_host.SetActivityIndicator(0);
    SendProgress();
    m_progressTimer.start();
    // From the event loop, as the paced test's first step: the caller is waiting in it.
    QMetaObject::invokeMethod(this, &CConcurrentSession::Advance, Qt::QueuedConnection);
}

void CConcurrentSession::Advance() {
    if (m_bAdvancing) {
        m_bAgain = true;
        return;
    }
    m_bAdvancing = true;
    do {
        m_bAgain = false;
        ReadAhead();
        Dispatch();
        m_bAgain = ListSettled() || m_bAgain;
    } while (m_bAgain && IsTestRunning());
    m_bAdvancing = false;
}

int CConcurrentSession::DescriptorsInUse() const {
    // Look-ups that ran out of time still hold the resolver's until it returns.
    return static_cast<int>(m_probes.size()) * m_perProbe +
           m_lookups.Busy() * CDescriptorBudget::kPerLookup;
}

bool CConcurrentSession::OthersHoldDescriptors() const {
    return !m_probes.empty() || m_lookups.Busy() > 0;
}

void CConcurrentSession::WaitForDescriptors() {
    m_descriptors.Shrink(DescriptorsInUse());
    LookAgainLater();
}

void CConcurrentSession::LookAgainLater() {
    // Never pushed back: work that keeps waiting still looks again in time.
    if (!m_descriptorWait.isActive())
        m_descriptorWait.start();
}

void CConcurrentSession::ReadAhead() {
    const long window = WindowFor(m_jobs);
    while (IsTestRunning() && m_linksHeld < window && !m_fileList.empty()) {
        SFile& file = m_window.emplace_back();
        file.path = m_fileList.front();
        LinkList found;
        errno = 0; // a failure's own, not an earlier call's
        if (!CUrlExtractor::ExtractUrls(file.path, found, LinksTested(), LocalTested())) {
            if (CDescriptorBudget::IsOutOfDescriptors(errno) && OthersHoldDescriptors()) {
                m_window.pop_back(); // read again once a descriptor is back
                WaitForDescriptors();
                return;
            }
            file.bReadFailed = true; // the test ends there: nothing after it is read
            m_fileList.clear();
            return;
        }
        m_fileList.pop_front();
        file.excluded = DropExcluded(found);
        m_linksRead += static_cast<long>(found.size());
        for (SFoundLink& link : found)
            AddLink(file, std::move(link));
    }
}

void CConcurrentSession::AddLink(SFile& file, SFoundLink link) {
    ++m_linksHeld;
    if (link.bLocal) { // checked on disk now; listed in its turn
        const CLinkLister::SOutcome outcome = CheckLocal(file.path, link);
        file.links.push_back(SLink{std::move(link), m_scheme, true, outcome});
        return;
    }
    m_scheme = CUrlExtractor::SchemeOf(link.url, m_scheme);
    SLink& held = file.links.emplace_back(SLink{std::move(link), m_scheme});
    const std::string& url = held.found.url;
    if (m_inFlight.contains(url))
        return; // probed once, listed at each of its places
    const CUrlOutcomes::SKey key = m_settled.KeyOf(url);
    if (const std::optional<CLinkLister::SOutcome> known = m_settled.Find(key)) {
        held.bKnown = true;
        held.outcome = *known;
        return;
    }
    SHost* pHost = HostFor(url);
    if (pHost->lookup == SHost::ELookup::Failed) {
        held.bKnown = true;
        held.outcome = {pHost->failure};
        m_settled.Insert(key, held.outcome);
        return;
    }
    m_inFlight.insert(url); // the link is listed only after it settles
    pHost->waiting.push_back({m_nextOrder++, &url, m_scheme});
    UpdateReady(pHost);
}

CConcurrentSession::SHost* CConcurrentSession::HostFor(const std::string& url) {
    const std::string host(AsciiText::TrimStart(
        CHttpProbe::HostOf(url, m_scheme, TestsCurrentWeb()), AsciiText::ESpace::Blank));
    std::unique_ptr<SHost>& pHost = m_hosts[host];
    if (!pHost) {
        pHost = std::make_unique<SHost>();
        pHost->name = host;
        // Names that are no address are looked up here, once; the rest is the probe's.
        in_addr address{};
        if (!host.empty() &&
            !(host[0] >= '0' && host[0] <= '9' && ::inet_aton(host.c_str(), &address) != 0)) {
            pHost->lookup = SHost::ELookup::Waiting;
            m_lookupQueue.push_back(pHost.get());
        }
    }
    return pHost.get();
}

void CConcurrentSession::UpdateReady(SHost* pHost) {
    if (pHost->readyOrder >= 0)
        m_ready.erase({pHost->readyOrder, pHost});
    pHost->readyOrder = -1;
    const bool bKnown =
        pHost->lookup == SHost::ELookup::None || pHost->lookup == SHost::ELookup::Found;
    if (bKnown && !pHost->waiting.empty() && pHost->inFlight < m_perHost) {
        pHost->readyOrder = pHost->waiting.front().order;
        m_ready.insert({pHost->readyOrder, pHost});
    }
}

void CConcurrentSession::Dispatch() {
    StartLookups();
    // The earliest waiting link whose host has room goes first.
    while (IsTestRunning() && static_cast<int>(m_probes.size()) < m_jobs && !m_ready.empty()) {
        if (!m_descriptors.Allows(DescriptorsInUse(), m_perProbe)) {
            LookAgainLater();
            return;
        }
        StartProbe(m_ready.begin()->second);
    }
}

void CConcurrentSession::StartLookups() {
    while (m_lookupsRunning < m_jobs && !m_lookupQueue.empty()) {
        // Each look-up starts on a thread at once: its time-out never runs while it queues.
        if (m_lookups.Busy() >= m_lookups.MaxThreads() ||
            !m_descriptors.Allows(DescriptorsInUse(), CDescriptorBudget::kPerLookup)) {
            LookAgainLater();
            return;
        }
        SHost* pHost = m_lookupQueue.front();
        m_lookupQueue.pop_front();
        pHost->lookup = SHost::ELookup::Running;
        ++m_lookupsRunning;
        pHost->pLookup.reset(new CHostLookup);
        connect(pHost->pLookup.get(), &CHostLookup::Finished, this,
                [this, pHost](CHostLookup::EAnswer answer, in_addr address) {
                    OnLookupFinished(pHost, answer, address);
                });
        pHost->pLookup->Start(m_lookups, pHost->name, m_reasons.TimeoutMs());
    }
}

void CConcurrentSession::OnLookupFinished(SHost* pHost, CHostLookup::EAnswer answer,
                                          in_addr address) {
    pHost->pLookup.reset();
    --m_lookupsRunning;
    switch (answer) {
    case CHostLookup::EAnswer::Found:
        pHost->lookup = SHost::ELookup::Found;
        pHost->address = address;
        break;
    case CHostLookup::EAnswer::NoDescriptor:
        if (OthersHoldDescriptors()) {
            pHost->lookup = SHost::ELookup::Waiting;
            m_lookupQueue.push_front(pHost);
            WaitForDescriptors();
            break;
        }
        [[fallthrough]];
    case CHostLookup::EAnswer::NotFound:
        FailLookup(pHost, Outcome::kHostNotFound);
        break;
    case CHostLookup::EAnswer::TimedOut:
        // What each link's own look-up would have come to in the paced test.
        FailLookup(pHost, Outcome::kTimedOut);
        break;
    }
    UpdateReady(pHost);
    Advance();
}

void CConcurrentSession::FailLookup(SHost* pHost, unsigned code) {
    pHost->lookup = SHost::ELookup::Failed;
    pHost->failure = code;
    for (const SJob& job : pHost->waiting)
        Settle(job, {code});
    pHost->waiting.clear();
}

void CConcurrentSession::SendProgress() {
    const long done = m_lister.LinksDone();
    m_progress.currentFile = m_lister.CurrentFile();
    m_progress.fileIndex = std::to_string(m_lister.FilesRead());
    m_progress.fileBarPos = static_cast<int>(std::min<long>(m_lister.FilesRead(), INT_MAX));
    m_progress.urlBarMax = static_cast<int>(std::min<long>(m_linksRead, INT_MAX));
    m_progress.urlBarPos = static_cast<int>(std::min<long>(done, INT_MAX));
    m_progress.summary = std::to_string(done) + " of " + std::to_string(m_linksRead) +
                         " links checked, " + std::to_string(m_probes.size()) + " in flight";
    m_host.UpdateProgress(m_progress);
}

void CConcurrentSession::Settle(const SJob& job, const CLinkLister::SOutcome& outcome) {
    m_progress.currentUrl = *job.pUrl;
    m_settled.Insert(m_settled.KeyOf(*job.pUrl), outcome);
    m_inFlight.erase(*job.pUrl);
}

void CConcurrentSession::StartProbe(SHost* pHost) {
    SJob job = std::move(pHost->waiting.front());
    pHost->waiting.pop_front();
    ++pHost->inFlight;
    UpdateReady(pHost);

    LaterPtr<CHttpProbe> pProbe(new CHttpProbe(m_host, m_lookups));
    CHttpProbe* pRaw = pProbe.get();
    pRaw->SetTimeOutOnClose(true);
    pRaw->SetCurrentWeb(TestsCurrentWeb());
    if (pHost->lookup == SHost::ELookup::Found)
        pRaw->UseAddress(pHost->address);
    connect(pRaw, &CHttpProbe::Finished, this,
            [this, pRaw](unsigned code, bool bReplied) { OnProbeFinished(pRaw, code, bReplied); });
    const SProbe& probe =
        m_probes.emplace(pRaw, SProbe{std::move(pProbe), pHost, std::move(job)}).first->second;
    pRaw->Start(*probe.job.pUrl, probe.job.scheme, PortFor(probe.job.scheme),
                m_reasons.TimeoutMs());
}

void CConcurrentSession::OnProbeFinished(CHttpProbe* pProbe, unsigned code, bool bReplied) {
    auto it = m_probes.find(pProbe);
    if (it == m_probes.end())
        return;
    SHost* pHost = it->second.pHost;
    SJob job = std::move(it->second.job);
    m_probes.erase(it); // released once control is back in the event loop
    --pHost->inFlight;
    if (pProbe->OutOfDescriptors() && OthersHoldDescriptors()) {
        pHost->waiting.push_front(std::move(job)); // again once one is back
        UpdateReady(pHost);
        WaitForDescriptors();
        Advance();
        return;
    }
    const long retryAfter = pProbe->RetryAfterSeconds();
    const bool bRetry = TestsCurrentWeb() && code == 429 && !job.bRetried && retryAfter >= 0 &&
                        retryAfter <= kMostRetryWaitSeconds;
    if (!bRetry)
        Settle(job, {code, bReplied, pProbe->Redirected()});
    UpdateReady(pHost);
    if (bRetry)
        RetryLater(pHost, std::move(job), retryAfter);
    Advance();
}

void CConcurrentSession::RetryLater(SHost* pHost, SJob job, long seconds) {
    job.bRetried = true;
    QTimer::singleShot(static_cast<int>(seconds * 1000), this,
                       [this, pHost, job = std::move(job), generation = m_generation]() mutable {
                           if (generation != m_generation || !IsTestRunning())
                               return; // the test is over: pHost is gone
                           pHost->waiting.push_front(std::move(job));
                           UpdateReady(pHost);
                           Advance();
                       });
}

bool CConcurrentSession::ListSettled() {
    bool bListed = false;
    while (IsTestRunning() && !m_window.empty()) {
        SFile& file = m_window.front();
        if (!file.bTakenUp) {
            m_lister.TakeUpFile(file.path);
            file.bTakenUp = true;
            if (file.bReadFailed) {
                EndOnReadFailure();
                return true;
            }
            m_lister.FileRead(static_cast<int>(std::min<std::size_t>(file.links.size(), INT_MAX)),
                              file.excluded);
        }
        while (IsTestRunning() && !file.links.empty()) {
            SLink& link = file.links.front();
            if (!link.bKnown) {
                if (m_inFlight.contains(link.found.url))
                    break;
                // Settled since it was read, so kept.
                link.outcome = *m_settled.Find(m_settled.KeyOf(link.found.url));
                link.bKnown = true;
            }
            m_lister.Settle(link.found, link.scheme, link.outcome);
            file.links.pop_front();
            --m_linksHeld;
            bListed = true;
        }
        if (!IsTestRunning() || !file.links.empty())
            return bListed;
        m_window.pop_front();
    }
    if (IsTestRunning() && m_fileList.empty())
        EndTest();
    return bListed;
}

void CConcurrentSession::Halt() {
    if (m_progressTimer.isActive()) { // the last counts, then the window goes
        m_progressTimer.stop();
        SendProgress();
        m_host.CloseProgress();
        m_host.SetActivityIndicator(0);
    }
    m_state = EState::Ended;
    ++m_generation;
    for (auto& [pRaw, probe] : m_probes) {
        probe.pProbe->disconnect(this);
        probe.pProbe->Cancel(); // closes its connection now
    }
    m_probes.clear();
    for (auto& [name, pHost] : m_hosts)
        if (pHost->pLookup)
            pHost->pLookup->disconnect(this);
    m_descriptorWait.stop();
    m_ready.clear();
    m_lookupQueue.clear();
    m_lookupsRunning = 0;
    m_hosts.clear();
    m_inFlight.clear();
    m_settled.Clear();
    m_window.clear();
    m_fileList.clear();
    m_linksHeld = 0;
}
