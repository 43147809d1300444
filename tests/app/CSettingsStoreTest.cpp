#include "app/CSettingsStore.h"

#include "support/TestUtil.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using SettingsKeys::kSettingsFilter;
using SettingsKeys::kSettingsTimeout;

class SettingsStoreTest : public ::testing::Test {
protected:
    void Open() { ASSERT_TRUE(m_store.OpenBaseKey(nullptr)); }

    // The import file sits beside the settings file.
    std::string IniPath() const { return CSettingsStore::DefaultFolder() + "/Linkvet.INI"; }
    std::string StorePath() const { return CSettingsStore::DefaultFolder() + "/Linkvet.conf"; }

    void Import(const std::string& ini) {
        Open();
        WriteFile(IniPath(), ini);
        m_store.ImportIniFile();
    }

    // What a first run does: the store must come out of it complete.
    void FirstRun(CSettingsStore& store, bool bExpectCreated = true) {
        bool bCreated = !bExpectCreated;
        ASSERT_TRUE(store.OpenAndImport(&bCreated));
        EXPECT_EQ(bCreated, bExpectCreated);
        EXPECT_EQ(store.FilePath(), StorePath());
    }

    CTempDir m_dir; // also moves XDG_CONFIG_HOME into the temporary folder
    CSettingsStore m_store;
};

TEST_F(SettingsStoreTest, NumbersAreDecimalTextAndReadAsPercentD) {
    Open();
    const std::pair<const char*, int> cases[] = {
        {"42abc", 42},      {"  +7", 7},
        {"-", 99},          {"-2147483648", -2147483647 - 1},
        {"2147483648", 99}, {"99999999999999999999", 99}};
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(m_store.SetString("S", "n", text));
        EXPECT_EQ(m_store.GetInt("S", "n", 99), expected) << '"' << text << '"';
    }
}

TEST_F(SettingsStoreTest, ValuesComeBackByteForByteUpTo259Bytes) {
    Open();
    const std::string awkward[] = {" lead and trail ", "a/b\\c;\"q\"",  "@at%41",
                                   "line\nbreak\r",    "latin\xe9\xff", std::string(259, 'x')};
    for (const std::string& name : {std::string("plain"), std::string("a/b \\=%;"), std::string()})
        for (const std::string& value : awkward) {
            ASSERT_TRUE(m_store.SetString("General", name, value));
            CSettingsStore reader; // a fresh store: nothing comes from memory
            ASSERT_TRUE(reader.OpenBaseKey(nullptr));
            EXPECT_EQ(reader.GetString("General", name, "?"), value);
        }
    EXPECT_EQ(m_store.GetString("a", "b \\=%;", "none"), "none"); // "/" is no path
    ASSERT_TRUE(m_store.SetString("S", "n", std::string(260, 'x')));
    EXPECT_EQ(m_store.GetString("S", "n", "default"), "default");
    ASSERT_TRUE(m_store.SetString("S", "n", std::string("ab\0cd", 5)));
    EXPECT_EQ(m_store.GetString("S", "n", ""), "ab");
}

TEST_F(SettingsStoreTest, WritesReplaceTheFileWholeAndSurviveCorruption) {
    Open();
    std::string garbage = "[settings]\nfilter=000000011110000001000\n";
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    garbage += "\n[grid]\ncol0=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\n";
    WriteFile(m_store.FilePath(), garbage);
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 15);

    struct stat before {};
    ASSERT_EQ(::stat(m_store.FilePath().c_str(), &before), 0);
    ASSERT_TRUE(m_store.Set(kSettingsTimeout, 20));
    struct stat after {};
    ASSERT_EQ(::stat(m_store.FilePath().c_str(), &after), 0);
    // A new file renamed over the old one: a crash mid-write leaves either.
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 20);
    EXPECT_EQ(m_store.Get(kSettingsFilter), "000000011110000001000");
}

