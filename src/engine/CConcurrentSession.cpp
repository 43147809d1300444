#include "engine/CConcurrentSession.h"

#include "base/AsciiText.h"
#include "engine/CHostLookup.h"
#include "engine/CHttpProbe.h"
#include "engine/CUrlExtractor.h"
#include "engine/OutcomeCodes.h"

#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <climits>

namespace {

// At most this many host names are looked up at once: each look-up holds a pipe.
constexpr int kMaxLookups = 8;

// Links read ahead of the first one not yet listed: enough that a silent host
// holds up the listing, not the probing.
long WindowFor(int jobs) {
    return std::clamp(256L * jobs, 1024L, 65536L);
}

} // namespace

CConcurrentSession::CConcurrentSession(ISessionHost& host, CSettingsStore& settings, int jobs,
                                       int perHost, QObject* parent, CLookupPool::Resolver resolver)
    : CSessionBase(host, settings, parent, std::move(resolver)),
      m_jobs(std::clamp(jobs, 1, kMaxJobs)), m_perHost(std::clamp(perHost, 1, m_jobs)) {
}

CConcurrentSession::~CConcurrentSession() {
    Halt();
}

void CConcurrentSession::Schedule(StringList files) {
    m_fileList = std::move(files);
    m_state = EState::Running;
    m_scheme = CUrlExtractor::kSchemeHttp;
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

void CConcurrentSession::ReadAhead() {
    const long window = WindowFor(m_jobs);
    while (IsTestRunning() && m_linksHeld < window && !m_fileList.empty()) {
        SFile& file = m_window.emplace_back();
        file.path = m_fileList.front();
        m_fileList.pop_front();
        LinkList found;
        if (!CUrlExtractor::ExtractUrls(file.path, found,
                                        CUrlExtractor::LinksFor(TestsCurrentWeb()))) {
            file.bReadFailed = true; // the test ends there: nothing after it is read
            m_fileList.clear();
            return;
        }
        for (SFoundLink& link : found)
            AddLink(file, std::move(link));
    }
}

void CConcurrentSession::AddLink(SFile& file, SFoundLink link) {
    std::string url = link.url;
    m_scheme = CUrlExtractor::SchemeOf(url, m_scheme);
    ++m_linksHeld;
    auto [it, bNew] = m_outcomes.try_emplace(url);
    file.links.push_back({std::move(link), m_scheme, &it->second});
    if (!bNew)
        return; // probed once, listed at each of its places

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
    SHost* pRaw = pHost.get();
    if (pRaw->lookup == SHost::ELookup::Failed) {
        it->second = {true, {pRaw->failure}};
        return;
    }
    pRaw->waiting.push_back({m_nextOrder++, std::move(url), m_scheme, &it->second});
    UpdateReady(pRaw);
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
    while (IsTestRunning() && static_cast<int>(m_probes.size()) < m_jobs && !m_ready.empty())
        StartProbe(m_ready.begin()->second);
}

void CConcurrentSession::StartLookups() {
    while (m_lookupsRunning < kMaxLookups && !m_lookupQueue.empty()) {
        SHost* pHost = m_lookupQueue.front();
        m_lookupQueue.pop_front();
        pHost->lookup = SHost::ELookup::Running;
        pHost->lookupClock.start();
        ++m_lookupsRunning;
        pHost->pLookup.reset(new CHostLookup);
        connect(pHost->pLookup.get(), &CHostLookup::Finished, this,
                [this, pHost](bool bFound, in_addr address) {
                    OnLookupFinished(pHost, bFound, address);
                });
        pHost->pLookup->Start(m_lookups, pHost->name);
    }
}

void CConcurrentSession::OnLookupFinished(SHost* pHost, bool bFound, in_addr address) {
    pHost->pLookup.reset();
    --m_lookupsRunning;
    // A look-up slower than the time-out is what each link's own would have been.
    const bool bTooSlow = pHost->lookupClock.elapsed() >= m_reasons.TimeoutMs();
    pHost->lookup = bFound && !bTooSlow ? SHost::ELookup::Found : SHost::ELookup::Failed;
    pHost->failure = bTooSlow ? Outcome::kTimedOut : Outcome::kHostNotFound;
    pHost->address = address;
    if (pHost->lookup == SHost::ELookup::Failed) {
        for (SJob& job : pHost->waiting)
            *job.pOutcome = {true, {pHost->failure}};
        pHost->waiting.clear();
    }
    UpdateReady(pHost);
    Advance();
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
    pRaw->Start(probe.job.url, probe.job.scheme, PortFor(probe.job.scheme), m_reasons.TimeoutMs());
}

void CConcurrentSession::OnProbeFinished(CHttpProbe* pProbe, unsigned code, bool bReplied) {
    auto it = m_probes.find(pProbe);
    if (it == m_probes.end())
        return;
    SHost* pHost = it->second.pHost;
    SJob job = std::move(it->second.job);
    const long retryAfter = pProbe->RetryAfterSeconds();
    const bool bRetry = TestsCurrentWeb() && code == 429 && !job.bRetried && retryAfter >= 0 &&
                        retryAfter <= kMostRetryWaitSeconds;
    if (!bRetry)
        *job.pOutcome = {true, {code, bReplied, pProbe->Redirected()}};
    m_probes.erase(it); // released once control is back in the event loop
    --pHost->inFlight;
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
            m_lister.FileRead(static_cast<int>(std::min<std::size_t>(file.links.size(), INT_MAX)));
        }
        while (IsTestRunning() && !file.links.empty() && file.links.front().pOutcome->bSettled) {
            const SLink& link = file.links.front();
            m_lister.Settle(link.found, link.scheme, link.pOutcome->probe);
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
    m_ready.clear();
    m_lookupQueue.clear();
    m_lookupsRunning = 0;
    m_hosts.clear();
    m_outcomes.clear();
    m_window.clear();
    m_fileList.clear();
    m_linksHeld = 0;
}
