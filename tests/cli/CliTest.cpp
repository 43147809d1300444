// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AsciiText.h"
#include "cli/CCliCommands.h"
#include "engine/CFileEnumerator.h"
#include "repair/CRestoreEngine.h"
#include "settings/CSettingsStore.h"
#include "support/CLoopbackServer.h"
#include "support/TestUtil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Runs the commands in this process: their exit status, stdout and stderr.
std::tuple<int, std::string, std::string> Capture(const Texts& args) {
    char* buffers[2] = {};
    std::size_t sizes[2] = {};
    std::FILE* streams[2] = {::open_memstream(&buffers[0], &sizes[0]),
                             ::open_memstream(&buffers[1], &sizes[1])};
    const int status = CCliCommands(streams[0], streams[1]).Run(args);
    for (std::FILE* stream : streams)
        std::fclose(stream);
    std::tuple<int, std::string, std::string> got{
        status, {buffers[0], sizes[0]}, {buffers[1], sizes[1]}};
    std::free(buffers[0]);
    std::free(buffers[1]);
    return got;
}

// Runs the commands in this process and expects their exit status, their stdout
// byte for byte and how their stderr ends; gives their stderr.
std::string RunCli(const Texts& args, int exitCode, const std::string& out,
                   const std::string& errEnd = "") {
    const auto [status, gotOut, gotErr] = Capture(args);
    std::string line; // for the messages
    for (const std::string& arg : args)
        line += " " + arg;
    EXPECT_EQ(status, exitCode) << line << "\n" << gotErr;
    EXPECT_EQ(gotOut, out) << line;
    EXPECT_TRUE(gotErr.ends_with(errEnd)) << line << "\n" << gotErr;
    return gotErr;
}

// The real program as a child, with the test's private settings folder, stderr
// in the file `errPath` and the signals a shell's foreground job has; with
// `descriptors`, that many at most (soft and hard limit). It is killed when
// the test leaves, so a failing test never waits on it.
struct SCliChild {
    enum EOut { kPipe, kPipeNobodyReads, kClosed }; // what its stdout is

    SCliChild(const Texts& args, EOut how, const std::string& errPath, rlim_t descriptors = 0) {
        QStringList words;
        for (const std::string& arg : args)
            words << QString::fromStdString(arg);
        process.setStandardErrorFile(QString::fromStdString(errPath));
        process.setChildProcessModifier([how, descriptors] {
            const rlimit limit{descriptors, descriptors};
            if (descriptors > 0)
                ::setrlimit(RLIMIT_NOFILE, &limit);
            for (int number : {SIGINT, SIGTERM, SIGPIPE})
                ::signal(number, SIG_DFL);
            int fds[2];
            if (how == kClosed)
                ::close(1);
            else if (how == kPipeNobodyReads && ::pipe(fds) == 0) { // its reader is gone
                ::close(fds[0]);
                ::dup2(fds[1], 1);
            }
        });
        process.start(QStringLiteral(LINKVET_CLI_PATH), words);
        process.waitForStarted();
    }
    ~SCliChild() {
        process.kill();
        process.waitForFinished();
    }

