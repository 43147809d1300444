#include "cli/CCliCommands.h"
#include "settings/CSettingsStore.h"
#include "support/CLoopbackServer.h"
#include "support/TestUtil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the commands in this process, catching both streams byte for byte.
CliResult RunCli(const Texts& args) {
    char* buffers[2] = {};
    std::size_t sizes[2] = {};
    std::FILE* out = ::open_memstream(&buffers[0], &sizes[0]);
    std::FILE* err = ::open_memstream(&buffers[1], &sizes[1]);
    const int exitCode = CCliCommands(out, err).Run(args);
    std::fclose(out);
    std::fclose(err);
    CliResult r{exitCode, {buffers[0], sizes[0]}, {buffers[1], sizes[1]}};
    std::free(buffers[0]);
    std::free(buffers[1]);
    return r;
}

// The real program as a child, with the test's private settings folder, stderr
// in the file `errPath` and the signals a shell's foreground job has. It is
// killed when the test leaves, so a failing test never waits on it.
struct SCliChild {
    enum EOut { kPipe, kPipeNobodyReads, kClosed }; // what its stdout is

    SCliChild(const Texts& args, EOut how, const std::string& errPath) {
        QStringList words;
        for (const std::string& arg : args)
            words << QString::fromStdString(arg);
        process.setStandardErrorFile(QString::fromStdString(errPath));
        process.setChildProcessModifier([how] {
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
    std::string page = "<A HREF=\"http://h/\xe9\">caf\xe9</A>\r\n<a href=\"ftp://f/\"></a>";
    for (int i = 0; page.size() < (3u << 20); ++i)
        page += "<a href=\"http://h/" + std::to_string(i) + "\">" + std::to_string(i) + "</a>\n";
    WriteFile(path, page);
    SCliChild child({"links", path}, SCliChild::kPipe, dir / "err");
    std::string text = child.ReadUntil([](const std::string& got) { return !got.empty(); });
    std::ofstream(path, std::ios::app) << "<a href=\"http://late/\">Late</a>";
    text += child.ReadUntil();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(text.starts_with("http://h/\xe9\tcaf\xe9\nftp://f/\tLinkvet supplied this anchor "
                                 "name\nhttp://h/0\t0\n"))
        << text.substr(0, 80);
    EXPECT_TRUE(text.ends_with("\nhttp://late/\tLate\n"));
    EXPECT_EQ(ReadFile(dir / "err"), "");
}

TEST(CliTest, BadCommandLinesAreRefusedWithUsage) {
    // What each command's options refuse is the option tables' suite.
    for (const char* line : {"", "frobnicate", "links", "check --jobs 4 --per-host 5 p"}) {
        std::istringstream words(line);
        CliResult r = RunCli({std::istream_iterator<std::string>(words), {}});
        EXPECT_EQ(r.exitCode, 2) << line;
        EXPECT_TRUE(r.err.starts_with("linkvet-cli: ") &&
                    r.err.find("\nusage:") != std::string::npos)
            << line;
        EXPECT_EQ(r.out, "");
    }
    // "--" ends the options, so a path may begin with a dash.
    CliResult r = RunCli({"links", "--", "-missing"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out + r.err, "Cannot open file: -missing\n");
}

TEST(CliTest, FilesAndCheckListResultsAndCheckTellsByItsExitStatus) {
    CTempDir dir; // a private, empty settings folder
    CLoopbackServer ok("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n"));
    const std::string port = std::to_string(ok.Port());
    CLoopbackServer gone("127.0.0.2", ok.Port(), CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string page = dir / "page.htm";
    WriteFile(page, "<a href=\"http://127.0.0.1/\">Ok</a><a href=\"http://127.0.0.2/x\">Gone</a>"
                    "<a href=\"https://127.0.0.1:1/\">Secure</a>");

    CliResult r = RunCli({"check", "--http-port", port, page});
    EXPECT_EQ(r.exitCode, 1);
    const std::string goneRow = "http://127.0.0.2/x\tHTTP Code 404 Not Found\tGone\t" + page + "\n";
    EXPECT_EQ(r.out, goneRow);
    EXPECT_NE(r.err.find("\n\nTesting: " + page + "\nResults for " + page +
                         ": URLs tested: 2. URL errors: 1.\n\nEnd of test: "),
              std::string::npos)
        << r.err;
    // The secure link counts only when links are checked as today's browsers do.
    r = RunCli({"check", "--http-port", port, "--current-web", "--jobs", "2", page});
    EXPECT_EQ(r.out,
              goneRow + "https://127.0.0.1:1/\tCan't Connect to Host\tSecure\t" + page + "\n");
    r = RunCli({"links", "--current-web", page});
    EXPECT_TRUE(r.out.ends_with("\nhttps://127.0.0.1:1/\tSecure\n")) << r.out;

    // The stored filter counts, and --filter overrides it.
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    ASSERT_TRUE(settings.SetString("Settings", "Filter", "100000000000000000000"));
    r = RunCli({"check", "--http-port", port, page});
    EXPECT_EQ(r.out, "http://127.0.0.1/\tHTTP Code 200 OK\tOk\t" + page + "\n");
    r = RunCli({"check", "--http-port", port, "--filter", "000000000000000000000", page});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");

    // The files a test takes, one a line as bytes; with none, it cannot start.
    const std::string root = dir / "site";
    for (const char* name : {"/index.htm", "/notes.txt", "/sub/\xff.html"})
        WriteFile(root + name, "x");
    r = RunCli({"files", "--all", "--recurse", "--html-only", root});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, root + "/index.htm\n" + root + "/sub/\xff.html\n");
    MakeDir(dir / "empty");
    r = RunCli({"check", "--all", dir / "empty"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "No files found.\n\nWas your filter option set correctly?\n");
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
    CliResult r =
        RunCli({"check", "--http-port", port, "--report", "html", "--output", report, page});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, line + "\t" + page + "\n");
    EXPECT_TRUE(ReadFile(report).starts_with("<HTML>\r\n")); // the writer's suite has the rest

    // A report that cannot be written: a full device, no stdout.
    r = RunCli({"check", "--http-port", port, "--report", "text", "--output", "/dev/full", page});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, line + "\t" + page + "\n");
    EXPECT_TRUE(r.err.ends_with("\nfile write error\n")) << r.err;
    SCliChild child({"check", "--http-port", port, "--report", "text", page}, SCliChild::kClosed,
                    dir / "err");
    EXPECT_EQ(child.Wait(), 2);
    const std::string log = ReadFile(dir / "err");
    EXPECT_TRUE(log.ends_with("\nfile write error\n")) << log; // and nothing after it

    // The listed pages are repaired first, then the report goes to stdout instead of the lines.
    r = RunCli({"check", "--http-port", port, "--repair", "2", "--report", "text", page});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "FILE: " + page + "\r\n" + line + "\r\n");
    EXPECT_TRUE(r.err.ends_with("\nAll URL repairs completed\n")) << r.err;
    EXPECT_EQ(ReadFile(page), "<p>\r\n");
    // The test joins a URL broken over two lines; the repair cannot find it.
    WriteFile(page, "<a href=\"http://127.0.0.1/\nx\">Gone</a>\n");
    r = RunCli({"check", "--http-port", port, "--repair", "0", page});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.ends_with("\nThe URL Repair failed in file:\n" + page +
                                "\nPossibly near URL:\nhttp://127.0.0.1/x\n"))
        << r.err;
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
    CliResult r = RunCli({"check", "--all", "--recurse", "--timeout", "3", dir / "site"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "http://127.0.0.1/gone\tHTTP Code 404 Not Found\tGone\t" + page +
                         "\nftp://127.0.0.4/\tCan't Connect to Host\tNo files\t" + page + "\n");
    EXPECT_EQ(gone.Requests(), Texts{"GET /gone HTTP/1.0\r\n\r\n"});
}

} // namespace
