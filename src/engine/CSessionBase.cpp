// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CSessionBase.h"

#include "engine/CFileEnumerator.h"
#include "engine/CUrlExtractor.h"
#include "engine/LogText.h"
#include "settings/CSettingsStore.h"

#include <algorithm>
#include <climits>

namespace {

// The folder of the file at `path`: "." for a bare name, "/" for one in the root.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

CSessionBase::CSessionBase(ISessionHost& host, CSettingsStore& settings, QObject* parent,
                           CLookupPool::Resolver resolver, int lookupThreads)
    : QObject(parent), m_host(host), m_reasons(host), m_lookups(std::move(resolver), lookupThreads),
      m_lister(host, m_reasons), m_settings(settings) {
    m_reasons.Load(settings);
}

void CSessionBase::SetPorts(int httpPort, int ftpPort) {
    m_httpPort = httpPort;
    m_ftpPort = ftpPort;
}

void CSessionBase::TakeOverFrom(const CSessionBase& other) {
    m_reasons.SetFilter(other.m_reasons.Filter());
    m_reasons.SetTimeoutSeconds(other.m_reasons.TimeoutSeconds());
    m_httpPort = other.m_httpPort;
    m_ftpPort = other.m_ftpPort;
    m_bForceCurrentWeb = other.m_bForceCurrentWeb;
    m_forcedLocalRoot = other.m_forcedLocalRoot;
    m_forcedExclusions = other.m_forcedExclusions;
}

bool CSessionBase::IsCurrentWeb() const {
    return m_bForceCurrentWeb || m_settings.Get(SettingsKeys::kSettingsCurrentWeb) != 0;
}

void CSessionBase::ForceLocalLinks(std::string root) {
    m_forcedLocalRoot = std::move(root);
}

bool CSessionBase::IsLocalLinks() const {
    return m_forcedLocalRoot || m_settings.Get(SettingsKeys::kSettingsLocalLinks) != 0;
}

CLinkLister::SOutcome CSessionBase::CheckLocal(const std::string& page, const SFoundLink& link) {
    const unsigned code = m_localLinks.Check(page, link.url);
    return {code, code == CLocalLinkChecker::kFound};
}

void CSessionBase::ForceExclusions(std::vector<std::string> patterns) {
    m_forcedExclusions = std::move(patterns);
}

std::vector<std::string> CSessionBase::ExclusionPatterns() const {
    if (m_forcedExclusions)
        return *m_forcedExclusions;
    return CUrlExclusions::SplitLines(m_settings.Get(SettingsKeys::kSettingsSkipUrls));
}

int CSessionBase::DropExcluded(LinkList& links) const {
    if (m_exclusions.IsEmpty())
        return 0;
    const std::size_t dropped = std::erase_if(
        links, [this](const SFoundLink& link) { return m_exclusions.Matches(link.url); });
    return static_cast<int>(std::min<std::size_t>(dropped, INT_MAX));
}

int CSessionBase::PortFor(int scheme) const {
    return scheme == CUrlExtractor::kSchemeFtp ? m_ftpPort : m_httpPort;
}

void CSessionBase::StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly) {
    if (IsTestRunning())
        return;
    StringList files = CFileEnumerator::CollectFiles(path, recurse, allFiles, htmlOnly);
    if (files.empty()) {
        m_host.ShowMessage(LogText::kNoFilesMessage);
        return;
    }
    m_bStoppedOnError = false;
    m_reasons.ClearUnknownReason();
    m_bCurrentWeb = IsCurrentWeb();
    m_bLocalLinks = IsLocalLinks();
    if (m_bLocalLinks) {
        std::string root = m_forcedLocalRoot.value_or(std::string());
        if (root.empty())
            root = allFiles ? path : FolderOf(path);
        m_localLinks.SetRoot(std::move(root));
        m_localLinks.Reset(); // the pages may have changed since the last test
    }
    // A stored pattern that does not compile (only a hand-edited file holds one)
    // is passed over; the dialog and the command line refuse them.
    m_exclusions.SetPatterns(ExclusionPatterns());
    m_lister.Reset();
    m_host.ClearLogAndResults();
    m_host.AppendLog(LogText::StartLine());
    Schedule(std::move(files));
}

void CSessionBase::EndTest() {
    Stop();
    Finish();
}

void CSessionBase::EndOnReadFailure() {
    Stop(); // the test is over before the messages show: nothing may go on meanwhile
    m_host.ShowMessage(LogText::CannotOpenMessage(m_lister.CurrentFile()));
    m_host.ShowMessage(LogText::kProcessingStopped);
    m_bStoppedOnError = true;
    Finish();
}

void CSessionBase::OnStopTest() {
    if (!IsTestRunning())
        return;
    Stop();
    m_host.AppendLog(LogText::kStoppedByUser);
    emit TestFinished();
}

void CSessionBase::Stop() {
    Halt();
    m_host.SetStatusPane(ISessionHost::EPane::Connection, "Connection Status");
    m_host.SetStatusPane(ISessionHost::EPane::Method, "HTTP Method Status");
}

void CSessionBase::Finish() {
    m_lister.CloseFile();
    m_host.AppendLog(LogText::EndLine());
    m_host.SetStatusPane(ISessionHost::EPane::Connection, "Search Complete");
    m_host.SetStatusPane(ISessionHost::EPane::Method, "");
    m_host.Beep(ISessionHost::EBeepKind::Default);
    emit TestFinished();
}
