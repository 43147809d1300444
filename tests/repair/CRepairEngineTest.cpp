#include "repair/CRepairEngine.h"

#include "results/CResultsModel.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using E = CRepairEngine;
using EType = CRepairEngine::ERepairType;
using namespace std::string_literals;

class RepairEngineTest : public ::testing::Test {
protected:
    void Add(const std::string& url, const std::string& file) {
        rows.AddRow({url, "HTTP Code 404 Not Found", "site", file});
    }
    E::SOutcome Run(EType type = EType::Comment) { return engine.RepairLinks(type); }
    // A page with its bytes, and a row for each URL.
    std::string Page(const std::string& name, const std::string& bytes, const Texts& urls) {
        WriteFile(dir / name, bytes);
        for (const std::string& url : urls)
            Add(url, dir / name);
        return dir / name;
    }
    static void Sh(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0); }

    CTempDir dir;
    CResultsModel rows;
    CRecordingHost host;
    CRepairEngine engine{rows, host};
};

const std::string kLine = "<li><a href=\"http://bad.example/x\">X</a>";

TEST_F(RepairEngineTest, EachTypeRewritesTheWholeLineOfEachOccurrenceInFileOrderAndKeepsEveryByte) {
    struct SCase {
        const char* name; // and the page's
        std::string bytes;
        Texts urls;
        std::string expected;
        int stoppingRow; // -2: the run succeeds
        EType type = EType::Comment;
    };
    const std::string list = "<ul>\n" + kLine + "\r\n</ul>", bad = "http://bad.example/x";
    const std::string fileName =
        "<ul>\r\n<li><a href=\"links.html\">X</a><!--" + bad + "-->\r\n</ul>";
    const std::string odd = "\0x\r\r\n\x1a\xff\xfe\rU\nlast\r"s;
    const std::string minified = std::string(300 * 1024, 'a') + "<a href=\"U\">";
    const SCase cases[] = {
        {"comment.html", list, {bad}, "<ul>\r\n<!--" + kLine + "-->\r\n</ul>", -2},
        {"links.html", list, {bad}, fileName, -2, EType::FileName},
        {"remove.html", list, {bad}, "<ul>\r\n</ul>", -2, EType::Remove},
        {"two URLs on one line", "a <A> <B>\nz\n", {"A", "B"}, "<!--a <A> <B>-->\r\nz\r\n", 1},
        {"the same URL twice", "x U\ny U\n", {"U", "U"}, "<!--x U-->\r\n<!--y U-->\r\n", -2},
        {"out of file order", "A\nB\n", {"B", "A"}, "A\r\n<!--B-->\r\n", 1},
        {"odd bytes", odd, {"U"}, "\0x\r\r\n<!--\x1a\xff\xfe\rU-->\r\nlast\r"s, -2},
        {"a rewritten last line", "a\nU", {"U"}, "a\r\n<!--U-->\r\n", -2},
        {"a line longer than any block", minified, {"U"}, "<!--" + minified + "-->\r\n", -2},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        rows.Clear();
        host.m_messages.clear();
        const std::string path = Page(c.name, c.bytes, c.urls);
        const E::SOutcome outcome = Run(c.type);
        EXPECT_EQ(ReadFile(path), c.expected);
        EXPECT_EQ(ReadFile(E::BackupPathOf(path)), c.bytes);
        EXPECT_EQ(TempFilesIn(dir.Path()), Texts());
        EXPECT_EQ(outcome.bOk, c.stoppingRow == -2);
        EXPECT_EQ(rows.IsFileFinished(0), c.stoppingRow == -2);
        if (c.stoppingRow == -2) {
            EXPECT_TRUE(rows.IsRepaired(0) && host.m_messages.empty());
            continue;
        }
        EXPECT_EQ(outcome.stoppingRow, c.stoppingRow);
        EXPECT_EQ(outcome.file, path);
        EXPECT_EQ(outcome.url, c.urls[1]);
        EXPECT_EQ(host.m_messages, Texts{"We looked in file\n" + path +
                                         "\nbut could not file the URL\n" + c.urls[1]});
    }
    // Any other type is refused before the page is touched.
    rows.Clear();
    const std::string path = Page("other.html", list, {bad});
    EXPECT_FALSE(Run(static_cast<EType>(3)).bOk);
    EXPECT_EQ(ReadFile(path), list);
}

TEST_F(RepairEngineTest, AFailedRunIsCorrectedAndRunAgainThenASecondRunTouchesNothing) {
    const std::string path = Page("p.htm", "A\nx\n", {"A", "U"});
    const std::string other = Page("q.htm", "U\n", {"U"});
    E::SOutcome outcome = Run();
    EXPECT_FALSE(outcome.bOk);
    EXPECT_EQ(outcome.stoppingRow, 1);
    EXPECT_EQ(ReadFile(path), "<!--A-->\r\nx\r\n"); // put back with the repair made
    EXPECT_EQ(ReadFile(other), "U\n");              // later groups are left alone
    WriteFile(path, "<!--A-->\r\nx\nU\n");          // the user corrects the page
    EXPECT_TRUE(Run().bOk);
    EXPECT_EQ(ReadFile(path), "<!--A-->\r\nx\r\n<!--U-->\r\n");
    EXPECT_EQ(ReadFile(dir / "p.rep"), "A\nx\n"); // the first backup stays
    EXPECT_EQ(ReadFile(other), "<!--U-->\r\n");
    fs::create_hard_link(path, dir / "p.same");
    EXPECT_TRUE(Run().bOk);
    EXPECT_TRUE(fs::equivalent(path, dir / "p.same")); // not replaced
}

