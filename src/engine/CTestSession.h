// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CDeleteLater.h"
#include "engine/CSessionBase.h"
#include "engine/CUrlExtractor.h"

#include <QTimer>

class CHttpProbe;

/// Runs one link test at a time, from a selected path to listed results: the
/// window's paced test.
///
/// The session keeps the queue of files and links; each link is probed by a
/// CHttpProbe of its own. Nothing loops: every step is started by the event
/// loop, through a tick of the step timer (every 100 ms) or the outcome of the
/// probe in flight. A link is started at the earliest on the tick after the
/// previous one finished; the first link of a file starts in the tick that
/// takes the file up. Links between the pages need no network and keep no
/// pace: they are checked on disk as they come up, and what follows them is
/// started from the event loop at once.
///
/// Its life is one state:
///   Idle          no test has run yet;
///   TakingUpFile  a file's links are being read (within one tick);
///   BetweenLinks  a test runs and no link is in flight;
///   Probing       a test runs and a probe is in flight;
///   Ended         the last test ended or was stopped.
/// The step timer runs exactly in the three running states.
class CTestSession : public CSessionBase {
    Q_OBJECT
public:
    enum class EState { Idle, TakingUpFile, BetweenLinks, Probing, Ended };

    static constexpr int kStepIntervalMs = 100;

    /// As CSessionBase's.
    CTestSession(ISessionHost& host, CSettingsStore& settings, QObject* parent = nullptr,
                 CLookupPool::Resolver resolver = {});
    ~CTestSession() override;

    EState State() const { return m_state; }
    bool IsTestRunning() const override {
        return m_state == EState::TakingUpFile || m_state == EState::BetweenLinks ||
               m_state == EState::Probing;
    }
    bool IsTestEnded() const override { return m_state == EState::Ended; }

private:
    void Schedule(StringList files) override;
    void Halt() override;
    void SetState(EState state);
    void NextStep();
    /// Starts what comes next when no link is in flight.
    void Advance();
    void CheckLocalLinks();
    void TakeUpNextFile();
    void ProbeNextUrl();
    void OnProbeFinished(unsigned code, bool bReplied);
    void TransferProgress();

    EState m_state = EState::Idle;
    StringList m_fileList;
    LinkList m_links; // the links of the file taken up not yet settled
    int m_fileCount = 0;
    int m_scheme = 1;
    LaterPtr<CHttpProbe> m_pProbe;

    SProgressValues m_progress;
    bool m_bProgressShown = false;
    bool m_bStatusProgressCreated = false;
    int m_blinkCount = 0;

    QTimer m_stepTimer;
    QTimer m_localStep; // what follows links between the pages, at once
};
