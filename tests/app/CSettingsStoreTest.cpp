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
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using SettingsKeys::kSettingsFilter;
using SettingsKeys::kSettingsTimeout;

class SettingsStoreTest : public ::testing::Test {
protected:
    void Open() {
        bool bCreated = false;
        ASSERT_TRUE(m_store.OpenBaseKey(&bCreated));
        ASSERT_TRUE(bCreated);
    }

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

    std::set<std::string> FolderEntries() const {
        std::set<std::string> names;
        for (const auto& entry :
             std::filesystem::directory_iterator(CSettingsStore::DefaultFolder()))
            names.insert(entry.path().filename().string());
        return names;
    }

    CTempDir m_dir; // also moves XDG_CONFIG_HOME into the temporary folder
    CSettingsStore m_store;
};

TEST_F(SettingsStoreTest, NewStoreLivesInTheConfigFolderAndGivesDefaults) {
    FirstRun(m_store); // no import file
    EXPECT_EQ(StorePath(), m_dir.Path() + "/config/Veldmark Software/Linkvet.conf");
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 15);
    EXPECT_EQ(m_store.Get(SettingsKeys::kXportSelStarter), "results.txt");

    CSettingsStore again;
    FirstRun(again, false);
}

TEST_F(SettingsStoreTest, NumbersAreDecimalTextAndReadAsPercentD) {
    Open();
    ASSERT_TRUE(m_store.SetInt("Grid", "col0", -5));
    EXPECT_EQ(m_store.GetString("Grid", "col0", ""), "-5");
    const std::pair<const char*, int> cases[] = {
        {"42abc", 42},
        {"  +7", 7},
        {"abc", 99},
        {"-", 99},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 99},
        {"99999999999999999999", 99},
    };
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

TEST_F(SettingsStoreTest, ImportTrimsLinesButNotNamesOrValuesAndIgnoresCase) {
    Import("  [ settings ]  \r\n"
           "Timeout = 30\r\n"
           "\tFilter=000000000000000000001 \t\r\n"
           "filter=000000000000000000011\n");
    EXPECT_EQ(m_store.GetString("Settings", "Timeout ", "none"), " 30");
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 15);
    EXPECT_EQ(m_store.Get(kSettingsFilter), "000000000000000000011");
}

TEST_F(SettingsStoreTest, ImportHeaderRules) {
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
           "k=in base\n");
    EXPECT_EQ(m_store.GetString("", "x", "dropped"), "dropped");
    EXPECT_EQ(m_store.GetString("A", "k", ""), "in A");
    EXPECT_EQ(m_store.GetString("A", "[a]b]", ""), "v");
    EXPECT_EQ(m_store.GetString("[x", "k", ""), "in [x");
    EXPECT_EQ(m_store.GetString("", "k", ""), "in base");
}

TEST_F(SettingsStoreTest, ImportReadsLongLinesIn519BytePieces) {
    // The first piece holds no "=" and is ignored; the second, "=5", is an entry
    // with an empty name. A 515-byte name leaves room for 3 bytes of its value.
    Import("[S]\n" + std::string(519, 'a') + "=5\n" + std::string(515, 'n') + "=123456\n");
    EXPECT_EQ(m_store.GetString("S", "", "none"), "5");
    EXPECT_EQ(m_store.GetString("S", std::string(515, 'n'), "none"), "123");

    // Only a line feed ends a line: a line of a mebibyte, then a file whose lines
    // end in a carriage return alone, each piece cut where 519 bytes end.
    std::string bytes = "[S]\nk=" + std::string(1 << 20, 'v') + std::string("\nz=a\0b\n", 7);
    for (int i = 0; i < 300; ++i)
        bytes += "a=1\r";
    std::vector<std::string> entries;
    CSettingsStore::ParseIni(bytes,
                             [&](std::string_view, std::string_view name, std::string_view value) {
                                 entries.push_back(std::string(name) + "=" + std::string(value));
                             });
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], "k=" + std::string(517, 'v'));
    EXPECT_EQ(entries[1], "z=a");
    EXPECT_EQ(entries[2].size(), 519u);
    EXPECT_EQ(entries[3].substr(0, 2), "a="); // its piece began with a "\r", trimmed away
    EXPECT_EQ(entries[4].substr(0, 4), "1\ra=");
}

TEST_F(SettingsStoreTest, ImportReadsOnlyARegularFileOfSaneSize) {
    const std::string ini = "[Settings]\nTimeout=30\n";
    MakeDir(CSettingsStore::DefaultFolder());
    WriteFile(IniPath(), ini + std::string(CSettingsStore::kMaxImportSize - ini.size(), ';'));
    FirstRun(m_store);
    EXPECT_EQ(m_store.Get(kSettingsTimeout), 30); // at the limit: imported

    auto expectNoImport = [this](const char* what) {
        ASSERT_EQ(::unlink(StorePath().c_str()), 0);
        CSettingsStore store;
        FirstRun(store);
        EXPECT_EQ(store.Get(kSettingsTimeout), 15) << what;
    };
    WriteFile(IniPath(), ini + std::string(CSettingsStore::kMaxImportSize, ';'));
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
    // A run interrupted before its store is in place leaves no store, and its
    // leftovers are none either.
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
    EXPECT_EQ(FolderEntries().size(), 4u) << "import file, store, the interrupted runs' leftovers";

    WriteFile(IniPath(), "[Settings]\nTimeout=60\n"); // later runs import nothing
    CSettingsStore later;
    FirstRun(later, false);
    EXPECT_EQ(later.Get(kSettingsTimeout), 45);
}

// Sets or clears an environment variable for one scope.
class CScopedEnv {
public:
    explicit CScopedEnv(const char* name) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
    }
    ~CScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;
    void Set(const char* value) {
        if (value != nullptr)
            ::setenv(m_name, value, 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(SettingsFolderTest, RelativeOrMissingFoldersFallBackToTheUsersHome) {
    const passwd* user = ::getpwuid(::getuid());
    if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] != '/')
        GTEST_SKIP() << "this user has no home in the password database";
    const std::string passwdHome = user->pw_dir;
    CScopedEnv config("XDG_CONFIG_HOME");
    CScopedEnv home("HOME");

    config.Set("/abs/config");
    EXPECT_EQ(CSettingsStore::DefaultFolder(), "/abs/config/Veldmark Software");
    config.Set("relative/config");
    home.Set("/home/someone");
    EXPECT_EQ(CSettingsStore::DefaultFolder(), "/home/someone/.config/Veldmark Software");
    config.Set(nullptr);
    home.Set(nullptr);
    EXPECT_EQ(CSettingsStore::DefaultFolder(), passwdHome + "/.config/Veldmark Software");
    home.Set("relative");
    EXPECT_EQ(CSettingsStore::DefaultFolder(), passwdHome + "/.config/Veldmark Software");
}

} // namespace