    // The exit status (-1 after a signal); after `ms` milliseconds it is killed.
    int Wait(int ms = 15000) {
        if (!process.waitForFinished(ms))
            process.kill();
        process.waitForFinished();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Reads its stdout until `done` holds for what came (without `done`, to the
    // end), or for 15 seconds.
    std::string ReadUntil(const std::function<bool(const std::string&)>& done = nullptr) {
        QElapsedTimer clock;
        clock.start();
        std::string text;
        while (!(done && done(text)) && clock.elapsed() < 15000) {
            process.waitForReadyRead(10);
            text += process.readAllStandardOutput().toStdString();
            if (!done && process.state() == QProcess::NotRunning)
                break;
        }
        return text + process.readAllStandardOutput().toStdString();
    }

    QProcess process;
};

TEST(CliTest, LinksPrintsUrlTabNameAsBytesAsEachLinkIsFound) {
    CTempDir dir;
    // Far more lines than a pipe holds: the program is still reading the page when
    // the test reads the first line and adds a link to the page's end.
    const std::string path = dir / "page.htm";
    std::string page = "<A HREF=\"http://h/\xe9\">caf\xe9</A>\r\n";
    for (int i = 0; page.size() < (3u << 20); ++i)
        page += "<a href=\"http://h/" + std::to_string(i) + "\">" + std::to_string(i) + "</a>\n";
    WriteFile(path, page);
    SCliChild child({"links", path}, SCliChild::kPipe, dir / "err");
    std::string text = child.ReadUntil([](const std::string& got) { return !got.empty(); });
    std::ofstream(path, std::ios::app) << "<a href=\"http://late/\">Late</a>";
    text += child.ReadUntil();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(text.starts_with("http://h/\xe9\tcaf\xe9\nhttp://h/0\t0\n")) << text.substr(0, 80);
    EXPECT_TRUE(text.ends_with("\nhttp://late/\tLate\n"));
    EXPECT_EQ(ReadFile(dir / "err"), "");
}

TEST(CliTest, BadCommandLinesAreRefusedWithUsage) {
    // What each command's options refuse is the option tables' suite.
    for (const char* line : {"", "frobnicate", "links", "check --jobs 4 --per-host 5 p"}) {
        std::istringstream words(line);
        const std::string err = RunCli({std::istream_iterator<std::string>(words), {}}, 2, "");
        EXPECT_TRUE(err.starts_with("linkvet-cli: ") && err.find("\nusage:") != err.npos) << line;
    }
    // "--" ends the options, so a path may begin with a dash.
    EXPECT_EQ(RunCli({"links", "--", "-missing"}, 2, ""), "Cannot open file: -missing\n");
}

TEST(CliTest, BothProgramsTellTheirVersionAndUsageWithoutADisplay) {
    // With no display to reach, the window program fails if it makes its
    // QApplication before answering.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
    const struct {
        const char* program;
        Texts args;
        std::string outStart; // the whole output for --version
    } cases[] = {
        {LINKVET_CLI_PATH, {"--version"}, "linkvet-cli " LINKVET_VERSION "\n"},
        {LINKVET_APP_PATH, {"--version"}, "linkvet " LINKVET_VERSION "\n"},
        {LINKVET_APP_PATH, {"-platform", "xcb", "--version"}, "linkvet " LINKVET_VERSION "\n"},
        {LINKVET_CLI_PATH, {"--help"}, "usage: linkvet-cli files "},
        {LINKVET_APP_PATH, {"--help"}, "usage: linkvet "},
    };
    for (const auto& [program, args, outStart] : cases) {
        QProcess process;
        process.setProcessEnvironment(env);
        QStringList words;
        for (const std::string& arg : args)
            words << QString::fromStdString(arg);
        process.start(QString::fromLatin1(program), words);
        ASSERT_TRUE(process.waitForFinished(15000)) << program;
        const std::string out = process.readAllStandardOutput().toStdString();
        const std::string what = program + (" " + args.back());
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(process.exitCode(), 0) << what;
        EXPECT_EQ(process.readAllStandardError().toStdString(), "") << what;
        if (args.back() == "--version")
            EXPECT_EQ(out, outStart) << what;
        else
            EXPECT_TRUE(out.starts_with(outStart) && out.find("--version") != out.npos)
                << what << "\n"
                << out;
    }
}

TEST(CliTest, FilesAndCheckListResultsAndCheckTellsByItsExitStatus) {
    CTempDir dir; // a private, empty settings folder
    CLoopbackServer ok("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n"));
    const std::string port = std::to_string(ok.Port());
    CLoopbackServer gone("127.0.0.2", ok.Port(), CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string page = dir / "page.htm";
    WriteFile(page, "<a href=\"http://127.0.0.1/\">Ok</a><a href=\"http://127.0.0.2/x\">Gone</a>"
                    "<a href=\"https://127.0.0.1:1/\">Secure</a>");

    const std::string goneRow = "http://127.0.0.2/x\tHTTP Code 404 Not Found\tGone\t" + page + "\n";
    const std::string log = RunCli({"check", "--http-port", port, page}, 1, goneRow);
    EXPECT_NE(log.find("\nResults for " + page + ": URLs tested: 2. URL errors: 1.\n"), log.npos)
        << log;
    // The secure link counts only when links are checked as today's browsers do.
    RunCli({"check", "--http-port", port, "--current-web", "--jobs", "2", page}, 1,
           goneRow + "https://127.0.0.1:1/\tCan't Connect to Host\tSecure\t" + page + "\n");
    RunCli({"links", "--current-web", page}, 0,
           "http://127.0.0.1/\tOk\nhttp://127.0.0.2/x\tGone\nhttps://127.0.0.1:1/\tSecure\n");

    // The stored filter counts, and --filter overrides it.
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    ASSERT_TRUE(settings.SetString("Settings", "Filter", "100000000000000000000"));
    RunCli({"check", "--http-port", port, page}, 1,
           "http://127.0.0.1/\tHTTP Code 200 OK\tOk\t" + page + "\n");
    RunCli({"check", "--http-port", port, "--filter", "000000000000000000000", page}, 0, "");

    // The files a test takes, one a line as bytes; with none, it cannot start.
    const std::string root = dir / "site";
    for (const char* name : {"/index.htm", "/notes.txt", "/sub/\xff.html"})
        WriteFile(root + name, "x");
    RunCli({"files", "--all", "--recurse", "--html-only", root}, 0,
           root + "/index.htm\n" + root + "/sub/\xff.html\n");
    MakeDir(dir / "empty");
    EXPECT_EQ(RunCli({"check", "--all", dir / "empty"}, 2, ""),
              "No files found.\n\nWas your filter option set correctly?\n");
}

TEST(CliTest, ExcludedLinksAreNeitherProbedNorListedAndAreCountedApartWithOrWithoutJobs) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 0, {true, {{0, "HTTP/1.0 404 No\r\n"}}, false, false, true});
    const std::string port = std::to_string(gone.Port()), a = dir / "site/a.htm",
                      b = dir / "site/b.htm", patterns = dir / "skip.txt";
    // A page (without `file`) or its rows, one a path.
    auto lines = [](const Texts& paths, const std::string& file = "") {
        std::string text;
        for (const std::string& url : paths)
            text += file.empty() ? "<a href=\"http://127.0.0.1" + url + "\">" + url + "</a>\n"
                                 : "http://127.0.0.1" + url + "\tHTTP Code 404 Not Found\t" + url +
                                       "\t" + file + "\n";
        return text;
    };
    WriteFile(a, lines({"/skip/1", "/keep", "/a/skip/2", "/skipped"}));
    WriteFile(b, lines({"/b"}));
    WriteFile(patterns, "# pages of others\r\n/skip/\r\n\r\n");
    for (const char* jobs : {"1", "4"}) {
        const std::size_t asked = gone.Requests().size();
        const std::string log = RunCli({"check", "--http-port", port, "--jobs", jobs,
                                        "--exclude-file", patterns, "--all", dir / "site"},
                                       1, lines({"/keep", "/skipped"}, a) + lines({"/b"}, b));
        EXPECT_NE(log.find(": URLs tested: 2. URL errors: 2. URLs excluded: 2.\n\nTesting: " + b +
                           "\nResults for " + b + ": URLs tested: 1. URL errors: 1.\n"),
                  log.npos)
            << log;
        Texts probed = gone.Requests();
        probed.erase(probed.begin(), probed.begin() + static_cast<long>(asked));
        std::sort(probed.begin(), probed.end());
        EXPECT_EQ(probed, (Texts{"GET /b HTTP/1.0\r\n\r\n", "GET /keep HTTP/1.0\r\n\r\n",
                                 "GET /skipped HTTP/1.0\r\n\r\n"}));
    }
    // The stored list holds unless the command line gives patterns of its own.
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    ASSERT_TRUE(settings.Set(SettingsKeys::kSettingsSkipUrls, "/keep\n/skip/"));
    RunCli({"check", "--http-port", port, a}, 1, lines({"/skipped"}, a));
    RunCli({"check", "--http-port", port, "--exclude", "/k", "--exclude", "d$", a}, 1,
           lines({"/skip/1", "/a/skip/2"}, a));
    // A pattern that is not one is named, and nothing is tested.
    const std::size_t asked = gone.Requests().size();
    EXPECT_TRUE(RunCli({"check", "--exclude", "/k", "--exclude", "a(b", a}, 2, "")
                    .starts_with("linkvet-cli: invalid pattern: a(b (missing ): a(b)\nusage:"));
    EXPECT_EQ(gone.Requests().size(), asked);
}