TEST(SettingsStoreFailureTest, UnusableStoreGivesDefaultsAndRefusesWrites) {
    CTempDir dir;
    CSettingsStore unopened;
    EXPECT_FALSE(unopened.Set(kSettingsTimeout, 30));

    MakeDir(dir / "cfg/Linkvet.conf"); // a folder holds the file's name
    WriteFile(dir / "file", "x");      // a file stands where a folder must be
    for (const std::string& folder : {dir / "cfg", dir / "file/sub", std::string()}) {
        CSettingsStore store;
        bool bCreated = true;
        EXPECT_FALSE(store.OpenBaseKey(&bCreated, folder));
        EXPECT_FALSE(bCreated);
        EXPECT_EQ(store.Get(kSettingsFilter), kSettingsFilter.defaultValue);
        EXPECT_FALSE(store.Set(kSettingsFilter, "x"));
    }
}

TEST_F(SettingsStoreTest, ImportTrimsLinesNotNamesOrValuesAndKnowsItsHeaders) {
    Import("x=before any header\n"
           "[a]b]\n" // not a header: its first "]" is not its last character
           "k=in A\n"
           "[A]\n"
           "k=in A\n"
           "[a]b]=v\n" // an entry named "[a]b]"
           "; comment without an equals sign\n"
           "[[x]\n" // a header naming "[x"
           "k=in [x\n"
           "[]\n" // the base itself
           "k=in base\n"
           "  [ settings ]  \r\n"
           "Timeout = 30\r\n"
           "\tFilter=000000000000000000001 \t\r\n"
           "filter=000000000000000000011\n");
    EXPECT_EQ(m_store.GetString("Settings", "Timeout ", "none"), " 30");
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 15);
    EXPECT_EQ(m_store.Get(kSettingsFilter), "000000000000000000011");
    EXPECT_EQ(m_store.GetString("", "x", "dropped"), "dropped");
    EXPECT_EQ(m_store.GetString("A", "k", ""), "in A");
    EXPECT_EQ(m_store.GetString("A", "[a]b]", ""), "v");
    EXPECT_EQ(m_store.GetString("[x", "k", ""), "in [x");
    EXPECT_EQ(m_store.GetString("", "k", ""), "in base");
}

TEST(SettingsIniTest, LongLinesArriveIn519BytePieces) {
    // A piece of 519 "a" holds no "=" and is ignored; the next, "=5", is an entry
    // with an empty name. A 515-byte name leaves room for 3 bytes of its value.
    // Only a line feed ends a line: a line of a mebibyte, then lines that end in
    // a carriage return alone, each piece cut where 519 bytes end.
    std::string bytes = "[S]\n" + std::string(519, 'a') + "=5\n" + std::string(515, 'n') +
                        "=123456\nk=" + std::string(1 << 20, 'v') + std::string("\nz=a\0b\n", 7);
    for (int i = 0; i < 300; ++i)
        bytes += "a=1\r";
    std::vector<std::string> entries;
    CSettingsStore::ParseIni(bytes,
                             [&](std::string_view, std::string_view name, std::string_view value) {
                                 entries.push_back(std::string(name) + "=" + std::string(value));
                             });
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0], "=5");
    EXPECT_EQ(entries[1], std::string(515, 'n') + "=123");
    EXPECT_EQ(entries[2], "k=" + std::string(517, 'v'));
    EXPECT_EQ(entries[3], "z=a");
    EXPECT_EQ(entries[4].size(), 519u);
    EXPECT_EQ(entries[5].substr(0, 2), "a="); // its piece began with a "\r", trimmed away
    EXPECT_EQ(entries[6].substr(0, 4), "1\ra=");
}

