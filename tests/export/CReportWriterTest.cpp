// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CReportWriter.h"

#include "results/CResultsModel.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

namespace {

using EFormat = CReportWriter::EFormat;

std::string Report(const CResultsModel& rows, EFormat format) {
    std::string out;
    auto write = [&out](std::string_view bytes) {
        out.append(bytes);
        return true;
    };
    EXPECT_TRUE(format == EFormat::Html ? CReportWriter::ExportHtml(rows, "<T>", write)
                                        : CReportWriter::ExportText(rows, write));
    return out;
}

const std::string kHead = "<HTML>\r\n<HEAD>\r\n<TITLE>Linkvet Results</TITLE>\r\n</HEAD>\r\n"
                          "<BODY>\r\n<H3><A HREF=\"http://www.veldmark.example/\">Linkvet</A></H3>"
                          "\r\n<b>Start of report: </b><T>\r\n";
const std::string kTail = "\r\n</ul>\r\n<hr>\r\n\r\n</BODY>\r\n</HTML>\r\n";

TEST(ReportWriterTest, BothFormatsByteForByteGroupedAsTheListRuns) {
    CResultsModel rows;
    EXPECT_EQ(Report(rows, EFormat::Text), "");
    EXPECT_EQ(Report(rows, EFormat::Html), kHead + kTail);

    rows.AddRow({"http://h/1", "HTTP Code 404 Not Found", "One", "/s/a.htm"});
    rows.AddRow({"ftp://f/", "Can't Connect to Host", "Two", "/s/a.htm"});
    rows.AddRow({"http://h/3", "R3", "Three", "/s/b.htm"});
    rows.AddRow({"http://h/4", "R4", "Four", "/s/a.htm"}); // a path that recurs
    rows.SetRepaired(1, true);                             // exported like any other
    EXPECT_EQ(Report(rows, EFormat::Text),
              "FILE: /s/a.htm\r\nhttp://h/1\tHTTP Code 404 Not Found\tOne\r\n"
              "ftp://f/\tCan't Connect to Host\tTwo\r\n"
              "\r\nFILE: /s/b.htm\r\nhttp://h/3\tR3\tThree\r\n"
              "\r\nFILE: /s/a.htm\r\nhttp://h/4\tR4\tFour\r\n");
    EXPECT_EQ(Report(rows, EFormat::Html),
              kHead +
                  "\r\n<hr>\r\n<b>FILE: /s/a.htm</b>\r\n<ul>"
                  "\r\n<li><a href=\"http://h/1\">One</a> HTTP Code 404 Not Found"
                  "\r\n<li><a href=\"ftp://f/\">Two</a> Can't Connect to Host"
                  "\r\n</ul>\r\n\r\n<hr>\r\n<b>FILE: /s/b.htm</b>\r\n<ul>"
                  "\r\n<li><a href=\"http://h/3\">Three</a> R3"
                  "\r\n</ul>\r\n\r\n<hr>\r\n<b>FILE: /s/a.htm</b>\r\n<ul>"
                  "\r\n<li><a href=\"http://h/4\">Four</a> R4" +
                  kTail);
}

TEST(ReportWriterTest, PageTextIsEscapedInHtmlAndVerbatimInText) {
    CResultsModel rows;
    rows.AddRow({"http://h/?a=1&b=\"><script>x</script>", "<R&>", "<script>alert(1)</script>\xe9",
                 "/s/<b>&\".htm"});
    EXPECT_EQ(Report(rows, EFormat::Text),
              "FILE: /s/<b>&\".htm\r\nhttp://h/?a=1&b=\"><script>x</script>\t<R&>\t"
              "<script>alert(1)</script>\xe9\r\n");
    EXPECT_EQ(Report(rows, EFormat::Html),
              kHead +
                  "\r\n<hr>\r\n<b>FILE: /s/&lt;b&gt;&amp;&quot;.htm</b>\r\n<ul>\r\n<li><a "
                  "href=\"http://h/?a=1&amp;b=&quot;&gt;&lt;script&gt;x&lt;/script&gt;\">"
                  "&lt;script&gt;alert(1)&lt;/script&gt;\xe9</a> &lt;R&amp;&gt;" +
                  kTail);
}

TEST(ReportWriterTest, AFailedWriteIsNeverSuccess) {
    CResultsModel rows;
    for (int i = 0; i < 10000; ++i)
        rows.AddRow({"http://h/" + std::to_string(i), "R", "N", "/s/a.htm"});
    int writes = 0;
    EXPECT_FALSE(CReportWriter::ExportText(rows, [&](std::string_view) { return ++writes < 2; }));
    EXPECT_EQ(writes, 2); // nothing more after the first failure

    // A device, and an old report replaced, are the CLI's and the window's cases.
    CTempDir dir;
    EXPECT_FALSE(CReportWriter::WriteFile(dir / "no/such/folder.txt", EFormat::Html, rows));
}

} // namespace