TEST(CliTest, CheckWritesItsReportInsteadOfTheLinesOrIntoAFileAfterTheRepair) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string port = std::to_string(gone.Port());
    const std::string page = dir / "page.htm";
    WriteFile(page, "<p>\n<a href=\"http://127.0.0.1/x?a&b\">Gone</a>\n");
    const std::string line = "http://127.0.0.1/x?a&b\tHTTP Code 404 Not Found\tGone";

    // Into a file, which is replaced without a question; the lines still come.
    const std::string report = dir / "r.html";
    WriteFile(report, "an older report");
    RunCli({"check", "--http-port", port, "--report", "html", "--output", report, page}, 1,
           line + "\t" + page + "\n");
    EXPECT_TRUE(ReadFile(report).starts_with("<HTML>\r\n")); // the writer's suite has the rest
    // A name that is no UTF-8 is the file written, bytes for bytes; its look-alike stays.
    WriteFile(dir / "r\xef\xbf\xbd.txt", "decoy");
    RunCli({"check", "--http-port", port, "--report", "text", "--output", dir / "r\xff.txt", page},
           1, line + "\t" + page + "\n");
    EXPECT_TRUE(ReadFile(dir / "r\xff.txt").starts_with("FILE: "));
    EXPECT_EQ(ReadFile(dir / "r\xef\xbf\xbd.txt"), "decoy");

    // A report that cannot be written: a full device, no stdout.
    RunCli({"check", "--http-port", port, "--report", "text", "--output", "/dev/full", page}, 2,
           line + "\t" + page + "\n", "\nfile write error\n");
    RunCli({"check", "--http-port", port, "--report", "sarif", "--output", "/dev/full", page}, 2,
           line + "\t" + page + "\n", "\nfile write error\n");
    // Both sessions place each row, and the JSON report says where and what ran.
    for (const char* jobs : {"1", "3"}) {
        const auto [status, json, err] =
            Capture({"check", "--http-port", port, "--jobs", jobs, "--report", "json", page});
        EXPECT_EQ(status, 1) << err;
        WriteFile(dir / "r.json", json);
        WriteFile(dir / "r.py", "import json, sys; d = json.load(open(sys.argv[1])); "
                                "r = d['rows'][0]; print(r['line'], r['column'], r['code'], "
                                "d['totals'], d['options']['jobs'])");
        EXPECT_EQ(RunCommand("python3 '" + dir / "r.py' '" + dir / "r.json'"),
                  "2 10 404 {'files': 1, 'linksTested': 1, 'linksListed': 1} " + std::string(jobs) +
                      "\n");
    }
    SCliChild child({"check", "--http-port", port, "--report", "text", page}, SCliChild::kClosed,
                    dir / "err");
    EXPECT_EQ(child.Wait(), 2);
    const std::string log = ReadFile(dir / "err");
    EXPECT_TRUE(log.ends_with("\nfile write error\n")) << log; // and nothing after it

    // The listed pages are repaired first, then the report goes to stdout instead of the lines.
    RunCli({"check", "--http-port", port, "--repair", "2", "--report", "text", page}, 1,
           "FILE: " + page + "\r\n" + line + "\r\n", "\nAll URL repairs completed\n");
    EXPECT_EQ(ReadFile(page), "<p>\r\n");
    // (A repair that cannot find a URL is the dry run's case.)
}

