#pragma once

#include "engine/CDeleteLater.h"
#include "engine/CReasonFilter.h"
#include "engine/ISessionHost.h"
#include "engine/StringList.h"

#include <QObject>
#include <QTimer>
#include <string>
#include <string_view>

class CSettingsStore;
class CSocketWnd;

/// Runs one link test at a time, from a selected path to listed results.
///
/// Nothing loops: every step is started by the event loop, through a tick of the
/// step timer (every 100 ms), a tick of the time-out timer, or an event of the
/// connection of the link being probed. A link is started at the earliest on the
/// tick after the previous one finished; the first link of a file starts in the
/// tick that takes the file up.
///
/// Everything the test shows goes through ISessionHost. The session owns the
/// filter and time-out (`Reasons()`), which may change while a test runs: links
/// started afterwards use the new values.
///
/// A reply is evaluated once its status line is whole: a line feed has arrived,
/// 512 bytes have, or the host closed after sending something. A status line
/// without a usable status number (none, a negative one, or one too large for 32
/// bits) gives kNoStatusCode, which no reason knows: it is always listed, as an
/// unknown reason.
class CTestSession : public QObject {
    Q_OBJECT
public:
    static constexpr int kStepIntervalMs = 100;
    static constexpr std::size_t kReplyCapacity = 512;
    static constexpr std::size_t kDrainCap = 64 * 1024;
    static constexpr unsigned kNoStatusCode = 0;
    static constexpr const char* kNoFilesMessage =
        "No files found.\n\nWas your filter option set correctly?";

    /// Loads the filter and time-out from `settings` (reporting an unusable
    /// filter through `host`).
    CTestSession(ISessionHost& host, CSettingsStore& settings, QObject* parent = nullptr);
    ~CTestSession() override;

    /// Starts a test of `path`; see CFileEnumerator::CollectFiles for the flags.
    /// Does nothing while a test runs.
    void StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly);
    /// Ends the running test at once: the link in flight gets no row.
    void OnStopTest();

    CReasonFilter& Reasons() { return m_reasons; }
    /// The ports links are probed on (80 and 21 unless changed).
    void SetPorts(int httpPort, int ftpPort);

    bool IsTestRunning() const { return m_bTestRunning; }
    bool IsTestEnded() const { return m_bTestEnded; }
    bool HasUnknownReason() const { return m_reasons.m_bUnknownReason; }
    /// True after a test that stopped because a file could not be read.
    bool StoppedOnError() const { return m_bStoppedOnError; }

    /// The status code of a reply: the number after the first word of its first
    /// non-empty line, or kNoStatusCode.
    static unsigned StatusCodeOf(std::string_view reply);
    /// The local date and time in the locale's long form, for the log.
    static std::string LongDateTime();

signals:
    /// The test has ended, normally or by Stop Test.
    void TestFinished();

private:
    void NextStep();
    void ProbeNextUrl();
    void ConnectAndRequest(const std::string& link);
    void OnConnectFinished(unsigned code);
    void OnSocketNotify(int socket, quint32 lParam);
    bool StatusLineComplete() const;
    void DrainReply();
    void FinishUrl();
    void FailUrl(unsigned code);
    void AddResultRow(unsigned code);
    void EndTest();
    void ResetSession(bool bResetStatusTexts);
    void CloseConnection();
    void ReleaseSocketWindow();
    void OnTimeout();
    void StopTimers();
    void StopTimeout();
    void StepUrlBar();
    void Message(const std::string& text);
    void PopHeadLink();
    void TransferProgress();
    void AppendFileSummary();

    ISessionHost& m_host;
    CReasonFilter m_reasons;

    StringList m_fileList;
    StringList m_urlList;
    StringList m_siteNameList;
    int m_fileCount = 0;
    int m_urlCount = 0;
    int m_fileErrorCount = -1;
    std::string m_currentFile;
    int m_scheme = 1;

    LaterPtr<CSocketWnd> m_pSocketWnd;
    std::string m_strProbeHost; // host of the link being probed, for the status texts
    std::string m_replyBuffer;
    bool m_bPeerClosed = false;
    bool m_bWaitCursor = false;

    SProgressValues m_progress;
    bool m_bProgressShown = false;
    bool m_bStatusProgressCreated = false;
    int m_blinkCount = 0;

    bool m_bAwaitingReply = false;
    bool m_bTestRunning = false;
    bool m_bTimeoutRunning = false;
    bool m_bTestEnded = false;
    bool m_bStoppedOnError = false;
    int m_modalDepth = 0;

    int m_httpPort = 80;
    int m_ftpPort = 21;
    QTimer m_stepTimer;
    QTimer m_timeoutTimer;
};
