// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/CRepairEngine.h"

#include "base/AsciiText.h"
#include "engine/CUrlExtractor.h"
#include "engine/OutcomeCodes.h"
#include "repair/CRestoreEngine.h"
#include "results/CResultsModel.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace {

namespace fs = std::filesystem;
using E = CRepairEngine;
using EType = CRepairEngine::ERepairType;
using namespace std::string_literals;

class RepairEngineTest : public ::testing::Test {
protected:
    // A row for `url` on line `line` of `file`, as a test lists it.
    void Add(const std::string& url, const std::string& file, int line = 0, unsigned code = 0) {
        SResultRow row{url, "HTTP Code 404 Not Found", "site", file};
        row.line = line;
        row.code = code;
        rows.AddRow(row);
    }
    E::SOutcome Run(EType type = EType::Comment, const std::set<std::string>& skipped = {}) {
        return engine.RepairLinks(type, skipped);
    }
    // A page with its bytes, and a row for each of its links that `urls` names,
    // on the line extraction finds it on (a link between the pages as one).
    std::string Page(const std::string& name, const std::string& bytes, const Texts& urls) {
        WriteFile(dir / name, bytes);
        LinkList links;
        CUrlExtractor::ExtractFromBytes(bytes, links, CUrlExtractor::ELinks::Classic,
                                        CUrlExtractor::ELocal::Include);
        for (const std::string& url : urls) {
            const auto it = std::find_if(links.begin(), links.end(),
                                         [&](const SFoundLink& link) { return link.url == url; });
            const bool bFound = it != links.end();
            Add(url, dir / name, bFound ? it->line : 0,
                bFound && it->bLocal ? Outcome::kFileNotFound : 0);
            if (it != links.end())
                links.erase(it);
        }
        return dir / name;
    }
    static void Sh(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0); }

    CTempDir dir;
    CResultsModel rows;
    CRecordingHost host;
    CRepairEngine engine{rows, host};
};

std::string A(const std::string& url, const std::string& name = "x") {
    return "<a href=\"" + url + "\">" + name + "</a>";
}

const std::string kBad = "http://127.0.0.1/o";
const std::string kLine = "<li>" + A(kBad, "bad");