TEST(CliTest, JunitHasEveryTestedLinkOfEveryPageAndTheOtherReportsFailAsReportsDo) {
    CTempDir dir;
    CLoopbackServer ok("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n"));
    const std::string port = std::to_string(ok.Port());
    CLoopbackServer gone("127.0.0.2", ok.Port(), CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    WriteFile(dir / "site/a.htm",
              "<a href=\"http://127.0.0.1/\">Ok</a>\n<a href=\"http://127.0.0.2/x\">X</a>");
    WriteFile(dir / "site/b.htm", "<a href=\"http://127.0.0.2/y\">Y</a>");
    const Texts check = {"check", "--all", "--http-port", port, "--report"};
    for (const char* jobs : {"1", "2"}) { // suites, cases, failures, then as the root counts them
        Texts args = check;
        args.insert(args.end(), {"junit", "--output", dir / "r.xml", "--jobs", jobs, dir / "site"});
        EXPECT_EQ(std::get<0>(Capture(args)), 1);
        const std::string summary = JunitSummary(dir / "r.xml");
        EXPECT_TRUE(summary.starts_with("2 3 2 3 2\n")) << summary;
    }
    for (const char* format : {"junit", "markdown", "github"}) {
        Texts args = check;
        args.insert(args.end(), {format, "--output", "/dev/full", dir / "site"});
        const auto [status, out, err] = Capture(args);
        EXPECT_EQ(status, 2) << format;
        EXPECT_TRUE(err.ends_with("\nfile write error\n")) << err;
    }
}

TEST(CliTest, LinksBetweenThePagesAreCheckedOnDiskListedWhateverTheFilterAndRepaired) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string port = std::to_string(gone.Port()), site = dir / "site",
                      index = site + "/index.html", docs = site + "/docs/index.htm";
    WriteFile(index, "<a href=\"about.html\">About us</a>\n"
                     "<a href='docs/team.html#lead'>Team</a> <a href=docs/team.html#Lead>Lead</a>\n"
                     "<a HREF=\"#pricing\">Prices</a> <a href=\"http://127.0.0.1/gone\">Gone</a>\n"
                     "<h2 id=\"plans\">Plans</h2><a href=\"/docs/\">Docs</a>"
                     "<a href=\"a%20b.html?x=1&amp;y=2#plans\">Sp</a>\n");
    WriteFile(site + "/a b.html", "<p id=\"plans\">");
    WriteFile(docs, "<a href=\"../index.html#plans\">Back</a> <a href=\"/nothing/\">None</a>\n");
    WriteFile(site + "/docs/team.html", "<p id=\"lead\">Lead</p>");
    const std::string hideAll(21, '0');
    const Texts check = {"check",       "--all", "--recurse",    "--html-only",
                         "--http-port", port,    "--local-links"};
    auto with = [&check](const Texts& more) {
        Texts args = check;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const std::string rows = "about.html\tFile Not Found\tAbout us\t" + index + "\n" +
                             "docs/team.html#Lead\tAnchor Not Found\tLead\t" + index + "\n" +
                             "#pricing\tAnchor Not Found\tPrices\t" + index + "\n" +
                             "/nothing/\tFile Not Found\tNone\t" + docs + "\n";
    for (const char* jobs : {"1", "4"})
        RunCli(with({"--filter", hideAll, "--jobs", jobs, site}), 1, rows);
    // Off, nothing of them is read; --root moves what "/" means; exclusions apply.
    RunCli({"check", "--all", "--recurse", "--http-port", port, site}, 1,
           "http://127.0.0.1/gone\tHTTP Code 404 Not Found\tGone\t" + index + "\n");
    EXPECT_NE(std::get<1>(Capture(with({"--filter", hideAll, "--root", site + "/docs", site})))
                  .find("/docs/\tFile Not Found\tDocs\t"),
              std::string::npos);
    RunCli(with({"--filter", hideAll, "--exclude", "^#", "--exclude", "/n", site}), 1,
           rows.substr(0, rows.find("#pricing")));
    RunCli({"links", "--local-links", index}, 0,
           "about.html\tAbout us\ndocs/team.html#lead\tTeam\ndocs/team.html#Lead\tLead\n"
           "#pricing\tPrices\nhttp://127.0.0.1/gone\tGone\n/docs/\tDocs\n"
           "a%20b.html?x=1&amp;y=2#plans\tSp\n");
    // The reports name their reasons.
    const std::string sarif =
        std::get<1>(Capture(with({"--filter", hideAll, "--report", "sarif", site})));
    EXPECT_NE(sarif.find("{\"ruleId\": \"LV10009\", \"ruleIndex\": 24,"), std::string::npos);
    EXPECT_NE(std::get<1>(Capture(with({"--report", "json", site})))
                  .find("\"localLinks\": {\"root\": \"" + site + "\"}"),
              std::string::npos);
    // Repaired where they stand, the rest of each line kept; then nothing is left to list.
    RunCli(with({"--filter", hideAll, "--repair", "2", site}), 1, rows,
           "\nAll URL repairs completed\n");
    const std::string repaired = ReadFile(index);
    for (const char* kept : {"Team</a>", "Gone</a>", "id=\"plans\"", "#plans\">Sp</a>"})
        EXPECT_NE(repaired.find(kept), std::string::npos) << kept << "\n" << repaired;
    RunCli(with({"--filter", hideAll, site}), 0, "");
}

