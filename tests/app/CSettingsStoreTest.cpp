#include "app/CSettingsStore.h"

#include "support/TestUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        bool bCreated = false;
        ASSERT_TRUE(m_store.OpenBaseKey(&bCreated));
        ASSERT_TRUE(bCreated);
    }

    // The import file sits beside the settings file.
    void Import(const std::string& ini) {
        WriteFile(m_store.IniFilePath(), ini);
        m_store.ImportIniFile();
    }

    CTempDir m_dir; // also moves XDG_CONFIG_HOME into the temporary folder
    CSettingsStore m_store;
};

TEST_F(SettingsStoreTest, NewStoreLivesInTheConfigFolderAndGivesDefaults) {
    EXPECT_EQ(m_store.FilePath(), m_dir.Path() + "/config/Veldmark Software/Linkvet.conf");
    EXPECT_EQ(m_store.ImportIniFile(), 0); // no import file
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);
    EXPECT_EQ(m_store.GetString("XportSel", "Starter", "results.txt"), "results.txt");

    CSettingsStore again;
    bool bCreated = true;
    EXPECT_TRUE(again.OpenBaseKey(&bCreated));
    EXPECT_FALSE(bCreated);
}

TEST_F(SettingsStoreTest, NumbersAreDecimalTextAndReadAsPercentD) {
    ASSERT_TRUE(m_store.SetInt("Grid", "col0", -5));
    EXPECT_EQ(m_store.GetString("Grid", "col0", ""), "-5");
    const std::pair<const char*, int> cases[] = {
        {"42abc", 42},
        {"  7", 7},
        {"+3", 3},
        {"abc", 99},
        {"", 99},
        {"-", 99},
        {"2147483647", 2147483647},
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
    const std::string awkward[] = {" lead and trail ",
                                   "a/b\\c",
                                   "x=y;z,w",
                                   "\"q\"",
                                   "@at",
                                   "%41",
                                   "line\nbreak\r",
                                   "caf\xc3\xa9",
                                   "latin\xe9\xff",
                                   std::string(259, 'x')};
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
    std::string garbage = "[settings]\nfilter=000000011110000001000\n";
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    garbage += "\n[grid]\ncol0=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\n";
    WriteFile(m_store.FilePath(), garbage);
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);

    struct stat before {};
    ASSERT_EQ(::stat(m_store.FilePath().c_str(), &before), 0);
    ASSERT_TRUE(m_store.SetInt("Settings", "Timeout", 20));
    struct stat after {};
    ASSERT_EQ(::stat(m_store.FilePath().c_str(), &after), 0);
    // A new file renamed over the old one: a crash mid-write leaves either.
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 20);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", ""), "000000011110000001000");
}

TEST(SettingsStoreFailureTest, UnusableStoreGivesDefaultsAndRefusesWrites) {
    CTempDir dir;
    CSettingsStore unopened;
    EXPECT_FALSE(unopened.SetInt("Settings", "Timeout", 30));

    MakeDir(dir / "cfg/Linkvet.conf"); // a folder holds the file's name
    WriteFile(dir / "file", "x");      // a file stands where a folder must be
    for (const std::string& folder : {dir / "cfg", dir / "file/sub"}) {
        CSettingsStore store;
        bool bCreated = true;
        EXPECT_FALSE(store.OpenBaseKey(&bCreated, folder));
        EXPECT_FALSE(bCreated);
        EXPECT_EQ(store.GetString("Settings", "Filter", "d"), "d");
        EXPECT_FALSE(store.SetString("Settings", "Filter", "x"));
    }
}

TEST_F(SettingsStoreTest, ImportTrimsLinesButNotNamesOrValuesAndIgnoresCase) {
    Import("  [ settings ]  \r\n"
           "Timeout = 30\r\n"
           "\tFilter=000000000000000000001 \t\r\n"
           "filter=000000000000000000011\n");
    EXPECT_EQ(m_store.GetString("Settings", "Timeout ", "none"), " 30");
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", "none"), "000000000000000000011");
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
}

} // namespace
