// SPDX-License-Identifier: GPL-3.0-or-later
// Exports a list of 100 000 results in each report format (text, HTML,
// Markdown, GitHub commands, JSON, SARIF, JUnit) through CReportWriter::WriteFile into a
// temporary file, and prints the throughput and the peak memory before and
// after, which shows whether a writer holds the report (or its escaped text)
// in memory instead of streaming it.
//
//   linkvet-bench-export [ROWS]      (default 100000)

#include "BenchUtil.h"
#include "engine/LogText.h"
#include "export/CGithubReport.h"
#include "export/CJsonReport.h"
#include "export/CJunitReport.h"
#include "export/CMarkdownReport.h"
#include "export/CReportWriter.h"
#include "export/CSarifReport.h"
#include "export/SReportRun.h"
#include "results/CResultsModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rowCount = argc > 1 ? static_cast<int>(bench::ParseCount(argv[1])) : 100000;
    QTemporaryDir dir;
    if (!dir.isValid())
        bench::Fail("no temporary folder");
    const std::string path = dir.filePath(QStringLiteral("report")).toStdString();

    // A test of many pages: 50 listed links per file, query strings with "&"
    // and anchor texts with markup to escape.
    CResultsModel rows;
    for (int i = 0; i < rowCount; ++i) {
        const std::string n = std::to_string(i);
        SResultRow row{"http://www.example.com/some/path/page" + n + ".html?id=" + n + "&lang=en",
                       "HTTP Code 404 Not Found", "Anchor <b>text</b> of link " + n,
                       "/srv/www/site/section" + std::to_string(i / 50) + "/page.html"};
        row.line = i % 50 + 1;
        row.column = 10;
        row.code = 404;
        rows.AddRow(row);
    }
    std::printf("  %d rows in the list; peak RSS %.1f MiB before the exports\n", rowCount,
                bench::PeakRssMiB());

    const auto measure = [&](const char* name, const CReportWriter::FnFill& fill) {
        const double seconds = bench::BestOf(bench::kRepetitions, [&] {
            if (!CReportWriter::WriteFile(path, fill))
                bench::Fail("the report was not written");
        });
        const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
        std::printf("  %-8s report: %6.1f MB in %6.3f s = %6.1f MB/s; peak RSS %.1f MiB after\n",
                    name, megabytes, seconds, megabytes / seconds, bench::PeakRssMiB());
    };
    measure("text", [&](const auto& write) { return CReportWriter::ExportText(rows, write); });
    measure("HTML", [&](const auto& write) {
        return CReportWriter::ExportHtml(rows, LogText::LongDateTime(), write);
    });
    measure("Markdown", [&](const auto& write) { return CMarkdownReport::Export(rows, write); });
    measure("GitHub",
            [&](const auto& write) { return CGithubReport::Export(rows, "/srv/www", write); });
    SReportRun run;
    run.version = "bench";
    measure("JSON", [&](const auto& write) { return CJsonReport::Write(rows, run, write); });
    measure("SARIF",
            [&](const auto& write) { return CSarifReport::Write(rows, run, "/srv/www", write); });

    // JUnit keeps every tested link: here each listed one and as many that passed.
    CJunitReport tested;
    for (int i = 0; i < rowCount; ++i) {
        const SResultRow& row = rows.Row(i);
        tested.AddTested(row.fileName, row.url + "&ok", false);
        tested.AddTested(row.fileName, row.url, true);
    }
    std::printf("  %ld tested links kept; peak RSS %.1f MiB\n", tested.TestedCount(),
                bench::PeakRssMiB());
    measure("JUnit", [&](const auto& write) { return tested.Export(rows, write); });
    return 0;
}