// (That a repair acts on the line its link was found on is the dry run's case.)
TEST(CliTest, TypeOneKeepsTheUrlInQuotesSoTheNextTestReadsItAndTheNextRepairWorks) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string port = std::to_string(gone.Port()), page = dir / "p1.html";
    const std::string row = "http://127.0.0.1/o\tHTTP Code 404 Not Found\t";
    WriteFile(page, "<li><a href=\"http://127.0.0.1/o\">bad</a>\n<li class=\"item\">x\n");
    RunCli({"check", "--http-port", port, "--repair", "1", page}, 1, row + "bad\t" + page + "\n");
    EXPECT_EQ(
        ReadFile(page),
        "<li><a href=\"p1.html\">bad</a><!--\"http://127.0.0.1/o\"-->\r\n<li class=\"item\">x\r\n");
    RunCli({"check", "--http-port", port, "--repair", "1", page}, 1,
           row + "Linkvet supplied this anchor name\t" + page + "\n",
           "\nAll URL repairs completed\n");
}

TEST(CliTest, RestorePutsBackEachPageFromItsOwnBackupUnlessItChangedSinceItsRepair) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string site = dir / "site", bad = "<a href=\"http://127.0.0.1/x\">x</a>\n";
    // index.rep is index.html's backup, never index.htm's, which says nothing of it;
    // own.rep is the user's own file, which is never used, with a word.
    const std::map<std::string, std::string> files = {
        {"/a.html", "<p>\n" + bad}, {"/index.html", bad},    {"/sub/b.htm", bad},
        {"/edited.html", bad},      {"/index.htm", "<p>\n"}, {"/own.html", "<p>\n"},
        {"/own.rep", "mine"}};
    for (const auto& [name, bytes] : files)
        WriteFile(site + name, bytes);
    // A line for each of `names`, in the order `files` lists the pages.
    auto inOrder = [&](const std::set<std::string>& names, const std::string& before = "") {
        std::string lines;
        for (const std::string& page : CFileEnumerator::CollectFiles(site, true, true, false))
            if (names.contains(page.substr(site.size())))
                lines += before + page + "\n";
        return lines;
    };
    const std::set<std::string> back = {"/a.html", "/index.html", "/sub/b.htm"};
    RunCli({"check", "--all", "--recurse", "--http-port", std::to_string(gone.Port()), "--repair",
            "0", site},
           1,
           inOrder({"/a.html", "/index.html", "/sub/b.htm", "/edited.html"},
                   "http://127.0.0.1/x\tHTTP Code 404 Not Found\tx\t"),
           "\nAll URL repairs completed\n");
    WriteFile(site + "/edited.html", "edited since\n");
    auto tree = [&] { // every file and its bytes
        std::map<std::string, std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(site))
            if (entry.is_regular_file())
                all[entry.path().string().substr(site.size())] = ReadFile(entry.path());
        return all;
    };
    const auto before = tree();
    const std::string err =
        RunCli({"restore", "--dry-run", "--all", "--recurse", site}, 3, inOrder(back));
    EXPECT_EQ(tree(), before);
    using E = CRestoreEngine;
    for (const std::string& refusal :
         {AsciiText::Fill(E::kChangedFormat, site + "/edited.html"),
          AsciiText::Fill(E::kForeignBackupFormat, site + "/own.html", site + "/own.rep")})
        EXPECT_NE(err.find(refusal + "\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("index.htm\n"), std::string::npos) << err; // index.html's backup is not its
    // Put back with the backups kept; once more, the pages as their backups lose nothing.
    RunCli({"restore", "--keep-backups", "--all", "--recurse", site}, 3, inOrder(back));
    RunCli({"restore", "--all", "--recurse", site}, 3, inOrder(back));
    RunCli({"restore", "--force", "--all", "--recurse", site}, 3, inOrder({"/edited.html"}));
    // Every page as it was, and no backup, note or temporary file left beside them.
    EXPECT_EQ(tree(), files);
    RunCli({"restore", site + "/a.html"}, 0, "");
}

// A dry run leaves every page and its folder as they were, and what it prints,
// applied to a copy of the pages by patch -p1 and by git apply from the current
// folder, gives the pages a real run writes, also one that stops at a URL it
// cannot find; its messages and exit status are the real run's.
TEST(CliTest, DryRunPrintsTheDiffOfWhatTheRepairWritesAndWritesNothing) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string port = std::to_string(gone.Port()), a = "<a href=\"http://127.0.0.1/";
    WriteFile(dir / "was/site/p.html",
              "<p>\n" + a + "a\">A</a> " + a + "b\">B</a>\r\ncaf\xe9\n" + a + "c\">C</a>");
    // A name git quotes; its link's URL stands on line 1 too, outside a link.
    const std::string q = "was/site/q \"r\"\x01.htm";
    WriteFile(dir / q, "http://127.0.0.1/d\r\n" + a + "d\">D</a>\r\ny\r\n");
    // The test joins a URL broken over two lines; the repair cannot find it.
    WriteFile(dir / "was/fail/f.html", a + "e\">E</a>\n" + a + "\nx\">X</a>\n");
    const struct SBack { // the diff names the pages from here
        fs::path cwd = fs::current_path();
        ~SBack() { fs::current_path(cwd); }
    } back;
    fs::current_path(dir.Path());
    auto state = [](const std::string& folder) {
        std::set<std::string> files;
        for (const fs::directory_entry& file : fs::directory_iterator(folder))
            files.insert(file.path().string() + ReadFile(file.path()) +
                         std::to_string(file.last_write_time().time_since_epoch().count()));
        return files;
    };
    for (const char* type : {"0", "1", "2"}) {
        for (const std::string folder : {"site", "fail"}) {
            SCOPED_TRACE(folder + type);
            fs::remove_all(folder);
            fs::copy("was/" + folder, folder);
            Texts args = {"check",    "--all", "--jobs", "4",         "--http-port", port,
                          "--repair", type,    folder,   "--dry-run", "--output",    "d.diff"};
            const auto before = state(folder);
            const auto [status, rows, err] = Capture(args);
            EXPECT_EQ(state(folder), before);
            args.resize(args.size() - 3);
            RunCli(args, folder == "fail" ? 3 : 1, rows,
                   err.substr(err.find('\n', err.rfind("End of test: "))));
            EXPECT_EQ(status, folder == "fail" ? 3 : 1);
            for (const char* tool : {"patch -p1", "git apply"}) {
                fs::copy("was", "copy",
                         fs::copy_options::recursive | fs::copy_options::overwrite_existing);
                EXPECT_TRUE(ApplyDiff(tool, ReadFile("d.diff"), dir / "copy")) << tool;
                for (const fs::directory_entry& page : fs::directory_iterator("copy/" + folder))
                    EXPECT_EQ(ReadFile(page.path()),
                              ReadFile(folder + "/" + page.path().filename().string()));
            }
        }
    }
    // Without --output the diff comes instead of the lines; a name is quoted as
    // git quotes it, and ends in a TAB when it holds a blank, so that patch
    // takes it whole. A diff that cannot be written whole fails as a report does.
    RunCli({"check", "--http-port", port, "--repair", "0", "--dry-run", q}, 1,
           "--- \"a/was/site/q \\\"r\\\"\\001.htm\"\t\n+++ \"b/was/site/q \\\"r\\\"\\001.htm\"\t\n"
           "@@ -1,3 +1,3 @@\n http://127.0.0.1/d\r\n-" +
               a + "d\">D</a>\r\n+<!--" + a + "d\">D</a>-->\r\n y\r\n");
    const std::string f = "was/fail/f.html", x = "http://127.0.0.1/x";
    RunCli({"check", "--http-port", port, "--repair", "0", "--dry-run", "--output", "/dev/full", f},
           2,
           "http://127.0.0.1/e\tHTTP Code 404 Not Found\tE\t" + f + "\n" + x +
               "\tHTTP Code 404 Not Found\tX\t" + f + "\n",
           "\nWe looked in file\n" + f + "\nbut could not file the URL\n" + x +
               "\nThe URL Repair failed in file:\n" + f + "\nPossibly near URL:\n" + x +
               "\nfile write error\n");
}

