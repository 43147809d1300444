// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CLinkLister.h"
#include "engine/CLocalLinkChecker.h"
#include "engine/CLookupPool.h"
#include "engine/CReasonFilter.h"
#include "engine/CUrlExclusions.h"
#include "engine/CUrlExtractor.h"
#include "engine/ISessionHost.h"
#include "engine/StringList.h"

#include <QObject>
#include <optional>
#include <string>
#include <vector>

class CSettingsStore;

/// What every link test has, however it schedules its probes: the filter and
/// time-out, the ports, the current-web mode, the listing of settled links, and
/// the test's start, end and stop as the host sees them.
///
/// A session built on it only decides when each link is probed: it hands each
/// settled link, in test order, to its CLinkLister, and ends the test through
/// EndTest() or EndOnReadFailure().
///
/// Everything the test shows goes through ISessionHost. The filter and time-out
/// (`Reasons()`) may change while a test runs: links settled afterwards use the
/// new filter, links started afterwards the new time-out.
class CSessionBase : public QObject {
    Q_OBJECT
public:
    /// Starts a test of `path`; see CFileEnumerator::CollectFiles for the flags.
    /// Does nothing while a test runs; says so when there is no file to test.
    void StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly);
    /// Ends the running test at once: no row after the stop line, no connection
    /// left open.
    void OnStopTest();

    CReasonFilter& Reasons() { return m_reasons; }
    /// The ports links are probed on (80 and 21 unless changed).
    void SetPorts(int httpPort, int ftpPort);
    /// Takes over what `other` was told or holds for the next test: the filter
    /// and time-out in force, the ports and what was forced. For a session that
    /// replaces `other` between tests.
    void TakeOverFrom(const CSessionBase& other);
    /// Tests from now on check as today's browsers do, whatever the settings say.
    void ForceCurrentWeb() { m_bForceCurrentWeb = true; }
    /// Whether a test started now checks as today's browsers do: when forced,
    /// or when the settings say so.
    bool IsCurrentWeb() const;
    /// Tests from now on check the links between the pages as well, whatever
    /// the settings say; a link beginning with "/" is resolved against `root`,
    /// or when it is empty, against the tested folder (a tested file's folder).
    void ForceLocalLinks(std::string root);
    /// Whether a test started now checks the links between the pages: when
    /// forced, or when the settings say so.
    bool IsLocalLinks() const;
    /// Tests from now on skip the URLs `patterns` match (see CUrlExclusions),
    /// whatever the settings say.
    void ForceExclusions(std::vector<std::string> patterns);
    /// The patterns of the URLs a test started now skips: those forced, else
    /// the stored ones.
    std::vector<std::string> ExclusionPatterns() const;

    /// Whether the running or last test checked the links between the pages,
    /// and the root it resolved "/" against.
    bool LocalLinksTested() const { return m_bLocalLinks; }
    const std::string& LocalRoot() const { return m_localLinks.Root(); }

    virtual bool IsTestRunning() const = 0;
    /// True once a test has ended or been stopped, until the next one starts.
    virtual bool IsTestEnded() const = 0;
    /// True after a test that met an outcome of no known reason.
    bool HasUnknownReason() const { return m_reasons.HasUnknownReason(); }
    /// True after a test that stopped because a file could not be read.
    bool StoppedOnError() const { return m_bStoppedOnError; }
    /// Links settled so far in this test, listed or not.
    long LinksDone() const { return m_lister.LinksDone(); }
    /// Files read so far in this test.
    long FilesRead() const { return m_lister.FilesRead(); }

signals:
    /// The test has ended, normally or by Stop Test.
    void TestFinished();

protected:
    /// Loads the filter and time-out from `settings` (reporting an unusable
    /// filter through `host`). Host names are looked up with `resolver`, the
    /// system's when it is empty, on up to `lookupThreads` threads at once.
    CSessionBase(ISessionHost& host, CSettingsStore& settings, QObject* parent,
                 CLookupPool::Resolver resolver, int lookupThreads = CLookupPool::kDefaultThreads);

    /// Takes up a test of `files` (never empty) once its log has begun.
    virtual void Schedule(StringList files) = 0;
    /// Stops every probe and look-up and forgets the test's queue; afterwards
    /// no test runs. Called at the end and stop of a test.
    virtual void Halt() = 0;

    /// The test ran to its end: the last file's summary and the end line.
    void EndTest();
    /// The file taken up could not be read: the test ends there, with a message.
    void EndOnReadFailure();

    /// The current-web mode of the running test, fixed at its start.
    bool TestsCurrentWeb() const { return m_bCurrentWeb; }
    /// Which links the running test's pages hold, fixed at its start.
    CUrlExtractor::ELinks LinksTested() const { return CUrlExtractor::LinksFor(m_bCurrentWeb); }
    CUrlExtractor::ELocal LocalTested() const {
        return m_bLocalLinks ? CUrlExtractor::ELocal::Include : CUrlExtractor::ELocal::Skip;
    }
    /// How the link between the pages `link` of `page` ends, checked on disk.
    CLinkLister::SOutcome CheckLocal(const std::string& page, const SFoundLink& link);
    /// The port a link of `scheme` (CUrlExtractor's) is probed on.
    int PortFor(int scheme) const;
    /// Takes the links the running test skips out of `links`; returns how many.
    int DropExcluded(LinkList& links) const;

    ISessionHost& m_host;
    CReasonFilter m_reasons;
    CLookupPool m_lookups;
    CLinkLister m_lister;

private:
    void Stop();
    void Finish();

    CSettingsStore& m_settings;
    CUrlExclusions m_exclusions; // the running test's
    CLocalLinkChecker m_localLinks;
    std::optional<std::string> m_forcedLocalRoot; // set when the links between pages are forced
    bool m_bLocalLinks = false;
    std::optional<std::vector<std::string>> m_forcedExclusions;
    bool m_bForceCurrentWeb = false;
    bool m_bCurrentWeb = false;
    bool m_bStoppedOnError = false;
    int m_httpPort = 80;
    int m_ftpPort = 21;
};
