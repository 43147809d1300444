#include "TestUtil.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs linkvet-cli with exactly these argument bytes (no text conversion on the
// way), its output going to files that are read back whole.
CliResult RunCli(const std::vector<std::string>& args, const std::string& workDir = {}) {
    CTempDir scratch;
    const std::string outPath = scratch / "out";
    const std::string errPath = scratch / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    std::string program = LINKVET_CLI_PATH;
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copies(args);
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    CliResult result;
    pid_t pid = -1;
    int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return result;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(CliTest, LinksPrintsUrlTabNameInPageOrderAsBytes) {
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

    WriteFile(dir / "none.htm", "<p>nothing here</p>");
    r = RunCli({"links", dir / "none.htm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CliTest, LinksRefusesWhatCannotBeRead) {
    CTempDir dir;
    MakeDir(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const std::string& path : {dir / "missing.htm", dir / "folder", dir / "pipe"}) {
        CliResult r = RunCli({"links", path});
        EXPECT_EQ(r.exitCode, 2) << path;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
}

TEST(CliTest, FilesListsWhatATestTakesInTestOrder) {
    CTempDir dir;
    std::string root = dir / "site";
    WriteFile(root + "/index.htm", "x");
    WriteFile(root + "/notes.txt", "x");
    WriteFile(root + "/sub/\xff.html", "x");
    WriteFile(root + "/.git/config.htm", "x");

    CliResult r = RunCli({"files", "--all", "--recurse", "--html-only", root + "/"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, root + "/index.htm\n" + root + "/sub/\xff.html\n");

    r = RunCli({"files", "--all", root});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Lines(r.out), 2u);

    // A single file is taken as named, whatever its extension.
    r = RunCli({"files", "--html-only", "notes.txt"}, root);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "notes.txt\n");

    // "--" lets a path begin with a dash.
    WriteFile(root + "/-odd.htm", "x");
    r = RunCli({"files", "--", "-odd.htm"}, root);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "-odd.htm\n");

    // Nothing matches: nothing printed, and that is no error.
    MakeDir(dir / "empty");
    r = RunCli({"files", "--all", "--html-only", dir / "empty"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CliTest, FilesChecksThePathAsTheSelectCommandDoes) {
    CTempDir dir;
    WriteFile(dir / "page.htm", "x");
    const std::string noFile = "The specified file does not exist\n";
    const std::string noFolder =
        "The chosen directory does not exist\n\n(Your \"Test Other Files\" choice means you "
        "should\nspecify a valid directory path, NOT a file path)\n";

    CliResult r = RunCli({"files", dir.Path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, noFile);
    // Without --all, --recurse changes nothing: the path must still be a file.
    r = RunCli({"files", "--recurse", dir.Path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, noFile);
    r = RunCli({"files", "--all", dir / "page.htm"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, noFolder);
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
    CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("linkvet-cli links FILE"), std::string::npos);
}

TEST(CliTest, TheExamplePageGivesItsLinks) {
    CliResult r = RunCli({"links", LINKVET_EXAMPLES_DIR "/index.html"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("http://127.0.0.3/a-link-split-over-lines\tA link split"),
              std::string::npos);
    EXPECT_EQ(r.out.find("https://"), std::string::npos);
}

} // namespace
