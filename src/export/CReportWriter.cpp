// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CReportWriter.h"

#include "base/CAtomicFile.h"
#include "engine/LogText.h"
#include "export/CReportBuffer.h"
#include "results/CResultsModel.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The text and HTML reports' bytes, in pieces of a bounded size.
class CWindowReport : public CReportBuffer<CWindowReport> {
public:
    explicit CWindowReport(const CReportWriter::FnWrite& write) : CReportBuffer(write) {}

    /// Text of the format itself: each "\n" is a line end, written as CR LF.
    CWindowReport& Format(std::string_view text) {
        for (char c : text) {
            if (c == '\n')
                m_pending += '\r';
            m_pending += c;
        }
        return Spill();
    }
    /// Text taken from the list, as the bytes it is.
    CWindowReport& Bytes(std::string_view text) { return Raw(text); }
    /// Text taken from the list, escaped for HTML.
    CWindowReport& Escaped(std::string_view text) {
        for (char c : text) {
            switch (c) {
            case '&':
                m_pending += "&amp;";
                break;
            case '<':
                m_pending += "&lt;";
                break;
            case '>':
                m_pending += "&gt;";
                break;
            case '"':
                m_pending += "&quot;";
                break;
            default:
                m_pending += c;
            }
        }
        return Spill();
    }
};

// The file's group changes at this row: a run of rows with one file name is a
// group, compared with the previous row's exactly, and the first row is
// compared with no name at all.
bool StartsGroup(const CResultsModel& rows, int row) {
    const std::string& previous = row == 0 ? std::string() : rows.Row(row - 1).fileName;
    return rows.Row(row).fileName != previous;
}

} // namespace

bool CReportWriter::ExportText(const CResultsModel& rows, const FnWrite& write) {
    CWindowReport out(write);
    for (int row = 0; row < rows.RowCount() && out.Ok(); ++row) {
        const SResultRow& r = rows.Row(row);
        if (StartsGroup(rows, row)) {
            if (row != 0)
                out.Format("\n");
            out.Format("FILE: ").Bytes(r.fileName).Format("\n");
        }
        out.Bytes(r.url).Format("\t").Bytes(r.reason).Format("\t").Bytes(r.siteName).Format("\n");
    }
    return out.Finish();
}

bool CReportWriter::ExportHtml(const CResultsModel& rows, const std::string& dateTime,
                               const FnWrite& write) {
    CWindowReport out(write);
    out.Format("<HTML>\n<HEAD>\n<TITLE>Linkvet Results</TITLE>\n</HEAD>\n<BODY>\n<H3><A HREF=\"")
        .Format(kHomePage)
        .Format("\">Linkvet</A></H3>\n<b>Start of report: </b>")
        .Bytes(dateTime)
        .Format("\n");
    for (int row = 0; row < rows.RowCount() && out.Ok(); ++row) {
        const SResultRow& r = rows.Row(row);
        if (StartsGroup(rows, row)) {
            if (row != 0)
                out.Format("\n</ul>\n");
            out.Format("\n<hr>\n<b>FILE: ").Escaped(r.fileName).Format("</b>\n<ul>");
        }
        out.Format("\n<li><a href=\"").Escaped(r.url).Format("\">").Escaped(r.siteName);
        out.Format("</a> ").Escaped(r.reason);
    }
    out.Format("\n</ul>\n<hr>\n\n</BODY>\n</HTML>\n");
    return out.Finish();
}

bool CReportWriter::WriteFile(const std::string& path, EFormat format, const CResultsModel& rows) {
    const std::string dateTime = LogText::LongDateTime();
    return WriteFile(path, [&](const FnWrite& write) {
        return format == EFormat::Html ? ExportHtml(rows, dateTime, write)
                                       : ExportText(rows, write);
    });
}

bool CReportWriter::WriteFile(const std::string& path, const FnFill& fill) {
    // A file that may not be written stays as it is, as opening it would fail.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), W_OK) != 0)
        return false;
    CAtomicFile file;
    if (!file.Open(path, CAtomicFile::EReplace::Replace, 0666))
        return false;
    return fill([&file](std::string_view bytes) { return file.Write(bytes); }) &&
           file.Commit() == CAtomicFile::ECommit::Done;
}
