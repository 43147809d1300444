// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/CRestoreEngine.h"

#include "base/AsciiText.h"
#include "results/CResultsModel.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using EResult = CRestoreEngine::EResult;

const std::string kPage = "<p>kept\n<a href=\"http://h/gone\">gone</a>\n";
const std::string kRepaired = "<p>kept\r\n<!--<a href=\"http://h/gone\">gone</a>-->\r\n";

// Writes `bytes` to each page and repairs its link on line 2 with the real engine.
void Repair(const Texts& pages, const std::string& bytes = kPage) {
    CResultsModel rows;
    for (const std::string& page : pages) {
        WriteFile(page, bytes);
        rows.AddRow(
            {.url = "http://h/gone", .reason = "", .siteName = "", .fileName = page, .line = 2});
    }
    CRecordingHost host;
    ASSERT_TRUE(CRepairEngine(rows, host).RepairLinks(CRepairEngine::ERepairType::Comment).bOk);
}

// (The CLI suite puts back a repaired site and refuses foreign backups and edited pages.)
TEST(RestoreEngineTest, ALinkIsFollowedAndHardLinkedOrUnwritablePagesAreLeftAsTheyAre) {
    CTempDir dir;
    MakeDir(dir / "real");
    fs::create_symlink("real/t.html", dir / "link.html");
    Repair({dir / "link.html", dir / "hard.html", dir / "ro.html", dir / "again.html"});
    // Repaired again: as it was, then edited since, which its backup would lose.
    Repair({dir / "again.html", dir / "edited.html"});
    Repair({dir / "edited.html"}, "<p>edited\n<a href=\"http://h/gone\">gone</a>\n");
    fs::permissions(dir / "real/t.html", fs::perms(0640)); // changed since: kept
    fs::create_hard_link(dir / "hard.html", dir / "hard2.html");
    fs::permissions(dir / "ro.html", fs::perms::owner_read);
    CRestoreEngine engine;
    std::string message;
    EXPECT_EQ(engine.RestorePage(dir / "hard.html", {}, &message), EResult::HardLinked);
    EXPECT_EQ(message, AsciiText::Fill(CRestoreEngine::kHardLinkedFormat, dir / "hard.html"));
    EXPECT_EQ(engine.RestorePage(dir / "ro.html", {}), EResult::NotWritable);
    EXPECT_EQ(engine.RestorePage(dir / "again.html", {}), EResult::Restored);
    EXPECT_EQ(engine.RestorePage(dir / "edited.html", {}), EResult::ChangedSinceRepair);
    EXPECT_EQ(engine.RestorePage(dir / "link.html", {}), EResult::Restored);
    EXPECT_TRUE(fs::is_symlink(dir / "link.html"));
    EXPECT_EQ(ReadFile(dir / "real/t.html"), kPage);
    EXPECT_EQ(fs::status(dir / "real/t.html").permissions(), fs::perms(0640));
    EXPECT_FALSE(fs::exists(dir / "real/t.rep"));
    for (const char* page : {"hard.html", "ro.html"})
        EXPECT_EQ(ReadFile(dir / page) + ReadFile(CRepairEngine::BackupPathOf(dir / page)),
                  kRepaired + kPage);
}

// A restore killed at any moment leaves each page as its repair left it or as
// it was before, whole, and a later restore puts back what is left.
TEST(RestoreEngineTest, KilledAtAnyMomentItLeavesEachPageWholeAndALaterRunFinishes) {
    CTempDir dir;
    std::string page = "<p>kept\n<a href=\"http://h/gone\">gone</a>\n";
    for (int i = 0; i < 20000; ++i)
        page += "<li><a href=\"http://h/" + std::to_string(i) + "\">x</a>\n";
    const Texts pages = {dir / "a.html", dir / "b.html", dir / "c.html"};
    Repair(pages, page);
    const std::string repaired = ReadFile(pages[0]);
    auto restoreInChild = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            CRestoreEngine engine;
            for (const std::string& path : pages)
                engine.RestorePage(path, {});
            ::_exit(0);
        }
        return child;
    };
    // The kills fall anywhere within the time one whole run takes here.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_GT(::waitpid(restoreInChild(), nullptr, 0), 0);
    std::uniform_int_distribution<long long> delay(
        0, (std::chrono::steady_clock::now() - start).count());
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 20; ++round) {
        Repair(pages, page); // the last round's later run removed the backups
        const pid_t child = restoreInChild();
        std::this_thread::sleep_for(std::chrono::steady_clock::duration(delay(random)));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
        for (const std::string& left : TempFilesIn(dir.Path())) // a killed run's, recognisable
            fs::remove(dir / left);
        for (const std::string& path : pages) {
            const std::string now = ReadFile(path);
            ASSERT_TRUE(now == page || now == repaired) << "round " << round << ": " << now.size();
            CRestoreEngine().RestorePage(path, {});
            EXPECT_EQ(ReadFile(path), page);
            EXPECT_FALSE(fs::exists(CRepairEngine::BackupPathOf(path)));
        }
    }
}

} // namespace
