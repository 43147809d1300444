// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CJsonReport.h"
#include "export/CSarifReport.h"
#include "export/SReportRun.h"
#include "results/CResultsModel.h"
#include "support/TestUtil.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Rows with every kind of byte a page may hold: markup characters, a tab, a
// newline, bytes that are not UTF-8 (a lone continuation, an encoded
// surrogate, a truncated sequence), and a redirected row.
void AddAwkwardRows(CResultsModel& rows) {
    SResultRow row{"http://h/?a=1&b=<i>\"q\"", "HTTP Code 404 Not Found", "tab\there\nnew\\",
                   "/work/site/p&<>\".htm"};
    row.line = 3, row.column = 10, row.code = 404;
    rows.AddRow(row);
    row = {"http://h/\xe9\x80", "Host Took Too Long to Respond",
           "caf\xc3\xa9 \xed\xa0\x80 \xf0\x9f", "sub dir/\xff.htm"};
    row.code = 10005; // no place known
    rows.AddRow(row);
    row = {"http://h/r", "HTTP Code 404 Not Found (redirected)", "R", "/elsewhere/x.htm"};
    row.line = 1, row.column = 1, row.code = 404, row.bRedirected = true;
    rows.AddRow(row);
    row = {"http://h/u", "--------------> UNKNOWN REASON !!!!!", "U", "../up.htm"};
    row.line = 7, row.column = 2, row.code = 999;
    rows.AddRow(row);
}

SReportRun TheRun() {
    SReportRun run;
    run.version = "2.2.0", run.startTime = "2026-01-31T12:00:00.000Z";
    run.endTime = "2026-01-31T12:00:01.500Z", run.path = "site\xff", run.filter = "1";
    run.files = 2, run.linksTested = 9, run.perHost = 1;
    return run;
}

// Writes a report to `path` through `report`; with `failAt` the write that many
// pieces in fails, and so must the report.
template <typename FnReport> void WriteReport(const std::string& path, FnReport report) {
    std::string bytes;
    ASSERT_TRUE(report([&bytes](std::string_view piece) {
        bytes.append(piece);
        return true;
    }));
    EXPECT_FALSE(report([](std::string_view) { return false; }));
    WriteFile(path, bytes);
}

// Runs Python over `file`; its output.
std::string Python(const std::string& code, const std::string& file) {
    WriteFile(file + ".py", code);
    return RunCommand("/usr/bin/python3 '" + file + ".py' '" + file + "' 2>&1"); // Debian's
}

TEST(ReportFormatsTest, JsonIsValidByItsSchemaAndGivesBackEveryByte) {
    CTempDir dir;
    CResultsModel rows;
    AddAwkwardRows(rows);
    WriteReport(dir / "r.json", [&](const CReportWriter::FnWrite& write) {
        return CJsonReport::Write(rows, TheRun(), write);
    });
    const std::string check = R"(import json, sys, jsonschema
d = json.load(open(sys.argv[1]))
jsonschema.validate(d, json.load(open(")" LINKVET_SOURCE_DIR
                              R"(/../res/linkvet-report.schema.json")))
b = lambda s: s.encode("utf-8", "surrogateescape")
out = [b(d["options"]["path"]), str((d["tool"]["version"], d["totals"], d["options"]["repair"])).encode()]
for r in d["rows"]:
    out += [b(r["url"]), b(r["reason"]), b(r["name"]), b(r["file"]),
            str((r["code"], r["redirected"], r["line"], r["column"])).encode()]
sys.stdout.buffer.write(b"|".join(out))
)";
    // The bytes back from the parser, as they stand in the list.
    std::string expected =
        "site\xff|('2.2.0', {'files': 2, 'linksTested': 9, 'linksListed': 4}, None)";
    for (int i = 0; i < rows.RowCount(); ++i) {
        const SResultRow& r = rows.Row(i);
        auto place = [](int n) { return n > 0 ? std::to_string(n) : std::string("None"); };
        expected += "|" + r.url + "|" + r.reason + "|" + r.siteName + "|" + r.fileName + "|(" +
                    std::to_string(r.code) + (r.bRedirected ? ", True, " : ", False, ") +
                    place(r.line) + ", " + place(r.column) + ")";
    }
    EXPECT_EQ(Python(check, dir / "r.json"), expected);
}

TEST(ReportFormatsTest, SarifPassesTheValidatorAndPointsAtEachLink) {
    CTempDir dir;
    CResultsModel rows;
    AddAwkwardRows(rows);
    WriteReport(dir / "r.sarif", [&](const CReportWriter::FnWrite& write) {
        return CSarifReport::Write(rows, TheRun(), "/work/site/", write);
    });
    const std::string check = R"(import json, sys
d = json.load(open(sys.argv[1]))["runs"][0]
rules = d["tool"]["driver"]["rules"]
for r in d["results"]:
    p = r["locations"][0]["physicalLocation"]
    print(r["ruleId"], rules[r["ruleIndex"]]["id"], r["level"], p["artifactLocation"]["uri"],
          p.get("region"), r["message"]["text"].replace("\ufffd", "?"))
)";
    EXPECT_EQ(Python(check, dir / "r.sarif"),
              "LV404 LV404 error p%26%3C%3E%22.htm {'startLine': 3, 'startColumn': 10} "
              "HTTP Code 404 Not Found: http://h/?a=1&b=<i>\"q\"\n"
              "LV10005 LV10005 error sub%20dir/%FF.htm None "
              "Host Took Too Long to Respond: http://h/??\n"
              "LV404 LV404 error file:///elsewhere/x.htm {'startLine': 1, 'startColumn': 1} "
              "HTTP Code 404 Not Found (redirected): http://h/r\n"
              "LVUNKNOWN LVUNKNOWN error file:///work/up.htm {'startLine': 7, 'startColumn': 2} "
              "--------------> UNKNOWN REASON !!!!!: http://h/u\n");

    const char* tools = std::getenv("LINKVET_TOOLS");
    const char* home = std::getenv("HOME");
    const std::string tool =
        (tools ? std::string(tools) : std::string(home ? home : "") + "/.cache/linkvet-tools") +
        "/node_modules/.bin/sarif-multitool";
    if (::access(tool.c_str(), X_OK) != 0)
        GTEST_SKIP() << tool << " is missing (scripts/deps installs it with npm)";
    int status = -1;
    const std::string log =
        RunCommand("'" + tool + "' validate '" + dir / "r.sarif" + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << log;
    // The validator's status is 0 even when it finds errors: its log says so.
    EXPECT_NE(log.find("Analysis completed successfully"), std::string::npos) << log;
    EXPECT_EQ(log.find(": error "), std::string::npos) << log;
}

} // namespace
