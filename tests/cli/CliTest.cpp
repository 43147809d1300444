#include "app/CSettingsStore.h"
#include "cli/CCliCommands.h"
#include "engine/CFileEnumerator.h"
#include "support/CLoopbackServer.h"
#include "support/TestUtil.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the commands in this process, catching both streams byte for byte.
CliResult RunCli(const std::vector<std::string>& args) {
    char* outBuf = nullptr;
    char* errBuf = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE* out = ::open_memstream(&outBuf, &outSize);
    std::FILE* err = ::open_memstream(&errBuf, &errSize);
    CliResult r;
    r.exitCode = CCliCommands(out, err).Run(args);
    std::fclose(out);
    std::fclose(err);
    r.out.assign(outBuf, outSize);
    r.err.assign(errBuf, errSize);
    std::free(outBuf);
    std::free(errBuf);
    return r;
}

// The real program as a child, with the test's private settings folder, stdout
// on `outFd` (closed when -1) and stderr in the file `errPath`. It is killed when
// the test leaves, so a failing test never waits on it.
struct SCliChild {
    SCliChild(const std::vector<std::string>& args, int outFd, const std::string& errPath) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (outFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        else
            posix_spawn_file_actions_addclose(&actions, 1);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        // Signals as a shell's foreground job gets them, whatever this run ignores.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t chosen;
        sigemptyset(&chosen);
        posix_spawnattr_setsigmask(&attributes, &chosen);
        for (int signal : {SIGINT, SIGTERM, SIGPIPE})
            sigaddset(&chosen, signal);
        posix_spawnattr_setsigdefault(&attributes, &chosen);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        std::vector<std::string> words{LINKVET_CLI_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid, LINKVET_CLI_PATH, &actions, &attributes, argv.data(), environ) != 0)
            pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SCliChild() { Wait(0); }

    // The exit status, or minus the signal that ended it; after `ms` milliseconds
    // the child is killed.
    int Wait(int ms = 15000) {
        int status = 0;
        for (int waited = 0; pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
            if (waited >= ms)
                ::kill(pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    pid_t pid = -1;
};

// Reads `fd` until `done` holds for what came, its end, or 15 seconds.
std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    std::string text;
    char buffer[65536];
    pollfd readable{fd, POLLIN, 0};
    while (!done(text) && std::chrono::steady_clock::now() < deadline) {
        if (::poll(&readable, 1, 10) <= 0)
            continue;
        ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool ToTheEnd(const std::string&) {
    return false;
}

TEST(CliTest, LinksPrintsUrlTabNameAsBytesOrRefusesWithOneLine) {
    CTempDir dir;
    WriteFile(dir / "p\xe9ge.htm",
              "<A HREF=\"http://h/\xe9\">caf\xe9</A>\r\n<a href=\"ftp://f/\"></a>"
              "<a href=\"https://s/\">no</a><a href=\"http://h/\xe9\">again\t!</a>");
    CliResult r = RunCli({"links", dir / "p\xe9ge.htm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "http://h/\xe9\tcaf\xe9\n"
                     "ftp://f/\tLinkvet supplied this anchor name\n"
                     "http://h/\xe9\tagain !\n");
    EXPECT_EQ(r.err, "");

    MakeDir(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const std::string& path : {dir / "missing.htm", dir / "folder", dir / "pipe"}) {
        r = RunCli({"links", path});
        EXPECT_EQ(r.exitCode, 2) << path;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Cannot open file: " + path + "\n");
    }
}

TEST(CliTest, LinksPrintsEachLinkAsItIsFound) {
    CTempDir dir;
    // Far more lines than a pipe holds: the program is still reading the page when
    // the test reads the first line and adds a link to the page's end.
    std::string page;
    for (int i = 0; page.size() < (3u << 20); ++i)
        page += "<a href=\"http://h/" + std::to_string(i) + "\">" + std::to_string(i) + "</a>\n";
    WriteFile(dir / "page.htm", page);
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    SCliChild child({"links", dir / "page.htm"}, out[1], dir / "err");
    ::close(out[1]);
    std::string text = ReadUntil(out[0], [](const std::string& got) { return !got.empty(); });
    std::ofstream(dir / "page.htm", std::ios::app) << "<a href=\"http://late/\">Late</a>";
    text += ReadUntil(out[0], ToTheEnd);
    ::close(out[0]);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(text.starts_with("http://h/0\t0\n")) << text.substr(0, 80);
    EXPECT_TRUE(text.ends_with("\nhttp://late/\tLate\n"));
}

TEST(CliTest, FilesTakesItsOptionsOrGivesTheSelectCommandsMessage) {
    CTempDir dir;
    std::string root = dir / "site";
    WriteFile(root + "/index.htm", "x");
    WriteFile(root + "/notes.txt", "x");
    WriteFile(root + "/sub/\xff.html", "x");

    CliResult r = RunCli({"files", "--all", "--recurse", "--html-only", root});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, root + "/index.htm\n" + root + "/sub/\xff.html\n");
    // Without --all, --recurse changes nothing: the path must be a file.
    r = RunCli({"files", "--recurse", root});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "The specified file does not exist\n");
    r = RunCli({"files", "--all", root + "/index.htm"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, std::string(CFileEnumerator::kNoSuchFolderMessage) + "\n");
    EXPECT_EQ(r.out, "");
}

TEST(CliTest, BadCommandLinesAreRefusedWithUsage) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"frobnicate"},
                                                 {"files"},
                                                 {"files", "--bogus", "x"},
                                                 {"files", "a", "b"},
                                                 {"links"},
                                                 {"links", "a", "b"}}) {
        CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    // "--" ends the options, so a path may begin with a dash.
    EXPECT_EQ(RunCli({"links", "--", "-missing"}).err, "Cannot open file: -missing\n");
}

TEST(CliTest, CheckListsResultsAndTellsByItsExitStatus) {
    CTempDir dir; // a private, empty settings folder
    CLoopbackServer ok("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n"));
    const std::string port = std::to_string(ok.Port());
    CLoopbackServer gone("127.0.0.2", ok.Port(), CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    CLoopbackServer broken("127.0.0.3", ok.Port(), CLoopbackServer::Reply("HTTP/1.0 500 x\r\n"));
    const std::string page = dir / "page.htm";
    WriteFile(page, "<a href=\"http://127.0.0.1/\">Ok</a><a href=\"http://127.0.0.2/x\">Gone</a>"
                    "<a href=\"http://127.0.0.3/\">Broken\tlink</a>");

    CliResult r = RunCli({"check", "--http-port", port, page});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "http://127.0.0.2/x\tHTTP Code 404 Not Found\tGone\t" + page + "\n" +
                         "http://127.0.0.3/\tHTTP Code 500 Internal Server Error\tBroken link\t" +
                         page + "\n");
    EXPECT_EQ(r.err.rfind("Start of test ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\n\nTesting: " + page + "\nResults for " + page +
                         ": URLs tested: 3. URL errors: 2.\n\nEnd of test: "),
              std::string::npos)
        << r.err;