TEST_F(SettingsStoreTest, ImportReadsOnlyARegularFileOfSaneSize) {
    auto expectNoImport = [this](const char* what) {
        CSettingsStore store;
        FirstRun(store); // the store is there all the same
        EXPECT_EQ(store.Get(kSettingsTimeout), 15) << what;
        ASSERT_EQ(::unlink(StorePath().c_str()), 0);
    };
    WriteFile(IniPath(),
              "[Settings]\nTimeout=30\n" + std::string(CSettingsStore::kMaxImportSize, ';'));
    expectNoImport("over the limit");
    ASSERT_EQ(::unlink(IniPath().c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", IniPath().c_str()), 0);
    expectNoImport("a device without end");

    // A named pipe with no writer would block the open, and the read after it,
    // for ever. Should that happen, a writer comes and goes after two seconds.
    ASSERT_EQ(::unlink(IniPath().c_str()), 0);
    ASSERT_EQ(::mkfifo(IniPath().c_str(), 0600), 0);
    std::promise<void> done;
    std::thread rescue([path = IniPath(), finished = done.get_future()] {
        if (finished.wait_for(std::chrono::seconds(2)) == std::future_status::ready)
            return;
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    expectNoImport("a named pipe");
    const auto took = std::chrono::steady_clock::now() - start;
    done.set_value();
    rescue.join();
    EXPECT_LT(took, std::chrono::seconds(1)) << "the import waited for a writer";
}

TEST_F(SettingsStoreTest, FirstRunStoreAppearsOnlyWhenComplete) {
    WriteFile(IniPath(), "[Settings]\nTimeout=30\n");
    // A run interrupted before its store is in place leaves none, and what an
    // earlier one left aside does not count as a store.
    WriteFile(StorePath() + ".import-Xy12Z9", "[Settings]\nTimeout=99\n");
    m_store.m_fnBeforeMove = [] { throw std::runtime_error("interrupted"); };
    EXPECT_THROW(m_store.OpenAndImport(), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(StorePath()));

    // The next run imports. A run that starts while it is under way finds no
    // store, builds its own and finishes first; the slower one then uses that.
    CSettingsStore slower;
    slower.m_fnBeforeMove = [this] {
        EXPECT_FALSE(std::filesystem::exists(StorePath()));
        CSettingsStore faster;
        FirstRun(faster);
        EXPECT_EQ(faster.Get(kSettingsTimeout), 30);
        faster.Set(kSettingsTimeout, 45);
    };
    FirstRun(slower, false);
    EXPECT_EQ(slower.Get(kSettingsTimeout), 45);
    const auto entries = std::filesystem::directory_iterator(CSettingsStore::DefaultFolder());
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 4) << "INI, store, 2 leftovers";

    WriteFile(IniPath(), "[Settings]\nTimeout=60\n"); // later runs import nothing
    CSettingsStore later;
    FirstRun(later, false);
    EXPECT_EQ(later.Get(kSettingsTimeout), 45);
}

TEST(SettingsFolderTest, RelativeOrMissingFoldersFallBackToTheUsersHome) {
    const passwd* user = ::getpwuid(::getuid());
    if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] != '/')
        GTEST_SKIP() << "this user has no home in the password database";
    const std::string passwdHome = user->pw_dir;
    const char* const names[2] = {"XDG_CONFIG_HOME", "HOME"};
    std::optional<std::string> saved[2];
    auto set = [&](int i, const char* value) {
        value != nullptr ? ::setenv(names[i], value, 1) : ::unsetenv(names[i]);
    };
    for (int i = 0; i < 2; ++i)
        if (const char* value = std::getenv(names[i]))
            saved[i] = value;

    set(0, "relative/config");
    set(1, "/home/someone");
    EXPECT_EQ(CSettingsStore::DefaultFolder(), "/home/someone/.config/Veldmark Software");
    set(0, nullptr);
    for (const char* home : {static_cast<const char*>(nullptr), "relative"}) {
        set(1, home);
        EXPECT_EQ(CSettingsStore::DefaultFolder(), passwdHome + "/.config/Veldmark Software");
    }
    for (int i = 0; i < 2; ++i)
        set(i, saved[i] ? saved[i]->c_str() : nullptr);
}

} // namespace
