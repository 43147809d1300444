#include "cli/CCliCommands.h"
#include "engine/CFileEnumerator.h"
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

} // namespace
