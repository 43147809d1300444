// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CJunitReport.h"

#include "export/CReportSink.h"
#include "results/CResultsModel.h"

namespace {

void EscapeXml(std::string& out, std::string_view ch) {
    if (ch.size() != 1) {
        // The two noncharacters XML 1.0 leaves out of its character range.
        out.append(ch == "\xEF\xBF\xBE" || ch == "\xEF\xBF\xBF" ? CReportSink::kReplacement : ch);
        return;
    }
    switch (const char c = ch[0]) {
    case '&':
        out += "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    case '"':
        out += "&quot;";
        break;
    case '\t':
        out += "&#9;";
        break;
    case '\n':
        out += "&#10;";
        break;
    case '\r':
        out += "&#13;";
        break;
    default:
        if (static_cast<unsigned char>(c) < 0x20)
            out.append(CReportSink::kReplacement);
        else
            out += c;
    }
}

} // namespace

void CJunitReport::AddTested(const std::string& page, const std::string& url, bool bListed) {
    if (m_pages.empty() || m_pages.back() != page)
        m_pages.push_back(page);
    m_cases.push_back({url, static_cast<std::uint32_t>(m_pages.size() - 1), bListed});
    m_nListed += bListed ? 1 : 0;
}

bool CJunitReport::Export(const CResultsModel& rows, const CReportWriter::FnWrite& write) const {
    CReportSink out(write);
    out.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"Linkvet\" tests=\"")
        .Number(TestedCount())
        .Raw("\" failures=\"")
        .Number(m_nListed)
        .Raw("\">\n");
    int nextRow = 0;
    for (std::size_t first = 0; first < m_cases.size() && out.Ok();) {
        const std::string& page = m_pages[m_cases[first].page];
        std::size_t end = first;
        long nFailures = 0;
        for (; end < m_cases.size() && m_cases[end].page == m_cases[first].page; ++end)
            nFailures += m_cases[end].bListed ? 1 : 0;
        out.Raw("  <testsuite name=\"").Text(page, EscapeXml).Raw("\" tests=\"");
        out.Number(static_cast<long long>(end - first)).Raw("\" failures=\"").Number(nFailures);
        out.Raw("\">\n");
        for (; first < end; ++first) {
            const SCase& testCase = m_cases[first];
            out.Raw("    <testcase name=\"").Text(testCase.url, EscapeXml);
            out.Raw("\" classname=\"").Text(page, EscapeXml).Raw("\"");
            if (!testCase.bListed || nextRow >= rows.RowCount()) {
                out.Raw(testCase.bListed ? ">\n      <failure/>\n    </testcase>\n" : "/>\n");
                continue;
            }
            const SResultRow& r = rows.Row(nextRow++);
            out.Raw(">\n      <failure message=\"").Text(r.reason, EscapeXml);
            out.Raw("\" type=\"").Number(r.code).Raw("\">").Text(r.fileName, EscapeXml);
            if (r.line > 0)
                out.Raw(":").Number(r.line);
            if (r.line > 0 && r.column > 0)
                out.Raw(":").Number(r.column);
            out.Raw("\n").Text(r.siteName, EscapeXml).Raw("</failure>\n    </testcase>\n");
        }
        out.Raw("  </testsuite>\n");
    }
    out.Raw("</testsuites>\n");
    return out.Finish();
}
