// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class CReasonFilter;
class ISessionHost;
struct SFoundLink;

/// Lists what a test found, link by link in test order, whichever session
/// probed the links: which settled link becomes a result row, the row itself,
/// and each file's part of the log with its counts and summary line.
///
/// A reply to an ftp link is never evaluated (the host's greeting says nothing
/// of the file); a failure to get a reply is listed for both schemes. Either
/// way the filter has the last word. A link between the pages is listed only
/// when its target or anchor was not found.
class CLinkLister {
public:
    /// How the probe of one link ended.
    struct SOutcome {
        unsigned code = 0;
        bool bReplied = false;    ///< the host answered; else `code` says why not
        bool bRedirected = false; ///< the answer came at the end of redirects
    };

    CLinkLister(ISessionHost& host, CReasonFilter& reasons) : m_host(host), m_reasons(reasons) {}

    /// Whether a link of `scheme` (CUrlExtractor's) that ended in `outcome` is listed.
    static bool IsListed(const CReasonFilter& reasons, int scheme, const SOutcome& outcome);

    /// A test starts: no file is taken up, no link settled.
    void Reset();
    /// Takes up `file`, the previous file's part of the log closed first.
    void TakeUpFile(const std::string& file);
    /// The file taken up was read and has `links` links to test, besides
    /// `excluded` that the test skips: opens its part of the log.
    void FileRead(int links, int excluded = 0);
    /// One link of the file taken up has settled: listed when IsListed() says
    /// so, counted either way.
    void Settle(const SFoundLink& link, int scheme, const SOutcome& outcome);
    /// Closes the part of the log of the file taken up with its summary line;
    /// does nothing when no file is taken up.
    void CloseFile();

    bool HasFile() const { return m_fileErrorCount >= 0; }
    const std::string& CurrentFile() const { return m_currentFile; }
    /// The links of the file taken up.
    int LinkCount() const { return m_urlCount; }
    /// Links settled so far in this test, listed or not.
    long LinksDone() const { return m_linksDone; }
    /// Files read so far in this test.
    long FilesRead() const { return m_filesRead; }

private:
    ISessionHost& m_host;
    CReasonFilter& m_reasons;
    std::string m_currentFile;
    int m_urlCount = 0;
    int m_excludedCount = 0;
    int m_fileErrorCount = -1; // -1 while no file is taken up
    long m_linksDone = 0;
    long m_filesRead = 0;
};
