// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CJsonReport.h"

#include "export/CJsonStream.h"
#include "export/SReportRun.h"
#include "results/CResultsModel.h"

bool CJsonReport::Write(const CResultsModel& rows, const SReportRun& run,
                        const CReportWriter::FnWrite& write) {
    CJsonStream out(write);
    out.Raw("{\n\"format\": ").Number(kFormatVersion);
    out.Raw(",\n\"tool\": {\"name\": ").String(run.toolName).Raw(", \"version\": ");
    out.String(run.version).Raw("},\n\"start\": ").String(run.startTime);
    out.Raw(",\n\"end\": ").String(run.endTime);
    out.Raw(",\n\"options\": {\"path\": ").String(run.path);
    out.Raw(", \"all\": ").Bool(run.bAll).Raw(", \"recurse\": ").Bool(run.bRecurse);
    out.Raw(", \"htmlOnly\": ").Bool(run.bHtmlOnly).Raw(", \"currentWeb\": ").Bool(run.bCurrentWeb);
    out.Raw(", \"filter\": ").String(run.filter).Raw(", \"timeout\": ").Number(run.timeoutSeconds);
    out.Raw(", \"jobs\": ").Number(run.jobs).Raw(", \"perHost\": ").Number(run.perHost);
    out.Raw(", \"httpPort\": ").Number(run.httpPort).Raw(", \"ftpPort\": ").Number(run.ftpPort);
    out.Raw(", \"repair\": ");
    if (run.repair >= 0)
        out.Number(run.repair);
    else
        out.Raw("null");
    if (run.bLocalLinks) // only then, so that reports of other tests stay as they were
        out.Raw(", \"localLinks\": {\"root\": ").String(run.localRoot).Raw("}");
    out.Raw("},\n\"totals\": {\"files\": ").Number(run.files);
    out.Raw(", \"linksTested\": ").Number(run.linksTested);
    out.Raw(", \"linksListed\": ").Number(rows.RowCount()).Raw("},\n\"rows\": [");
    for (int row = 0; row < rows.RowCount() && out.Ok(); ++row) {
        const SResultRow& r = rows.Row(row);
        out.Raw(row == 0 ? "\n{\"url\": " : ",\n{\"url\": ").String(r.url);
        out.Raw(", \"reason\": ").String(r.reason).Raw(", \"code\": ").Number(r.code);
        out.Raw(", \"redirected\": ").Bool(r.bRedirected).Raw(", \"name\": ").String(r.siteName);
        out.Raw(", \"file\": ").String(r.fileName).Raw(", \"line\": ").NumberOrNull(r.line);
        out.Raw(", \"column\": ").NumberOrNull(r.column).Raw("}");
    }
    out.Raw("\n]\n}\n");
    return out.Finish();
}
