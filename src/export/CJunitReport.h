// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"

#include <cstdint>
#include <string>
#include <vector>

class CResultsModel;

/// The test as JUnit XML, which most CI systems show as a test report: one
/// `testsuite` per page, one `testcase` per tested link (name: the URL,
/// classname: the page), and in each listed link's case a `failure` (message:
/// the reason, type: the outcome code; text: page:line:column and the anchor
/// name).
///
/// The listed rows do not say which links passed, so the links are kept as
/// they settle: each costs its URL and about 40 bytes until the report is out.
/// Everything taken from a page is escaped for XML 1.0: `&`, `<`, `>` and `"`
/// as entities, TAB, LF and CR as character references (so they survive in
/// attributes), and any other control character, U+FFFE, U+FFFF and each byte
/// that is not valid UTF-8 as U+FFFD, since XML cannot carry them at all.
/// Lines end in LF.
class CJunitReport {
public:
    /// One link of `page` has settled; `bListed` when it was listed (its row
    /// is the next one of the listed rows).
    void AddTested(const std::string& page, const std::string& url, bool bListed);
    long TestedCount() const { return static_cast<long>(m_cases.size()); }

    /// Writes the links kept, each listed one with the next of `rows` (the
    /// rows listed in the same test, in order).
    bool Export(const CResultsModel& rows, const CReportWriter::FnWrite& write) const;

private:
    struct SCase {
        std::string url;
        std::uint32_t page = 0; // in m_pages
        bool bListed = false;
    };

    std::vector<std::string> m_pages; // each run of links of one page
    std::vector<SCase> m_cases;
    long m_nListed = 0;
};
