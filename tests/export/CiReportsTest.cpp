// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CGithubReport.h"
#include "export/CJunitReport.h"
#include "export/CMarkdownReport.h"
#include "results/CResultsModel.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

namespace {

// Rows with what pages hold: markup characters, a tab, line ends, bytes that
// are no UTF-8 and control characters; the second came after redirects, the
// third has no known line and a page outside the folder "/site".
void AddRows(CResultsModel& rows) {
    SResultRow a{"http://h/?a=1&b=\"<x>\"", "HTTP Code 404 Not Found", "A\tB\r\nC|*_`#",
                 "/site/a,b:c.htm"};
    a.line = 3;
    a.column = 9;
    a.code = 404;
    SResultRow b{"http://h/\xff\xe9%\n2", "Moved", "\x01-[x](y)\xef\xbf\xbf", "/site/a,b:c.htm"};
    b.line = 4;
    b.code = 301;
    b.bRedirected = true;
    SResultRow c{"ftp://f/", "Can't Connect to Host", "", "/site2/b.htm"};
    c.code = 10061;
    for (const SResultRow& row : {a, b, c})
        rows.AddRow(row);
}

template <class FnExport> std::string Written(FnExport&& exportTo) {
    std::string out;
    EXPECT_TRUE(exportTo([&out](std::string_view bytes) {
        out.append(bytes);
        return true;
    }));
    EXPECT_FALSE(exportTo([](std::string_view) { return false; })); // a failed write is told
    return out;
}

const std::string kFffd = "\xef\xbf\xbd";

TEST(CiReportsTest, MarkdownShowsPageTextAsTextInOneTablePerPage) {
    CResultsModel rows;
    AddRows(rows);
    EXPECT_EQ(Written([&](const auto& write) { return CMarkdownReport::Export(rows, write); }),
              "## Linkvet results\n\nLinks listed: 3.\n"
              "\n### /site/a,b:c.htm\n\n| Line | URL | Reason | Anchor name |\n"
              "| ---: | --- | --- | --- |\n"
              "| 3 | http://h/?a=1&amp;b=&quot;&lt;x&gt;&quot; | HTTP Code 404 Not Found | "
              "A B<br>C\\|\\*\\_\\`\\# |\n"
              "| 4 | http://h/" +
                  kFffd + kFffd + "%<br>2 | Moved | " + kFffd +
                  "\\-\\[x\\]\\(y\\)\xef\xbf\xbf |\n"
                  "\n### /site2/b.htm\n\n| Line | URL | Reason | Anchor name |\n"
                  "| ---: | --- | --- | --- |\n"
                  "|  | ftp://f/ | Can't Connect to Host |  |\n");
}

TEST(CiReportsTest, GithubCommandsAreEscapedAndNameFilesFromTheFolder) {
    CResultsModel rows;
    AddRows(rows);
    for (const std::string folder : {"/site", "/site/"})
        EXPECT_EQ(
            Written([&](const auto& write) { return CGithubReport::Export(rows, folder, write); }),
            "::error file=a%2Cb%3Ac.htm,line=3,col=9::HTTP Code 404 Not Found: "
            "http://h/?a=1&b=\"<x>\"\n"
            "::error file=a%2Cb%3Ac.htm,line=4::Moved: http://h/" +
                kFffd + kFffd +
                "%25%0A2\n::error file=/site2/b.htm::Can't Connect to Host: ftp://f/\n");
}

TEST(CiReportsTest, JunitHasEveryTestedLinkAndParsesWithItsCounts) {
    CResultsModel rows;
    AddRows(rows);
    CJunitReport report;
    report.AddTested("/site/a,b:c.htm", "http://ok/&", false);
    for (int row = 0; row < rows.RowCount(); ++row) // each listed one in its place
        report.AddTested(rows.Row(row).fileName, rows.Row(row).url, true);
    report.AddTested("/site2/b.htm", "http://ok/\x02", false);
    CTempDir dir;
    WriteFile(dir / "r.xml",
              Written([&](const auto& write) { return report.Export(rows, write); }));
    // As its reader sees it: every text back as it was, or U+FFFD where XML could not carry it.
    EXPECT_EQ(
        JunitSummary(dir / "r.xml"),
        "2 5 3 5 3\n'/site/a,b:c.htm'\n  ('http://ok/&', '/site/a,b:c.htm')\n"
        "  ('http://h/?a=1&b=\"<x>\"', '/site/a,b:c.htm', ('HTTP Code 404 Not Found', '404', "
        "'/site/a,b:c.htm:3:9\\nA\\tB\\r\\nC|*_`#'))\n"
        "  ('http://h/\\ufffd\\ufffd%\\n2', '/site/a,b:c.htm', ('Moved', '301', "
        "'/site/a,b:c.htm:4\\n\\ufffd-[x](y)\\ufffd'))\n'/site2/b.htm'\n"
        "  ('ftp://f/', '/site2/b.htm', (\"Can't Connect to Host\", '10061', '/site2/b.htm\\n'))\n"
        "  ('http://ok/\\ufffd', '/site2/b.htm')\n");
}

} // namespace