TEST_F(RepairEngineTest, EachPageGetsABackupOfItsOwnBesideIt) {
    const std::pair<std::string, std::string> pages[] = {{"index.html", "index.rep"},
                                                         {"index.htm", "index.htm.rep"},
                                                         {"my.site/index", "my.site/index.rep"}};
    for (const auto& [name, backup] : pages)
        Page(name, name + "\n", {name});
    WriteFile(dir / "my.site/.linkvet-tmp-left", "left by a writer that was killed");
    // A linked page is repaired in its target; the link stays, its backup beside it.
    WriteFile(dir / "target.html", "L\n");
    fs::create_symlink("target.html", dir / "linked.htm");
    Add("L", dir / "linked.htm");
    EXPECT_TRUE(Run().bOk);
    for (const auto& [name, backup] : pages) {
        EXPECT_EQ(ReadFile(dir / backup), name + "\n");
        EXPECT_EQ(ReadFile(dir / name), "<!--" + name + "-->\r\n");
    }
    EXPECT_EQ(TempFilesIn(dir / "my.site"), Texts{".linkvet-tmp-left"});
    EXPECT_EQ(ReadFile(dir / "target.html"), "<!--L-->\r\n");
    EXPECT_EQ(ReadFile(dir / "linked.rep"), "L\n");
    EXPECT_TRUE(fs::is_symlink(dir / "linked.htm"));
}

// Every failure leaves the page (and its backup, when there is one) exactly as
// it was, no temporary file behind, and the rows for a later run.
TEST_F(RepairEngineTest, FailuresLoseNoByte) {
    CONTINUE_IN_NAMESPACE("-rm")
    const std::string page = "<p>" + std::string(40000, 'p') + "</p>\n" + kLine + "\n";
    auto expectFailure = [&](const std::string& path, int stoppingRow, bool bBackup,
                             const std::string& bytes) {
        const E::SOutcome outcome = Run();
        EXPECT_FALSE(outcome.bOk);
        EXPECT_EQ(outcome.stoppingRow, stoppingRow);
        EXPECT_EQ(outcome.file, path);
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(fs::exists(E::BackupPathOf(path)) ? ReadFile(E::BackupPathOf(path)) : "none",
                  bBackup ? page : "none");
        EXPECT_EQ(TempFilesIn(fs::path(path).parent_path()), Texts());
        EXPECT_FALSE(rows.IsRepaired(0));
        EXPECT_TRUE(host.m_messages.empty());
        rows.Clear();
    };
    Add("http://bad.example/x", dir / "gone.html"); // a missing page: nothing is made
    expectFailure(dir / "gone.html", 0, false, "");
    {
        SCOPED_TRACE("a read-only folder, with a backup (the full disk has one without)");
        const std::string ro = dir / "ro";
        const std::string path = Page("ro/a.html", page, {"http://bad.example/x"});
        WriteFile(ro + "/a.rep", page);
        Sh("mount --bind '" + ro + "' '" + ro + "' && mount -o remount,bind,ro '" + ro + "'");
        expectFailure(path, 0, true, page);
        Sh("umount '" + ro + "'");
    }
    const std::string disk = dir / "disk";
    MakeDir(disk);
    for (const char* size : {"64k", "96k"}) {
        // 64k: no room for the backup; 96k: a backup, then none for the new page.
        SCOPED_TRACE(size);
        Sh("mount -t tmpfs -o size=" + std::string(size) + " tmpfs '" + disk + "'");
        const std::string path = Page("disk/a.html", page, {"http://bad.example/x"});
        const bool bBackup = std::string(size) == "96k";
        if (bBackup)
            WriteFile(disk + "/a.rep", page);
        expectFailure(path, bBackup ? -1 : 0, bBackup, page); // -1: the last page fails
        Sh("umount '" + disk + "'");
    }
    {
        SCOPED_TRACE("a rename that fails, then succeeds");
        const std::string path = Page("busy.html", page, {"http://bad.example/x"});
        const std::string next = Page("next.html", kLine, {"http://bad.example/x"});
        Sh("mount --bind '" + path + "' '" + path + "'");
        const std::vector<SResultRow> listed = {rows.Row(0), rows.Row(1)};
        expectFailure(path, 1, true, page);
        EXPECT_EQ(ReadFile(next), kLine);
        EXPECT_FALSE(fs::exists(dir / "next.rep"));
        Sh("umount '" + path + "'");
        for (const SResultRow& row : listed)
            rows.AddRow(row);
        EXPECT_TRUE(Run().bOk);
        EXPECT_EQ(ReadFile(next), "<!--" + kLine + "-->\r\n");
        EXPECT_EQ(ReadFile(path), page.substr(0, page.find('\n')) + "\r\n<!--" + kLine + "-->\r\n");
    }
}

} // namespace
