// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CCliOptions.h"

#include "cli/CCliCommands.h"

#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

namespace {

using ECommand = CCliOptions::ECommand;

// What the words of `line` give: the problem, or every option as the test uses it.
std::string Read(ECommand command, const std::string& line) {
    std::istringstream words(line);
    SCliOptions o;
    const std::string problem =
        CCliOptions::Parse(command, {std::istream_iterator<std::string>(words), {}}, o);
    if (!problem.empty())
        return problem;
    std::ostringstream read;
    read << o.bAll << o.bRecurse << o.bHtmlOnly << o.bCurrentWeb << " " << o.filter << " t"
         << o.timeoutSeconds << " " << o.httpPort << "/" << o.ftpPort << " r" << o.report << " "
         << o.output << " x" << o.repair << " j" << o.jobs << "/" << o.perHost << " " << o.path;
    return read.str();
}

TEST(CliOptionsTest, EachCommandTakesTheOptionsOfItsTableWithUsableValuesOnly) {
    const std::string perHost = "--per-host takes a number from 1 to the --jobs number";
    const std::string timeout = "--timeout takes a number of seconds from 1 to 1000";
    const std::string unknown = "unknown option or missing value: ";
    const std::string reportFormats =
        "--report takes text, html, json, sarif, junit, markdown or github";
    const struct {
        ECommand command;
        const char* line;
        std::string read;
    } cases[] = {
        // Nothing given: the stored settings, the paced test.
        {ECommand::Check, "p", "0000  t0 80/21 r-1  x-1 j1/1 p"},
        // Sub-folders only with their folder.
        {ECommand::Files, "--recurse --html-only p", "0010  t0 80/21 r-1  x-1 j1/1 p"},
        {ECommand::Check, "--all --recurse --report text --jobs 40 p",
         "1100  t0 80/21 r0  x-1 j40/16 p"},
        {ECommand::Check, "--report html --report github p", "0000  t0 80/21 r6  x-1 j1/1 p"},
        {ECommand::Check,
         "--current-web --filter 000000000000000000001 --timeout 0030 --http-port 8080 "
         "--ftp-port 2121 --report html --output r --repair 2 --jobs 8 -",
         "0001 000000000000000000001 t30 8080/2121 r1 r x2 j8/8 -"},
        {ECommand::Check, "--output --all --report text p", "0000  t0 80/21 r0 --all x-1 j1/1 p"},
        {ECommand::Files, "", "exactly one path is needed"},
        {ECommand::Files, "a b", "exactly one path is needed"},
        {ECommand::Files, "--bogus p", unknown + "--bogus"},
        {ECommand::Files, "--current-web p", unknown + "--current-web"},
        {ECommand::Links, "--all p", unknown + "--all"},
        {ECommand::Restore, "--dry-run --keep-backups --force --all --recurse p",
         "1100  t0 80/21 r-1  x-1 j1/1 p"},
        {ECommand::Links, "--timeout 5 p", unknown + "--timeout"},
        {ECommand::Check, "--filter 01 p", "--filter takes 21 characters, one per reason"},
        {ECommand::Check, "--root / p", "--root needs --local-links"},
        {ECommand::Check, "--local-links --root /nonexistent/ p", "--root takes a folder"},
        {ECommand::Links, "--local-links --root / p", unknown + "--root"},
        {ECommand::Check, "--timeout 0 p", timeout},
        {ECommand::Check, "--timeout 1001 p", timeout},
        {ECommand::Check, "--timeout +5 p", timeout},
        {ECommand::Check, "p --timeout", unknown + "--timeout"},
        {ECommand::Check, "--http-port 65536 p", "--http-port takes a port number from 1 to 65535"},
        {ECommand::Check, "--ftp-port x p", "--ftp-port takes a port number from 1 to 65535"},
        {ECommand::Check, "--report pdf p", reportFormats},
        {ECommand::Check, "--report junit --report pdf p", reportFormats},
        {ECommand::Check, "--report json --report sarif p", "0000  t0 80/21 r3  x-1 j1/1 p"},
        {ECommand::Check, "--output r.txt p", "--output needs --report"},
        {ECommand::Check, "--dry-run p", "--dry-run needs --repair"},
        {ECommand::Check, "--repair 0 --dry-run --report text p",
         "--report with --dry-run needs --output for the diff"},
        {ECommand::Check, "--repair 3 p", "--repair takes 0, 1 or 2"},
        {ECommand::Check, "--jobs 1025 p", "--jobs takes a number from 1 to 1024"},
        {ECommand::Check, "--jobs 4 --per-host 5 p", perHost},
        {ECommand::Check, "--per-host 2 p", perHost}, // the paced test: one at a time
        {ECommand::Check, "--per-host 0 --jobs 4 p", perHost},
        // Each value is checked as it is read: the first bad one is told.
        {ECommand::Check, "--jobs 0 --repair 9 p q", "--jobs takes a number from 1 to 1024"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.command, c.line), c.read) << c.line;
    SCliOptions options;
    EXPECT_EQ(
        CCliOptions::Parse(ECommand::Check, {"--report", "html", "--output", "", "p"}, options),
        "--output takes a file name");
}

TEST(CliExitStatusTest, TheFirstThingThatWentWrongNamesTheStatus) {
    const struct {
        CCliCommands::SCheckOutcome outcome;
        int status;
    } cases[] = {
        {{.bRan = false}, 2},
        {{.bRan = true}, 0},
        {{.bRan = true, .rowsListed = 1}, 1},
        {{.bRan = true, .stopSignal = 2, .rowsListed = 1}, 130},
        {{.bRan = true, .stopSignal = 15, .bRepairAsked = true}, 143}, // and no repair was tried
        {{.bRan = true, .stopSignal = 15, .bOutputFailed = true}, 2},
        {{.bRan = true, .stopSignal = 2, .bReportWritten = false}, 2},
        {{.bRan = true, .bRepairAsked = true, .rowsListed = 1}, 3},
        {{.bRan = true, .bRepairAsked = true, .bRepaired = true, .rowsListed = 1}, 1},
        {{.bRan = true, .bRepairAsked = true, .bStoppedOnError = true}, 3},
        {{.bRan = true, .bRepairAsked = true, .bRepaired = true, .bReportWritten = false}, 2},
        {{.bRan = true, .bStoppedOnError = true, .rowsListed = 1}, 2},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(CCliCommands::ExitStatusOf(cases[i].outcome), cases[i].status) << i;
}

} // namespace