TEST(CliTest, CheckStopsOnSigintOrSigtermOrWhenItsOutputCannotBeWritten) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.2", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    CLoopbackServer silent("127.0.0.3", gone.Port(), CLoopbackServer::Silent());
    const std::string page = dir / "page.htm";
    std::string links =
        "<a href=\"http://127.0.0.2/\">Gone</a><a href=\"http://127.0.0.3/\">Mute</a>";
    for (int i = 0; i < 30; ++i)
        links += "<a href=\"http://127.0.0.2/" + std::to_string(i) + "\">Gone</a>";
    WriteFile(page, links);
    // A stopped test still writes the report of the rows it listed.
    const std::string report = dir / "r.txt";
    const Texts args = {"check",     "--http-port", std::to_string(gone.Port()),
                        "--timeout", "1000",        "--report",
                        "text",      "--output",    report,
                        page};

    // Stop Test: the first row is out and the second link is in flight; with
    // --jobs the later rows are settled but wait behind it, and stay unlisted.
    for (int signal : {SIGINT, SIGTERM}) {
        const std::size_t heard = silent.Requests().size();
        Texts words = args;
        if (signal == SIGTERM)
            words.insert(words.begin() + 1, {"--jobs", "8"});
        SCliChild child(words, SCliChild::kPipe, dir / "err");
        ASSERT_GT(child.process.processId(), 0); // kill(0) would reach every process of ours
        std::string rows = child.ReadUntil([&](const std::string& got) {
            return got.find('\n') != std::string::npos && silent.Requests().size() > heard;
        });
        EXPECT_EQ(silent.Requests().size(), heard + 1);
        ::kill(static_cast<pid_t>(child.process.processId()), signal);
        rows += child.ReadUntil();
        EXPECT_EQ(child.Wait(), 128 + signal);
        EXPECT_EQ(rows, "http://127.0.0.2/\tHTTP Code 404 Not Found\tGone\t" + page + "\n");
        EXPECT_EQ(ReadFile(report),
                  "FILE: " + page + "\r\nhttp://127.0.0.2/\tHTTP Code 404 Not Found\tGone\r\n");
        const std::string log = ReadFile(dir / "err");
        EXPECT_TRUE(log.ends_with("\nTesting Stopped by User\n")) << log;
    }

    // Nobody reads: a pipe whose reader has gone (EPIPE), then no stdout (EBADF).
    for (SCliChild::EOut how : {SCliChild::kPipeNobodyReads, SCliChild::kClosed}) {
        const std::size_t asked = gone.Requests().size() + silent.Requests().size();
        SCliChild child(args, how, dir / "err");
        EXPECT_EQ(child.Wait(), 2) << how;
        const std::string log = ReadFile(dir / "err");
        EXPECT_TRUE(log.ends_with("\nlinkvet-cli: cannot write the output\n")) << log;
        EXPECT_LE(gone.Requests().size() + silent.Requests().size() - asked, 2u) << how;
    }
}

