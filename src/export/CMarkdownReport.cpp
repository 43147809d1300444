// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CMarkdownReport.h"

#include "export/CReportSink.h"
#include "results/CResultsModel.h"

#include <cstring>

namespace {

// Escapes a cell's or a heading's text one character at a time. A CR LF pair
// is one line end, so the LF after a CR adds nothing.
class CMarkdownEscape {
public:
    void operator()(std::string& out, std::string_view ch) {
        const bool bAfterCr = m_bAfterCr;
        m_bAfterCr = ch == "\r";
        if (ch.size() != 1) {
            out.append(ch);
            return;
        }
        const char c = ch[0];
        switch (c) {
        case '&':
            out += "&amp;";
            return;
        case '<':
            out += "&lt;";
            return;
        case '>':
            out += "&gt;";
            return;
        case '"':
            out += "&quot;";
            return;
        case '\t':
            out += ' ';
            return;
        case '\r':
            out += "<br>";
            return;
        case '\n':
            if (!bAfterCr)
                out += "<br>";
            return;
        default:
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            out.append(CReportSink::kReplacement);
            return;
        }
        if (std::strchr("\\`*_[](){}#+-!|~", c) != nullptr)
            out += '\\';
        out += c;
    }

private:
    bool m_bAfterCr = false;
};

} // namespace

bool CMarkdownReport::Export(const CResultsModel& rows, const CReportWriter::FnWrite& write) {
    CReportSink out(write);
    out.Raw("## Linkvet results\n\nLinks listed: ").Number(rows.RowCount()).Raw(".\n");
    for (int row = 0; row < rows.RowCount() && out.Ok(); ++row) {
        const SResultRow& r = rows.Row(row);
        if (row == 0 || r.fileName != rows.Row(row - 1).fileName) {
            out.Raw("\n### ").Text(r.fileName, CMarkdownEscape());
            out.Raw("\n\n| Line | URL | Reason | Anchor name |\n| ---: | --- | --- | --- |\n");
        }
        out.Raw("| ");
        if (r.line > 0)
            out.Number(r.line);
        out.Raw(" | ").Text(r.url, CMarkdownEscape()).Raw(" | ").Text(r.reason, CMarkdownEscape());
        out.Raw(" | ").Text(r.siteName, CMarkdownEscape()).Raw(" |\n");
    }
    return out.Finish();
}
