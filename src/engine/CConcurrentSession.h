// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CDeleteLater.h"
#include "engine/CDescriptorBudget.h"
#include "engine/CHostLookup.h"
#include "engine/CSessionBase.h"
#include "engine/CUrlExtractor.h"
#include "engine/CUrlOutcomes.h"

#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

class CHttpProbe;

/// Runs a link test with many probes at once, for the headless program.
///
/// What the host is told is what CTestSession tells it for the same test, in
/// the same order (rows, log lines, messages, the end or stop), apart from the
/// dates. The status panes and the wait cursor follow whichever probe spoke
/// last. The progress window shows the file whose links are being listed, the
/// link that settled last and `SProgressValues::summary`, at most every
/// kProgressMs and once more at the end; the activity indicator changes each
/// second, as in the paced test. Up to `jobs` probes run at once, at most
/// `perHost` of them to one host name, without pacing.
/// Each distinct host name is looked up once and each distinct URL probed once
/// per test: a repeated URL waits for the first one's outcome. A host that
/// closes without a reply gives its time-out's outcome at once.
///
/// Up to `jobs` names are looked up at once besides the probes, each on a
/// thread of its own and within the time-out, as the paced test's look-ups
/// are: a name slower than that is listed as a host that took too long.
///
/// Probes and look-ups take only the file descriptors CDescriptorBudget allows.
/// Running out of them anyway (for a socket, a look-up or a page) means waiting
/// for one of the test's own to be given back, never an outcome; only with
/// nothing else in flight is it listed, as the paced test would list it.
///
/// Files are read ahead only while fewer than a window of links waits to be
/// listed, so the pages' links held do not grow with the size of the site. A
/// URL in flight is known by its text; once settled, by its hash in
/// CUrlOutcomes, in at most 28 bytes, for its later repeats. A link is listed
/// as soon as every link before it has been. A link between the pages is
/// checked on disk as its page is read, and holds no probe.
///
/// In the current-web mode, a link that
/// gets a 429 reply with a Retry-After of at most kMostRetryWaitSeconds is
/// probed once more after that wait, without holding a probe's place meanwhile.
class CConcurrentSession : public CSessionBase {
    Q_OBJECT
public:
    static constexpr int kMaxJobs = 1024;
    static constexpr int kDefaultPerHost = 16;
    static constexpr long kMostRetryWaitSeconds = 30;
    static constexpr int kProgressMs = 100;
    /// Look-up threads: as many as there may be look-ups at once, and as many
    /// again still stuck in the resolver after their time-out.
    static constexpr int kLookupThreads = 2 * kMaxJobs;

    /// As CSessionBase's; `jobs` and `perHost` are kept within [1, kMaxJobs]
    /// and [1, jobs].
    CConcurrentSession(ISessionHost& host, CSettingsStore& settings, int jobs, int perHost,
                       QObject* parent = nullptr, CLookupPool::Resolver resolver = {});
    ~CConcurrentSession() override;

    bool IsTestRunning() const override { return m_state == EState::Running; }
    bool IsTestEnded() const override { return m_state == EState::Ended; }

private:
    enum class EState { Idle, Running, Ended };
    struct SHost;
    struct SJob {
        long order;
        const std::string* pUrl; // its first link's
        int scheme;
        bool bRetried = false;
    };
    struct SLink {
        SFoundLink found;
        int scheme;
        bool bKnown = false; // else its URL was in flight when it was read
        CLinkLister::SOutcome outcome{};
    };
    struct SFile {
        std::string path;
        bool bReadFailed = false;
        bool bTakenUp = false;
        int excluded = 0; // links the test skips
        std::deque<SLink> links;
    };
    struct SHost {
        enum class ELookup { None, Waiting, Running, Found, Failed };
        std::string name;
        ELookup lookup = ELookup::None;
        in_addr address{};
        unsigned failure = 0; // the outcome of every link when the look-up failed
        int inFlight = 0;
        long readyOrder = -1; // its place in m_ready, or -1
        std::deque<SJob> waiting;
        LaterPtr<CHostLookup> pLookup;
    };

    void Schedule(StringList files) override;
    void Halt() override;
    void Advance();
    void ReadAhead();
    void AddLink(SFile& file, SFoundLink link);
    SHost* HostFor(const std::string& url);
    void Dispatch();
    void StartLookups();
    void OnLookupFinished(SHost* pHost, CHostLookup::EAnswer answer, in_addr address);
    void FailLookup(SHost* pHost, unsigned code);
    void StartProbe(SHost* pHost);
    void OnProbeFinished(CHttpProbe* pProbe, unsigned code, bool bReplied);
    void RetryLater(SHost* pHost, SJob job, long seconds);
    void Settle(const SJob& job, const CLinkLister::SOutcome& outcome);
    void UpdateReady(SHost* pHost);
    bool ListSettled();
    int DescriptorsInUse() const;
    bool OthersHoldDescriptors() const;
    void WaitForDescriptors();
    void LookAgainLater();
    void SendProgress();

    int m_jobs;
    int m_perHost;

    EState m_state = EState::Idle;
    unsigned m_generation = 0; // a retry's wait from an earlier test comes to nothing
    bool m_bAdvancing = false;
    bool m_bAgain = false;
    StringList m_fileList;
    std::deque<SFile> m_window;
    long m_linksHeld = 0;
    long m_nextOrder = 0;
    int m_scheme = 1;
    // The URLs probed or waiting for it, by the text of their first link (held
    // until they settle), and those that have settled.
    std::unordered_set<std::string_view> m_inFlight;
    CUrlOutcomes m_settled;
    std::unordered_map<std::string, std::unique_ptr<SHost>> m_hosts;
    std::set<std::pair<long, SHost*>> m_ready; // hosts that may start their first job
    std::deque<SHost*> m_lookupQueue;
    int m_lookupsRunning = 0;
    struct SProbe {
        LaterPtr<CHttpProbe> pProbe;
        SHost* pHost;
        SJob job;
    };
    std::map<CHttpProbe*, SProbe> m_probes;
    CDescriptorBudget m_descriptors;
    int m_perProbe = CDescriptorBudget::kPerProbe;
    QTimer m_descriptorWait; // measures the room again while work waits for it
    QTimer m_progressTimer;
    SProgressValues m_progress;
    long m_linksRead = 0; // found in the files read, less those skipped
    int m_progressTicks = 0;
};
