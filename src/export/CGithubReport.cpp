// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CGithubReport.h"

#include "export/CReportSink.h"
#include "results/CResultsModel.h"

namespace {

void EscapeData(std::string& out, std::string_view ch) {
    if (ch == "%")
        out += "%25";
    else if (ch == "\r")
        out += "%0D";
    else if (ch == "\n")
        out += "%0A";
    else
        out.append(ch);
}

void EscapeProperty(std::string& out, std::string_view ch) {
    if (ch == ":")
        out += "%3A";
    else if (ch == ",")
        out += "%2C";
    else
        EscapeData(out, ch);
}

} // namespace

bool CGithubReport::Export(const CResultsModel& rows, const std::string& folder,
                           const CReportWriter::FnWrite& write) {
    const std::string prefix = !folder.empty() && folder.back() == '/' ? folder : folder + '/';
    CReportSink out(write);
    for (int row = 0; row < rows.RowCount() && out.Ok(); ++row) {
        const SResultRow& r = rows.Row(row);
        std::string_view file = r.fileName;
        if (!folder.empty() && file.size() > prefix.size() && file.starts_with(prefix))
            file.remove_prefix(prefix.size());
        out.Raw("::error file=").Text(file, EscapeProperty);
        if (r.line > 0)
            out.Raw(",line=").Number(r.line);
        if (r.line > 0 && r.column > 0) // a column means nothing without its line
            out.Raw(",col=").Number(r.column);
        out.Raw("::").Text(r.reason, EscapeData).Raw(": ").Text(r.url, EscapeData).Raw("\n");
    }
    return out.Finish();
}
