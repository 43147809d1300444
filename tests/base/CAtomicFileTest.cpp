// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/CAtomicFile.h"

#include "engine/CFileEnumerator.h"
#include "support/TestUtil.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using E = CAtomicFile;

E::ECommit WriteWhole(const std::string& path, const std::string& bytes,
                      E::EReplace replace = E::EReplace::Replace,
                      E::EMode how = E::EMode::Inherit) {
    CAtomicFile file;
    const bool bWritten = file.Open(path, replace, 0664, how) && file.Write(bytes);
    return bWritten ? file.Commit() : E::ECommit::Failed;
}

TEST(AtomicFileTest, ReplacesOrLinksInWholeWithTheRightModeAndWritesDevicesDirectly) {
    CTempDir dir;
    const mode_t savedUmask = ::umask(027);
    EXPECT_EQ(WriteWhole(dir / "new", "new"), E::ECommit::Done);
    EXPECT_EQ(WriteWhole(dir / "copy", "c", E::EReplace::NoReplace, E::EMode::Exact),
              E::ECommit::Done);
    ::umask(savedUmask);
    WriteFile(dir / "old", "old");
    fs::permissions(dir / "old", fs::perms(0604));
    EXPECT_EQ(WriteWhole(dir / "old", "new"), E::ECommit::Done); // through a link: the repair's
    // As open(2) gives a new file its mode; exactly; the replaced file's.
    const std::pair<const char*, int> modes[] = {{"new", 0640}, {"copy", 0664}, {"old", 0604}};
    for (const auto& [name, mode] : modes)
        EXPECT_EQ(fs::status(dir / name).permissions(), fs::perms(mode)) << name;

    // The no-replace mode loses to any file there, even one that came after the open.
    CAtomicFile late;
    ASSERT_TRUE(late.Open(dir / "late", E::EReplace::NoReplace, 0600) && late.Write("mine"));
    WriteFile(dir / "late", "first");
    EXPECT_EQ(late.Commit(), E::ECommit::NameTaken);
    EXPECT_EQ(ReadFile(dir / "late"), "first");
    EXPECT_EQ(TempFilesIn(dir.Path()), Texts());

    // A device or a pipe is written as it is; a pipe with no reader is refused.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(WriteWhole("/dev/null", "bytes"), E::ECommit::Done);
    for (const std::string& path : {std::string("/dev/full"), dir / "pipe"})
        EXPECT_EQ(WriteWhole(path, "bytes"), E::ECommit::Failed) << path;
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
}

TEST(AtomicFileTest, AFullDiskOrAReadOnlyFolderLeavesTheOldFileWholeAndNoTemporary) {
    CONTINUE_IN_NAMESPACE("-rm")
    CTempDir dir;
    const std::string disk = dir / "disk", ro = dir / "ro";
    MakeDir(disk);
    WriteFile(ro + "/old", "old bytes");
    const std::string mounts = "mount -t tmpfs -o size=64k tmpfs '" + disk + "' && mount --bind '" +
                               ro + "' '" + ro + "' && mount -o remount,bind,ro '" + ro + "'";
    ASSERT_EQ(std::system(mounts.c_str()), 0);
    WriteFile(disk + "/old", "old bytes");
    const std::string big(100000, 'n');
    EXPECT_EQ(WriteWhole(disk + "/old", big), E::ECommit::Failed);
    EXPECT_EQ(WriteWhole(disk + "/new", big, E::EReplace::NoReplace), E::ECommit::Failed);
    EXPECT_EQ(WriteWhole(ro + "/old", "new"), E::ECommit::Failed);
    for (const std::string& folder : {disk, ro}) {
        EXPECT_EQ(ReadFile(folder + "/old"), "old bytes");
        EXPECT_FALSE(fs::exists(folder + "/new"));
        EXPECT_EQ(TempFilesIn(folder), Texts());
    }
}

// A writer killed at any moment leaves the old file or the new one, whole, and
// beside it nothing that any part of the program takes for a page.
TEST(AtomicFileTest, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
    CTempDir dir;
    const std::string path = dir / "page.html";
    const std::string oldBytes(300000, 'o'), newBytes(600000, 'n');
    auto writeInChild = [&] {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(WriteWhole(path, newBytes) == E::ECommit::Done ? 0 : 1);
        return child;
    };
    // The kills fall anywhere within the time one whole write takes here.
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ASSERT_TRUE(::waitpid(writeInChild(), &status, 0) > 0 && status == 0);
    std::uniform_int_distribution<long long> delay(
        0, (std::chrono::steady_clock::now() - start).count());
    std::mt19937 random(std::random_device{}());
    int cut = 0; // temporary files left by writers killed before their rename
    for (int round = 0; round < 50; ++round) {
        WriteFile(path, oldBytes);
        const pid_t child = writeInChild();
        std::this_thread::sleep_for(std::chrono::steady_clock::duration(delay(random)));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == oldBytes || now == newBytes) << "a torn file of " << now.size();
        // Beside the page (and the test's config folder) only temporary files.
        const Texts left = TempFilesIn(dir.Path());
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), std::ssize(left) + 2);
        for (const std::string& name : left) {
            EXPECT_FALSE(CFileEnumerator::MatchesHtmlPattern(dir / name)) << name;
            fs::remove(dir / name);
        }
        cut += static_cast<int>(left.size());
    }
    EXPECT_GT(cut, 0);
}

} // namespace
