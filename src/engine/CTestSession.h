#pragma once

#include "engine/CDeleteLater.h"
#include "engine/CLookupPool.h"
#include "engine/CReasonFilter.h"
#include "engine/ISessionHost.h"
#include "engine/StringList.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>

class CHttpProbe;
class CSettingsStore;

/// Runs one link test at a time, from a selected path to listed results.
///
/// The session keeps the queue of files and links; each link is probed by a
/// CHttpProbe of its own. Nothing loops: every step is started by the event
/// loop, through a tick of the step timer (every 100 ms) or the outcome of the
/// probe in flight. A link is started at the earliest on the tick after the
/// previous one finished; the first link of a file starts in the tick that
/// takes the file up.
///
/// Its life is one state:
///   Idle          no test has run yet;
///   TakingUpFile  a file's links are being read (within one tick);
///   BetweenLinks  a test runs and no link is in flight;
///   Probing       a test runs and a probe is in flight;
///   Ended         the last test ended or was stopped.
/// The step timer runs exactly in the three running states.
///
/// Everything the test shows goes through ISessionHost. The session owns the
/// filter and time-out (`Reasons()`), which may change while a test runs: links
/// finished afterwards use the new filter, links started afterwards the new
/// time-out.
class CTestSession : public QObject {
    Q_OBJECT
public:
    enum class EState { Idle, TakingUpFile, BetweenLinks, Probing, Ended };

    static constexpr int kStepIntervalMs = 100;

    /// Loads the filter and time-out from `settings` (reporting an unusable
    /// filter through `host`). Host names are looked up with `resolver`, the
    /// system's when it is empty.
    CTestSession(ISessionHost& host, CSettingsStore& settings, QObject* parent = nullptr,
                 CLookupPool::Resolver resolver = {});
    ~CTestSession() override;

    /// Starts a test of `path`; see CFileEnumerator::CollectFiles for the flags.
    /// Does nothing while a test runs.
    void StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly);
    /// Ends the running test at once: the link in flight gets no row.
    void OnStopTest();

    CReasonFilter& Reasons() { return m_reasons; }
    /// The ports links are probed on (80 and 21 unless changed).
    void SetPorts(int httpPort, int ftpPort);
    /// Tests from now on check as today's browsers do, whatever the settings say.
    void ForceCurrentWeb() { m_bForceCurrentWeb = true; }

    EState State() const { return m_state; }
    bool IsTestRunning() const {
        return m_state == EState::TakingUpFile || m_state == EState::BetweenLinks ||
               m_state == EState::Probing;
    }
    /// True once a test has ended or been stopped, until the next one starts.
    bool IsTestEnded() const { return m_state == EState::Ended; }
    bool HasUnknownReason() const { return m_reasons.m_bUnknownReason; }
    /// True after a test that stopped because a file could not be read.
    bool StoppedOnError() const { return m_bStoppedOnError; }

signals:
    /// The test has ended, normally or by Stop Test.
    void TestFinished();

private:
    void SetState(EState state);
    void NextStep();
    void TakeUpNextFile();
    void ProbeNextUrl();
    void OnProbeFinished(unsigned code, bool bReplied);
    void EndTest();
    void ResetSession(bool bResetStatusTexts);
    void TransferProgress();
    void AppendFileSummary();

    ISessionHost& m_host;
    CSettingsStore& m_settings;
    CReasonFilter m_reasons;
    CLookupPool m_lookups;
    EState m_state = EState::Idle;
    bool m_bForceCurrentWeb = false;
    bool m_bCurrentWeb = false;

    StringList m_fileList;
    StringList m_urlList;
    StringList m_siteNameList;
    int m_fileCount = 0;
    int m_urlCount = 0;
    int m_fileErrorCount = -1;
    std::string m_currentFile;
    int m_scheme = 1;
    LaterPtr<CHttpProbe> m_pProbe;

    SProgressValues m_progress;
    bool m_bProgressShown = false;
    bool m_bStatusProgressCreated = false;
    int m_blinkCount = 0;
    bool m_bStoppedOnError = false;

    int m_httpPort = 80;
    int m_ftpPort = 21;
    QTimer m_stepTimer;
};