// Each case is previewed first: the preview writes and marks nothing, tells
// what the run tells, and its diff, applied by patch and by git, gives the
// bytes the run writes, also up to a URL it does not find. (That a test reads
// type 1's kept URL exactly again is the CLI suite's.)
TEST_F(RepairEngineTest, EachTypeActsOnTheLinkItsRowNamesAndKeepsEveryOtherByte) {
    struct SCase {
        const char* name; // and the page's
        std::string bytes;
        Texts urls;
        std::string expected;
        EType type = EType::Comment;
        int failLine = 0;                // a row for http://h/U on this line, which fails the run
        const char* localFail = nullptr; // or for this link between the pages
    };
    const std::string good = "<li>" + A("http://127.0.0.1/ok", "good"), u = "http://h/U", au = A(u);
    const std::string list = good + "\n" + kLine + "\r\n</ul>";
    const std::string meta = "<meta content=\"see http://127.0.0.1/o\">";
    const std::string two = "<p>a " + A("http://h/A") + " b " + A("http://h/B", "y") + " c\n";
    const std::string odd = "\0x\r\r\n\x1a\xff\xfe\r"s,
                      longLine = std::string(300 * 1024, 'a') + au;
    const std::string typeOne = "<li><a href=\"links.html\">bad</a><!--\"" + kBad + "\"-->";
    const std::string local = "<p>" + A("old-about.html") + " <a href='about.html'>y</a> " + au,
                      inside = A("old-about.html") + "<a href=about.html5>5</a>",
                      click = " <a title=\"about.html\" onclick=\"go('about.html')\" HREF\r=\r";
    // A minified page is one line: a link there loses only its own anchor.
    std::string minified = "<html><body><ul>";
    for (int i = 0; i < 10000; ++i)
        minified += "<li>" + A("http://h/" + std::to_string(i), "n" + std::to_string(i)) + "</li>";
    minified += "</ul></body></html>";
    const std::string m = A("http://h/5000", "n5000"), mu = "http://h/5000";
    const std::string before = minified.substr(0, minified.find(m)),
                      after = minified.substr(minified.find(m) + m.size());
    const SCase cases[] = {
        // The prefix of a good link's URL on line 1 is not the bad link of line 2.
        {"c.html", list, {kBad}, good + "\r\n<!--" + kLine + "-->\r\n</ul>"},
        {"links.html", list, {kBad}, good + "\r\n" + typeOne + "\r\n</ul>", EType::FileName},
        {"r.html", list, {kBad}, good + "\r\n</ul>", EType::Remove},
        {"meta.html", meta + "\n" + kLine + "\n", {kBad}, meta + "\r\n", EType::Remove},
        // Two links on a line: each listed one on its own anchor, in one rewrite.
        {"two.html",
         two,
         {"http://h/A", "http://h/B"},
         "<p>a <!--" + A("http://h/A") + "--> b <!--" + A("http://h/B", "y") + "--> c\r\n"},
        {"min.html", minified, {mu}, before + "<!--" + m + "-->" + after + "\r\n"},
        {"min-r.html", minified, {mu}, before + after + "\r\n", EType::Remove},
        {"min-1.html",
         minified,
         {mu},
         before + A("min-1.html", "n5000") + after + "<!--\"" + mu + "\"-->\r\n",
         EType::FileName},
        {"twice.html", au + au + "\n" + au, {u, u, u}, "\r\n", EType::Remove},
        {"odd.html",
         odd + au + "\nlast\r",
         {u},
         odd.substr(0, 5) + "<!--" + odd.substr(5) + au + "-->\r\nlast\r"},
        {"last.html", "a\n" + au, {u}, "a\r\n<!--" + au + "-->\r\n"},
        {"long.html", longLine, {u}, "<!--" + longLine + "-->\r\n"},
        // The page changed since the test: a later line holds the link, an earlier one not.
        {"later.html",
         "new line\n" + A("http://h/A") + "\n" + A("http://h/B"),
         {},
         "new line\r\n",
         EType::Remove},
        {"earlier.html", au + "\n", {}, au + "\r\n", EType::Remove, 2},
        {"prefix only.html", A(u + "x") + "\n", {}, A(u + "x") + "\r\n", EType::Remove, 1},
        // A link between the pages is its whole href value, never part of a longer one.
        {"local.html",
         local + "\n",
         {"about.html"},
         "<p>" + A("old-about.html") + "  " + au + "\r\n",
         EType::Remove},
        {"local-1.html",
         A("about.html5") + click + "about.html\r>b</a> " + au + "\n",
         {"about.html"},
         A("about.html5") + click + "local-1.html\r>b</a> " + au + "<!--\"about.html\"-->\r\n",
         EType::FileName},
        {"inside.html", inside + "\n", {}, inside + "\r\n", EType::Remove, 1, "about.html"},
        // An image map's link is its own tag: the one-line page keeps the rest.
        {"map.html",
         "<map><AREA href=gone.html><area href='gone.html' /></map><p>" + au,
         {"gone.html", "gone.html"},
         "<map><!--<AREA href=gone.html>--><!--<area href='gone.html' />--></map><p>" + au +
             "\r\n"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        rows.Clear();
        host.m_messages.clear();
        WriteFile(dir / "notes.t~p", "the user's own"); // never touched
        const std::string path = Page(c.name, c.bytes, c.urls);
        if (std::string(c.name) == "later.html") // as the test found them, before a new line 1
            Add("http://h/A", path, 1), Add("http://h/B", path, 2);
        const std::string failUrl = c.localFail != nullptr ? c.localFail : u;
        if (c.failLine > 0)
            Add(failUrl, path, c.failLine, c.localFail != nullptr ? Outcome::kFileNotFound : 0);
        const bool bOk = c.failLine == 0;
        const E::SPreview preview = engine.PreviewLinks(c.type);
        EXPECT_EQ(ReadFile(path), c.bytes);
        EXPECT_FALSE(fs::exists(E::BackupPathOf(path)) || rows.IsRepaired(0));
        const Texts told = std::exchange(host.m_messages, {});
        const E::SOutcome outcome = Run(c.type);
        EXPECT_EQ(host.m_messages, told);
        EXPECT_EQ(preview.outcome.stoppingRow, outcome.stoppingRow);
        ASSERT_EQ(preview.pages.size(), 1u);
        EXPECT_EQ(preview.pages[0].notFoundRow, bOk ? -1 : rows.RowCount() - 1);
        EXPECT_EQ(preview.pages[0].changes, rows.RowCount() - (bOk ? 0 : 1));
        for (const char* tool : {"patch -p1", "git apply"}) {
            WriteFile(dir / "copy" + path, c.bytes);
            EXPECT_TRUE(ApplyDiff(tool, preview.pages[0].diff, dir / "copy")) << tool;
            EXPECT_EQ(ReadFile(dir / "copy" + path), c.expected) << tool;
        }
        EXPECT_EQ(ReadFile(path), c.expected);
        EXPECT_EQ(ReadFile(E::BackupPathOf(path)), c.bytes);
        EXPECT_EQ(TempFilesIn(dir.Path()), Texts());
        EXPECT_EQ(ReadFile(dir / "notes.t~p"), "the user's own");
        EXPECT_EQ(outcome.bOk, bOk);
        EXPECT_EQ(rows.IsFileFinished(0), bOk);
        EXPECT_EQ(host.m_messages,
                  bOk ? Texts() : Texts{AsciiText::Fill(E::kNotFoundFormat, path, failUrl)});
    }
    // Any other type is refused before the page is touched.
    rows.Clear();
    const std::string path = Page("other.html", list, {kBad});
    EXPECT_FALSE(Run(static_cast<EType>(3)).bOk);
    EXPECT_EQ(ReadFile(path), list);
}

TEST_F(RepairEngineTest, AFailedRunIsCorrectedAndRunAgainThenASecondRunTouchesNothing) {
    const std::string path = Page("p.htm", "A\nx\nC\n", {});
    Add("A", path, 1), Add("U", path, 2), Add("C", path, 3);
    const std::string other = Page("q.htm", "U\n", {"U"});
    E::SOutcome outcome = Run(EType::Remove);
    EXPECT_FALSE(outcome.bOk);
    EXPECT_EQ(outcome.stoppingRow, 1);
    EXPECT_EQ(ReadFile(path), "x\r\nC\r\n"); // put back with the repair made
    EXPECT_EQ(ReadFile(other), "U\n");       // later groups are left alone
    rows.RemoveRow(1);                       // the failure dialog's "ignore"
    EXPECT_TRUE(Run(EType::Remove).bOk);     // line 3 is line 2 now
    EXPECT_EQ(ReadFile(path), "x\r\n");
    EXPECT_EQ(ReadFile(dir / "p.rep"), "A\nx\nC\n"); // the first backup stays
    EXPECT_EQ(ReadFile(other), "");
    EXPECT_TRUE(Run().bOk);
}

// Pages left out of a run (the window's preview unticks them) keep their bytes
// and their rows stay unmarked for a later run; a preview honours the marks.
TEST_F(RepairEngineTest, SkippedPagesAreLeftWholeAndTheirRowsUnmarked) {
    const std::string p = Page("p.htm", "A\n", {"A"}), q = Page("q.htm", "B\nQ\n", {"B"});
    EXPECT_EQ(engine.PreviewLinks(EType::Remove, {p}).pages.at(0).file, q);
    EXPECT_TRUE(Run(EType::Remove, {p}).bOk);
    EXPECT_EQ(ReadFile(p) + ReadFile(q), "A\nQ\r\n");
    EXPECT_FALSE(fs::exists(dir / "p.rep") || rows.IsRepaired(0) || rows.IsFileFinished(0));
    EXPECT_TRUE(rows.IsRepaired(1) && rows.IsFileFinished(1));
    const E::SPreview rest = engine.PreviewLinks(EType::Remove); // q is done
    EXPECT_EQ(rest.pages.size() == 1 ? rest.pages[0].file : "", p);
    EXPECT_TRUE(Run(EType::Remove).bOk);
    EXPECT_EQ(ReadFile(p), "");
}

TEST_F(RepairEngineTest, EachPageHasABackupOfItsOwnAndOnlyRecordedOnesAreTaken) {
    const std::string index = Page("index.html", "H\n", {"H"});
    ASSERT_TRUE(Run().bOk);
    // A later test of index.htm: index.rep is index.html's, and stays so.
    CRepairEngine later(rows, host);
    rows.Clear();
    const std::string htm = Page("index.htm", "M\n", {"M"});
    WriteFile(dir / "notes.rep", "the user's own"); // unrecorded: never a page's backup
    const std::string notes = Page("notes.html", "N\n", {"N"});
    const std::string dotted = Page("my.site/index", "D\n", {"D"});
    // A linked page is repaired in its target; the backup sits beside the target.
    WriteFile(dir / "real/target.html", "L\n");
    fs::create_symlink("../real/target.html", dir / "my.site/linked.htm");
    Add("L", dir / "my.site/linked.htm");
    EXPECT_TRUE(later.RepairLinks(EType::Comment).bOk);
    const std::pair<std::string, std::string> backups[] = {
        {"index.rep", "H\n"},      {"index.htm.rep", "M\n"},     {"notes.rep", "the user's own"},
        {"notes.html.rep", "N\n"}, {"my.site/index.rep", "D\n"}, {"real/target.rep", "L\n"}};
    for (const auto& [backup, bytes] : backups)
        EXPECT_EQ(ReadFile(dir / backup), bytes) << backup;
    EXPECT_EQ(ReadFile(dir / "real/target.html"), "<!--L-->\r\n");
    EXPECT_TRUE(fs::is_symlink(dir / "my.site/linked.htm"));
    EXPECT_TRUE(E::IsBackupOf(dir / "index.rep", "index.html"));
    EXPECT_FALSE(E::IsBackupOf(dir / "index.rep", "index.htm"));
    EXPECT_FALSE(E::IsBackupOf(dir / "notes.rep", "notes.html"));
}

// Every refusal and failure leaves the page (and its backup, when there is one)
// exactly as it was, no temporary file behind, and the rows for a later run.
TEST_F(RepairEngineTest, FailuresAndRefusalsLoseNoByte) {
    CONTINUE_IN_NAMESPACE("-rm")
    const std::string page = "<p>" + std::string(40000, 'p') + "</p>\n" + kLine + "\n";
    // `bForeseen`: a preview fails there too, with the same messages.
    auto expectFailure = [&](const std::string& path, int stoppingRow, bool bBackup,
                             const std::string& bytes, std::size_t messages = 1,
                             bool bForeseen = false) {
        EXPECT_EQ(bForeseen ? engine.PreviewLinks(EType::Comment).outcome.stoppingRow : stoppingRow,
                  stoppingRow);
        const E::SOutcome outcome = Run();
        EXPECT_FALSE(outcome.bOk);
        EXPECT_EQ(outcome.stoppingRow, stoppingRow);
        EXPECT_EQ(outcome.file, path);
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(fs::exists(E::BackupPathOf(path)) ? ReadFile(E::BackupPathOf(path)) : "none",
                  bBackup ? page : "none");
        EXPECT_EQ(TempFilesIn(fs::path(path).parent_path()), Texts());
        EXPECT_FALSE(rows.IsRepaired(0));
        EXPECT_EQ(host.m_messages.size(), messages * (bForeseen ? 2 : 1));
        host.m_messages.clear();
        rows.Clear();
    };
    Add(kBad, dir / "gone.html"); // a missing page: nothing is made, nothing said
    expectFailure(dir / "gone.html", 0, false, "", 0, true);
    {
        SCOPED_TRACE("a hard-linked page and one nobody may write");
        const std::string path = Page("linked.html", page, {kBad});
        fs::create_hard_link(path, dir / "same.html");
        expectFailure(path, 0, false, page, 1, true);
        fs::remove(dir / "same.html");
        Page("linked.html", page, {kBad});
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
        expectFailure(path, 0, false, page, 1, true);
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    }
    {
        SCOPED_TRACE("a read-only folder, with a backup of the page's own");
        const std::string path = Page("ro/a.html", page, {kBad});
        ASSERT_TRUE(Run(EType::FileName).bOk); // makes the recorded backup
        rows.Clear();
        Page("ro/a.html", page, {kBad});
        const std::string ro = dir / "ro";
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
        const std::string path = Page("disk/a.html", page, {kBad});
        const bool bBackup = std::string(size) == "96k";
        expectFailure(path, bBackup ? -1 : 0, bBackup, page, bBackup ? 0 : 1);
        Sh("umount '" + disk + "'");
    }
    {
        SCOPED_TRACE("no extended attributes: a note records the backup");
        Sh("mount -t ramfs ramfs '" + disk + "'");
        const std::string path = Page("disk/a.html", "B\n", {"B"});
        EXPECT_TRUE(Run().bOk);
        EXPECT_TRUE(E::IsBackupOf(disk + "/a.rep", "a.html"));
        EXPECT_EQ(ReadFile(E::NotePathOf(disk + "/a.rep")), "a.html");
        // and another what the repair wrote, so that a restore puts the page back
        EXPECT_EQ(CRestoreEngine().RestorePage(path, {}), CRestoreEngine::EResult::Restored);
        EXPECT_EQ(ReadFile(path), "B\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(disk), {}), 1); // the page alone
        Sh("umount '" + disk + "'");
    }
}

// A plain user in a folder anyone may write to leaves the superuser's page alone.
TEST_F(RepairEngineTest, AnotherUsersPageIsNotRewritten) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs the superuser to test as another user";
    fs::permissions(dir.Path(), fs::perms::all);
    const std::string path = Page("root.html", kLine + "\n", {kBad});
    fs::permissions(path, static_cast<fs::perms>(0666)); // only its owner is not ours
    const pid_t child = ::fork();
    if (child == 0) {
        const bool bDropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(bDropped && !Run().bOk && host.m_messages.size() == 1 ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(path), kLine + "\n");
    EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0666));
}

