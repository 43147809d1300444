// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/CSettingsStore.h"

#include "settings/CIniImport.h"
#include "settings/CSettingsCreator.h"
#include "support/TestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using SettingsKeys::kSettingsFilter;
using SettingsKeys::kSettingsTimeout;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_store.OpenBaseKey(nullptr, m_dir / "store")); }

    CTempDir m_dir;         // also moves XDG_CONFIG_HOME into the temporary folder
    CSettingsStore m_store; // away from the default folder, which is for first runs
};

TEST_F(SettingsStoreTest, ValuesComeBackByteForByteAndNumbersReadAsPercentD) {
    const std::string values[] = {" lead and trail ", "a/b\\c;\"q\"",  "@at%41",
                                  "line\nbreak\r",    "latin\xe9\xff", std::string(259, 'x')};
    for (const std::string& name : {std::string("plain"), std::string("a/b \\=%;"), std::string()})
        for (const std::string& value : values) {
            ASSERT_TRUE(m_store.SetString("General", name, value));
            CSettingsStore reader; // a fresh store: nothing comes from memory
            ASSERT_TRUE(reader.OpenBaseKey(nullptr, m_dir / "store"));
            EXPECT_EQ(reader.GetString("gENERAL", name, "?"), value) << name;
        }
    ASSERT_TRUE(m_store.SetString("S", "n", std::string(260, 'x')));
    EXPECT_EQ(m_store.GetString("S", "n", "default"), "default");
    ASSERT_TRUE(m_store.SetString("S", "n", std::string("ab\0cd", 5)));
    EXPECT_EQ(m_store.GetString("s", "N", ""), "ab");

    // As AsciiText reads "%d" (its suite has the rest), to an int.
    const std::pair<const char*, int> numbers[] = {{"42abc", 42}, {"-", 99}, {"2147483648", 99}};
    for (const auto& [text, expected] : numbers) {
        ASSERT_TRUE(m_store.SetString("S", "n", text));
        EXPECT_EQ(m_store.GetInt("S", "n", 99), expected) << '"' << text << '"';
    }
}

TEST_F(SettingsStoreTest, ABrokenFileIsStillReplacedWholeAndNoFolderMeansNoStore) {
    // Lines that make no sense are dropped at the next write, the rest kept, and
    // the file is replaced whole, never written in place: a crash leaves either.
    const std::string broken = "[settings]\nfilter=000000011110000001000\n[unclosed\n\x01\xff\n";
    WriteFile(m_store.FilePath(), broken);
    std::filesystem::create_hard_link(m_store.FilePath(), m_dir / "old");
    ASSERT_TRUE(m_store.Set(kSettingsTimeout, 20));
    EXPECT_EQ(ReadFile(m_dir / "old"), broken);
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 20);
    EXPECT_EQ(m_store.Get(kSettingsFilter), "000000011110000001000");
    // Without a home there is no folder, and nothing is written anywhere ("/").
    EXPECT_FALSE(m_store.OpenBaseKey(nullptr, ""));
    EXPECT_FALSE(m_store.Set(kSettingsFilter, "x"));
}

TEST(SettingsIniTest, LinesAreTrimmedAndCutIn519BytePiecesButNamesAndValuesAreNot) {
    // Entries before the first header are dropped, and "[a]b]" is no header. Only
    // a line feed ends a line, cut in pieces of 519 bytes; a NUL ends a piece.
    const std::string bytes = "x=1\n[a]b]\nk=no header\n[[x]\n[a]b]=v\n; none\n  [ s ]  \r\n"
                              "Timeout = 30\r\n[]\nk=" +
                              std::string(517, 'v') + std::string("j=2\rl=3\nz=a\0b\n", 15);
    Texts entries;
    auto add = [&](std::string_view section, std::string_view name, std::string_view value) {
        entries.push_back(std::string(section).append("|").append(name).append("=").append(value));
    };
    CIniImport::Parse(bytes, add);
    EXPECT_EQ(entries, (Texts{"[x|[a]b]=v", "s|Timeout = 30", "|k=" + std::string(517, 'v'),
                              "|j=2\rl=3", "|z=a"}));
}

TEST_F(SettingsStoreTest, ImportReadsOnlyARegularFileOfSaneSize) {
    const std::string ini = SettingsPaths::ImportFile(m_dir / "store");
    WriteFile(ini, "[Settings]\nTimeout=30\n" + std::string(CIniImport::kMaxFileSize, ';'));
    EXPECT_EQ(CIniImport::Import(ini, m_store), 0);
    ASSERT_TRUE(std::filesystem::remove(ini) && ::symlink("/dev/zero", ini.c_str()) == 0);
    EXPECT_EQ(CIniImport::Import(ini, m_store), 0); // a device without end

    // A named pipe with no writer would block the open for ever; should the import
    // wait there, the alarm ends it, and the test fails.
    ASSERT_TRUE(std::filesystem::remove(ini) && ::mkfifo(ini.c_str(), 0600) == 0);
    ::alarm(10);
    EXPECT_EQ(CIniImport::Import(ini, m_store), 0);
    ::alarm(0);
}

TEST_F(SettingsStoreTest, FirstRunStoreAppearsOnlyWhenComplete) {
    const std::string folder = SettingsPaths::DefaultFolder();
    const std::string store = folder + "/Linkvet.conf";
    // An interrupted run leaves no store, so the next one imports.
    WriteFile(folder + "/Linkvet.INI", "[settings]\ntimeout=30\n");
    const CSettingsCreator interrupted([] { throw std::runtime_error("interrupted"); });
    EXPECT_THROW(interrupted.OpenAndImport(m_store), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(store));
    EXPECT_EQ(TempFilesIn(folder), Texts());

    // A run started meanwhile finishes first, and its store is the one used.
    CSettingsStore slower, faster;
    const CSettingsCreator slowerRun([&] {
        EXPECT_FALSE(std::filesystem::exists(store));
        ASSERT_TRUE(CSettingsCreator().OpenAndImport(faster));
        EXPECT_EQ(faster.Get(kSettingsTimeout), 30);
        faster.Set(kSettingsTimeout, 45);
    });
    ASSERT_TRUE(slowerRun.OpenAndImport(slower));
    EXPECT_EQ(slower.Get(kSettingsTimeout), 45);

    WriteFile(folder + "/Linkvet.INI", "[Settings]\nTimeout=60\n"); // later runs import nothing
    CSettingsStore later;
    ASSERT_TRUE(CSettingsCreator().OpenAndImport(later));
    EXPECT_EQ(later.Get(kSettingsTimeout), 45);
}

TEST_F(SettingsStoreTest, RelativeOrMissingFoldersFallBackToTheUsersHome) {
    const passwd* user = ::getpwuid(::getuid());
    if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] != '/')
        GTEST_SKIP() << "this user has no home in the password database";
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1); // m_dir puts the old one back
    ::unsetenv("HOME");                                // started by a service, or with "env -i"
    EXPECT_EQ(SettingsPaths::DefaultFolder(),
              std::string(user->pw_dir) + "/.config/Veldmark Software");
    savedHome.empty() ? ::unsetenv("HOME") : ::setenv("HOME", savedHome.c_str(), 1);
}

} // namespace