TEST(CliTest, JobsBeyondTheDescriptorLimitWaitForDescriptorsInsteadOfListingGoodLinks) {
    // 64 descriptors, and no way to raise the limit: 1024 jobs cannot all have
    // a socket. A link that finds none waits for one; no good link is listed.
    CTempDir dir;
    std::vector<std::unique_ptr<CLoopbackServer>> hosts;
    for (int h = 1; h <= 8; ++h)
        hosts.push_back(std::make_unique<CLoopbackServer>(
            "127.0.0." + std::to_string(h), h == 1 ? 0 : hosts[0]->Port(),
            CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n")));
    std::string page;
    for (int k = 0; k < 400; ++k)
        page += "<a href=\"http://127.0.0." + std::to_string(1 + k % 8) + "/" + std::to_string(k) +
                "\">L</a>\n";
    WriteFile(dir / "page.htm", page);
    SCliChild child({"check", "--jobs", "1024", "--per-host", "64", "--http-port",
                     std::to_string(hosts[0]->Port()), dir / "page.htm"},
                    SCliChild::kPipe, dir / "err", 64);
    EXPECT_EQ(child.ReadUntil(), "");
    EXPECT_EQ(child.Wait(), 0) << ReadFile(dir / "err");
}

// A name server on 127.0.0.53: "fast…" names are 127.0.0.2 at once, "slow…"
// names the same after 3 seconds, "silent…" names never get an answer.
class CTestNameServer {
public:
    CTestNameServer() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        ::inet_aton("127.0.0.53", &at.sin_addr);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CTestNameServer() {
        m_bStop = true;
        m_thread.join();
        ::close(m_fd);
    }

private:
    struct SLater {
        std::chrono::steady_clock::time_point when;
        std::string reply;
        sockaddr_in to;
    };
    void Serve() {
        std::vector<SLater> later;
        while (!m_bStop) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) == 1) {
                char query[512];
                sockaddr_in from{};
                socklen_t size = sizeof from;
                const ssize_t got = ::recvfrom(m_fd, query, sizeof query, 0,
                                               reinterpret_cast<sockaddr*>(&from), &size);
                if (got > 12 && query[12] > 0 && 13 + query[12] <= got) {
                    const std::string first(query + 13, static_cast<std::size_t>(query[12]));
                    const auto delay = std::chrono::seconds(first.starts_with("slow") ? 3 : 0);
                    if (!first.starts_with("silent"))
                        later.push_back({std::chrono::steady_clock::now() + delay,
                                         Answer(std::string(query, static_cast<std::size_t>(got))),
                                         from});
                }
            }
            std::erase_if(later, [this](const SLater& reply) {
                if (std::chrono::steady_clock::now() < reply.when)
                    return false;
                ::sendto(m_fd, reply.reply.data(), reply.reply.size(), 0,
                         reinterpret_cast<const sockaddr*>(&reply.to), sizeof reply.to);
                return true;
            });
        }
    }
    // The query with its one question answered: an A record for 127.0.0.2, or
    // no record for any other type.
    static std::string Answer(std::string query) {
        query[2] = '\x81';
        query[3] = '\x80';
        const bool bAddress =
            query.size() >= 4 && query.compare(query.size() - 4, 4, "\0\1\0\1", 4) == 0;
        if (!bAddress)
            return query;
        query[7] = 1;
        return query + std::string("\xc0\x0c\0\1\0\1\0\0\0\x3c\0\4\x7f\0\0\2", 16);
    }

    int m_fd = -1;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

