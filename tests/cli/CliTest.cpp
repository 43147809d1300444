#include "app/CSettingsStore.h"
#include "cli/CCliCommands.h"
#include "engine/CFileEnumerator.h"
#include "support/CLoopbackServer.h"
#include "support/TestUtil.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(CliTest, FilesListsWhatATestTakesOrGivesTheSelectCommandsMessage) {
    CTempDir dir;
    std::string root = dir / "site";
    WriteFile(root + "/index.htm", "x");
    WriteFile(root + "/notes.txt", "x");
    WriteFile(root + "/sub/\xff.html", "x");
    MakeDir(dir / "empty");

    CliResult r = RunCli({"files", "--all", "--recurse", "--html-only", root + "/"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, root + "/index.htm\n" + root + "/sub/\xff.html\n");
    // One file is taken as named, whatever its extension.
    r = RunCli({"files", "--html-only", root + "/notes.txt"});
    EXPECT_EQ(r.out, root + "/notes.txt\n");
    // Nothing matches: nothing printed, and that is no error.
    r = RunCli({"files", "--all", "--html-only", dir / "empty"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");

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

} // namespace