    // The stored filter counts, and --filter overrides it.
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    ASSERT_TRUE(settings.SetString("Settings", "Filter", "000000000010000000000"));
    r = RunCli({"check", "--http-port", port, page});
    EXPECT_EQ(r.out, "http://127.0.0.2/x\tHTTP Code 404 Not Found\tGone\t" + page + "\n");
    r = RunCli({"check", "--http-port", port, "--filter", "000000000000000000000", page});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");

    // A test that cannot start, and command lines that make no sense.
    MakeDir(dir / "empty");
    r = RunCli({"check", "--all", dir / "empty"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "No files found.\n\nWas your filter option set correctly?\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", "--filter", "01", page},
          {"check", "--timeout", "0", page},
          {"check", "--timeout", "x", page},
          {"check", "--http-port", "65536", page},
          {"check", "--timeout"}}) {
        r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
}

TEST(CliTest, CheckTakesSigintAndSigtermAsStopTest) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.2", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    const std::string page = dir / "page.htm";
    WriteFile(page, "<a href=\"http://127.0.0.2/\">Gone</a><a href=\"http://127.0.0.3/\">Mute</a>");
    for (int signal : {SIGINT, SIGTERM}) {
        CLoopbackServer silent("127.0.0.3", gone.Port(), CLoopbackServer::Silent());
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        SCliChild child(
            {"check", "--http-port", std::to_string(gone.Port()), "--timeout", "1000", page},
            out[1], dir / "err");
        ::close(out[1]);
        ASSERT_GT(child.pid, 0); // kill(-1) would reach every process of ours
        // The first row is out and the second link is in flight.
        std::string rows = ReadUntil(out[0], [&](const std::string& got) {
            return got.find('\n') != std::string::npos && silent.Requests().size() == 1;
        });
        EXPECT_EQ(silent.Requests().size(), 1u);
        ::kill(child.pid, signal);
        rows += ReadUntil(out[0], ToTheEnd);
        ::close(out[0]);
        EXPECT_EQ(child.Wait(), 128 + signal);
        EXPECT_EQ(rows, "http://127.0.0.2/\tHTTP Code 404 Not Found\tGone\t" + page + "\n");
        const std::string log = ReadFile(dir / "err");
        EXPECT_TRUE(log.ends_with("\nTesting Stopped by User\n")) << log;
    }
}

TEST(CliTest, CheckStopsAtOnceWhenItsOutputCannotBeWritten) {
    CTempDir dir;
    CLoopbackServer gone("127.0.0.2", 0, CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    std::string page;
    for (int i = 0; i < 30; ++i)
        page += "<a href=\"http://127.0.0.2/" + std::to_string(i) + "\">Gone</a>";
    WriteFile(dir / "page.htm", page);
    // A pipe whose reader has gone (EPIPE), then no stdout at all (EBADF).
    for (bool bPipe : {true, false}) {
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        ::close(out[0]);
        const std::size_t requestsBefore = gone.Requests().size();
        SCliChild child({"check", "--http-port", std::to_string(gone.Port()), dir / "page.htm"},
                        bPipe ? out[1] : -1, dir / "err");
        ::close(out[1]);
        EXPECT_EQ(child.Wait(), 2) << bPipe;
        const std::string log = ReadFile(dir / "err");
        EXPECT_TRUE(log.ends_with("\nlinkvet-cli: cannot write the output\n")) << log;
        EXPECT_LE(gone.Requests().size() - requestsBefore, 2u) << bPipe;
    }
}

} // namespace