// Killed at any moment, or run twice at once, a repair leaves the page and its
// backup whole: each is the old page or the whole new one.
TEST_F(RepairEngineTest, KilledOrRunTwiceAtOnceItLeavesEveryPageAndBackupWhole) {
    std::string page;
    for (int i = 0; i < 20000; ++i)
        page += "<li>" + A("http://h/" + std::to_string(i % 200)) + "</li>\n";
    const std::string path = Page("big.html", page, {"http://h/7", "http://h/150"});
    const std::vector<SResultRow> listed = {rows.Row(0), rows.Row(1)};
    std::string repaired;
    ASSERT_TRUE(Run().bOk);
    repaired = ReadFile(path);
    const std::string backup = E::BackupPathOf(path);
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> wait(0, 30000);
    auto repairInChild = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            CResultsModel model;
            for (const SResultRow& row : listed)
                model.AddRow(row);
            CRecordingHost quiet;
            ::_exit(CRepairEngine(model, quiet).RepairLinks(EType::Comment).bOk ? 0 : 3);
        }
        return child;
    };
    for (int round = 0; round < 50; ++round) {
        WriteFile(path, page);
        fs::remove(backup);
        const pid_t child = repairInChild();
        ::usleep(static_cast<useconds_t>(wait(rng)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == page || now == repaired) << "round " << round;
        ASSERT_TRUE(!fs::exists(backup) || ReadFile(backup) == page) << "round " << round;
        for (const std::string& left : TempFilesIn(dir.Path())) // a killed run's, recognisable
            fs::remove(dir / left);
    }
    // A second run after a kill still finds a whole backup or makes one.
    WriteFile(path, page);
    rows.Clear();
    for (const SResultRow& row : listed)
        rows.AddRow(row);
    CRepairEngine again(rows, host);
    ASSERT_TRUE(again.RepairLinks(EType::Comment).bOk);
    EXPECT_EQ(ReadFile(backup), page);
    // Two at once: one repairs the page, the other waits for it and then finds
    // its links commented out already, which it comments out again.
    WriteFile(path, page);
    const pid_t first = repairInChild(), second = repairInChild();
    int statuses[2] = {-1, -1};
    for (int tries = 0; tries < 2000 && ::waitpid(first, &statuses[0], WNOHANG) == 0; ++tries) {
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == page || now == repaired || now.size() > repaired.size());
        ::usleep(1000);
    }
    ::waitpid(first, &statuses[0], 0);
    ::waitpid(second, &statuses[1], 0);
    EXPECT_EQ(statuses[0], 0);
    EXPECT_EQ(statuses[1], 0);
    EXPECT_EQ(ReadFile(path).size(), repaired.size() + 14); // each line wrapped twice, whole
    EXPECT_EQ(TempFilesIn(dir.Path()), Texts());
}

} // namespace