TEST(CliTest, JobsLookUpEachNameWithinTheTimeOutHoweverSlowOrSilentTheNameServer) {
    // A name server of our own, named by a resolv.conf mounted over the
    // system's, in namespaces where nothing leaves the machine. The resolver
    // waits 30 seconds for an answer, twice: eighteen slow or silent names took
    // minutes, eight looked up at a time and each for as long as the resolver
    // waited. Each is now given up at the time-out, as in the paced test.
    CONTINUE_IN_NAMESPACE("-rnm")
    ASSERT_EQ(std::system("ip link set lo up"), 0);
    CTempDir dir;
    WriteFile(dir / "resolv.conf", "nameserver 127.0.0.53\noptions timeout:30 attempts:2\n");
    ASSERT_EQ(std::system(("mount --bind '" + dir / "resolv.conf" + "' /etc/resolv.conf").c_str()),
              0);
    CTestNameServer names;
    CLoopbackServer gone("127.0.0.2", 0, CLoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n"));
    std::string page, rows;
    for (const char* kind : {"fast", "slow", "silent"})
        for (int i = 0; i < 9; ++i) {
            const std::string url = "http://" + (kind + std::to_string(i)) + ".test/";
            page += "<a href=\"" + url + "\">L</a>\n";
            rows +=
                url +
                (kind[1] == 'a' ? "\tHTTP Code 404 Not Found" : "\tHost Took Too Long to Respond") +
                "\tL\t" + dir / "page.htm" + "\n";
        }
    WriteFile(dir / "page.htm", page);
    // Given up on after 15 seconds, a tenth of what the name server's answers take.
    SCliChild child({"check", "--jobs", "16", "--timeout", "1", "--http-port",
                     std::to_string(gone.Port()), dir / "page.htm"},
                    SCliChild::kPipe, dir / "err");
    EXPECT_EQ(child.ReadUntil(), rows);
    EXPECT_EQ(child.Wait(), 1) << ReadFile(dir / "err");
}

TEST(CliTest, RealPorts80And21InAPrivateNetwork) {
    // Ports 80 and 21 on any 127.x.y.z address: only in a network namespace of
    // our own, where nothing leaves the machine. The test runs itself again there.
    CONTINUE_IN_NAMESPACE("-rn")
    ASSERT_EQ(std::system("ip link set lo up"), 0);
    CTempDir dir;
    CLoopbackServer gone("127.0.0.1", 80, CLoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n"));
    CLoopbackServer fine("127.0.0.2", 80, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n"));
    CLoopbackServer files("127.0.0.3", 21, CLoopbackServer::Greeting("220 ready\r\n"));
    const std::string page = dir / "site/sub/index.html";
    WriteFile(page, "<a href=\"http://127.0.0.1/gone\">Gone</a><a href=\"http://127.0.0.2:8080/\">"
                    "Fine</a><a href=\"ftp://127.0.0.3/pub\">Files</a><a href=\"ftp://127.0.0.4/\">"
                    "No files</a>");
    RunCli({"check", "--all", "--recurse", "--timeout", "3", dir / "site"}, 1,
           "http://127.0.0.1/gone\tHTTP Code 404 Not Found\tGone\t" + page +
               "\nftp://127.0.0.4/\tCan't Connect to Host\tNo files\t" + page + "\n");
    EXPECT_EQ(gone.Requests(), Texts{"GET /gone HTTP/1.0\r\n\r\n"});
}

} // namespace
