#pragma once

#include "engine/CDeleteLater.h"
#include "engine/CLookupPool.h"
#include "engine/CReasonFilter.h"
#include "engine/ISessionHost.h"
#include "engine/StringList.h"

#include <QElapsedTimer>
#include <QObject>
#include <deque>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <set>
#include <string>
#include <unordered_map>

class CHostLookup;
class CHttpProbe;
class CSettingsStore;

/// Runs a link test with many probes at once, for the headless program.
///
/// What the host is told is what CTestSession tells it for the same test, in
/// the same order (rows, log lines, messages, the end or stop), apart from the
/// dates. Progress is not shown; the status panes and the wait cursor follow
/// whichever probe spoke last. Up to `jobs` probes run at once, at most
/// `perHost` of them to one host name, without pacing.
/// Each distinct host name is looked up once and each distinct URL probed once
/// per test: a repeated URL waits for the first one's outcome. A host that
/// closes without a reply gives its time-out's outcome at once.
///
/// Files are read ahead only while fewer than a window of links waits to be
/// listed, so the pages' links held do not grow with the size of the site (only
/// each distinct URL's outcome is kept, for its repeats); a link is listed as
/// soon as every link before it has been.
///
/// The current-web mode is read as CTestSession reads it. In it, a link that
/// gets a 429 reply with a Retry-After of at most kMostRetryWaitSeconds is
/// probed once more after that wait, without holding a probe's place meanwhile.
class CConcurrentSession : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxJobs = 1024;
    static constexpr int kDefaultPerHost = 16;
    static constexpr long kMostRetryWaitSeconds = 30;

    /// As CTestSession's.
    CConcurrentSession(ISessionHost& host, CSettingsStore& settings, int jobs, int perHost,
                       QObject* parent = nullptr, CLookupPool::Resolver resolver = {});
    ~CConcurrentSession() override;

    void StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly);
    /// Ends the running test at once: no row after the stop line, no connection open.
    void OnStopTest();

    CReasonFilter& Reasons() { return m_reasons; }
    void SetPorts(int httpPort, int ftpPort);
    void ForceCurrentWeb() { m_bForceCurrentWeb = true; }

    bool IsTestRunning() const { return m_bRunning; }
    bool StoppedOnError() const { return m_bStoppedOnError; }
    /// Links listed or passed so far in this test.
    long LinksDone() const { return m_linksDone; }

signals:
    void TestFinished();

private:
    struct SOutcome {
        bool bSettled = false;
        unsigned code = 0;
        bool bReplied = false;
        bool bRedirected = false;
    };
    struct SHost;
    struct SJob {
        long order;
        std::string url;
        int scheme;
        SOutcome* pOutcome;
        bool bRetried = false;
    };
    struct SLink {
        std::string url;
        std::string name;
        int scheme;
        SOutcome* pOutcome;
    };
    struct SFile {
        std::string path;
        bool bReadFailed = false;
        bool bTakenUp = false;
        std::deque<SLink> links;
    };
    struct SHost {
        enum class ELookup { None, Waiting, Running, Found, Failed };
        std::string name;
        ELookup lookup = ELookup::None;
        in_addr address{};
        unsigned failure = 0; // the outcome of every link when the look-up failed
        QElapsedTimer lookupClock;
        int inFlight = 0;
        long readyOrder = -1; // its place in m_ready, or -1
        std::deque<SJob> waiting;
        LaterPtr<CHostLookup> pLookup;
    };

    void Advance();
    void ReadAhead();
    void AddLink(SFile& file, std::string url, std::string name);
    void Dispatch();
    void StartLookups();
    void OnLookupFinished(SHost* pHost, bool bFound, in_addr address);
    void StartProbe(SHost* pHost);
    void OnProbeFinished(CHttpProbe* pProbe, unsigned code, bool bReplied);
    void RetryLater(SHost* pHost, SJob job, long seconds);
    void UpdateReady(SHost* pHost);
    bool ListSettled();
    void EndTest();
    void Reset();

    ISessionHost& m_host;
    CSettingsStore& m_settings;
    CReasonFilter m_reasons;
    CLookupPool m_lookups;
    int m_jobs;
    int m_perHost;
    int m_httpPort = 80;
    int m_ftpPort = 21;

    bool m_bForceCurrentWeb = false;
    bool m_bCurrentWeb = false;
    bool m_bRunning = false;
    unsigned m_generation = 0; // a retry's wait from an earlier test comes to nothing
    bool m_bStoppedOnError = false;
    bool m_bAdvancing = false;
    bool m_bAgain = false;
    StringList m_fileList;
    std::deque<SFile> m_window;
    long m_linksHeld = 0;
    long m_linksDone = 0;
    long m_nextOrder = 0;
    int m_scheme = 1;
    std::unordered_map<std::string, SOutcome> m_outcomes; // every distinct URL of the test
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

    std::string m_currentFile;
    int m_urlCount = 0;
    int m_fileErrorCount = -1;
};
