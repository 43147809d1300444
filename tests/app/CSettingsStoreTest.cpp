#include "app/CSettingsStore.h"

#include "TestUtil.h"

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

TEST_F(SettingsStoreTest, LivesInTheUsersConfigFolderAndKnowsWhenItIsNew) {
    EXPECT_EQ(m_store.FilePath(), m_dir.Path() + "/config/Veldmark Software/Linkvet.conf");
    EXPECT_EQ(m_store.IniFilePath(), m_dir.Path() + "/config/Veldmark Software/Linkvet.INI");

    CSettingsStore again;
    bool bCreated = true;
    EXPECT_TRUE(again.OpenBaseKey(&bCreated));
    EXPECT_FALSE(bCreated);
}

TEST_F(SettingsStoreTest, EmptyStoreGivesEveryDefault) {
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", "011"), "011");
    EXPECT_EQ(m_store.GetString("XportSel", "Starter", "results.txt"), "results.txt");
}

TEST_F(SettingsStoreTest, NumbersAreDecimalTextAndReadAsPercentD) {
    ASSERT_TRUE(m_store.SetInt("Grid", "col0", -5));
    EXPECT_EQ(m_store.GetString("Grid", "col0", ""), "-5");
    EXPECT_EQ(m_store.GetInt("Grid", "col0", 0), -5);

    const std::pair<const char*, int> cases[] = {
        {"42abc", 42},
        {"  7", 7},
        {"+3", 3},
        {"-0", 0},
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

TEST_F(SettingsStoreTest, ReadsAcceptAtMost259BytesOfText) {
    std::string longest(259, 'x');
    ASSERT_TRUE(m_store.SetString("FileSel", "Starter", longest));
    EXPECT_EQ(m_store.GetString("FileSel", "Starter", "default"), longest);

    ASSERT_TRUE(m_store.SetString("FileSel", "Starter", longest + "x"));
    EXPECT_EQ(m_store.GetString("FileSel", "Starter", "default"), "default");
    ASSERT_TRUE(m_store.SetString("Settings", "Timeout", "1" + std::string(259, '0')));
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);
}

TEST_F(SettingsStoreTest, SectionsNamesAndValuesAreKeptByteForByte) {
    const std::string awkward[] = {
        "plain",       "with space ", " lead",       "a/b",           "a\\b",       "x=y",
        "semi;colon",  "com,ma",      "\"quoted\"",  "@at",           "General",    "%41",
        "line\nbreak", "tab\there",   "caf\xc3\xa9", "latin\xe9\xff", "[brackets]", "#hash",
    };
    for (const std::string& section : awkward)
        for (const std::string& name : {std::string("n"), section})
            for (const std::string& value : awkward)
                ASSERT_TRUE(m_store.SetString(section, name, value));

    CSettingsStore reader; // a fresh store: nothing comes from memory
    bool bCreated = true;
    ASSERT_TRUE(reader.OpenBaseKey(&bCreated));
    for (const std::string& section : awkward) {
        EXPECT_EQ(reader.GetString(section, "n", "?"), awkward[std::size(awkward) - 1]);
        EXPECT_EQ(reader.GetString(section, section, "?"), awkward[std::size(awkward) - 1]);
    }
    for (const std::string& value : awkward) {
        ASSERT_TRUE(m_store.SetString("Values", "v", value));
        EXPECT_EQ(reader.GetString("Values", "v", "?"), value);
    }
    // "a/b" is a name, not a path into another section.
    EXPECT_EQ(reader.GetString("a", "b", "none"), "none");
}

TEST_F(SettingsStoreTest, TextEndsAtItsFirstNul) {
    ASSERT_TRUE(m_store.SetString("S", "n", std::string("ab\0cd", 5)));
    EXPECT_EQ(m_store.GetString("S", "n", ""), "ab");
}

TEST_F(SettingsStoreTest, AWriteReplacesTheFileWhole) {
    ASSERT_TRUE(m_store.SetInt("Settings", "Timeout", 30));
    struct stat before {};
    ASSERT_EQ(::stat(m_store.FilePath().c_str(), &before), 0);
    ASSERT_TRUE(m_store.SetInt("Settings", "Timeout", 31));
    struct stat after {};
    ASSERT_EQ(::stat(m_store.FilePath().c_str(), &after), 0);
    // A new file renamed over the old one: a crash mid-write leaves either.
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 31);
}

TEST_F(SettingsStoreTest, CorruptFileKeepsItsReadableValuesAndTakesNewOnes) {
    std::string garbage = "[settings]\nfilter=000000011110000001000\n";
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    garbage += "\n[grid]\ncol0=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\n";
    WriteFile(m_store.FilePath(), garbage);
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", ""), "000000011110000001000");

    ASSERT_TRUE(m_store.SetInt("Settings", "Timeout", 20));
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 20);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", ""), "000000011110000001000");
    ASSERT_TRUE(m_store.SetInt("Settings", "Timeout", 21)); // now an ordinary file
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 21);
}

TEST(SettingsStoreFailureTest, UnusableStoreGivesDefaultsAndRefusesWrites) {
    CTempDir dir;
    CSettingsStore unopened;
    EXPECT_EQ(unopened.GetInt("Settings", "Timeout", 15), 15);
    EXPECT_FALSE(unopened.SetInt("Settings", "Timeout", 30));

    // The settings file's name is taken by a folder.
    MakeDir(dir / "cfg/Linkvet.conf");
    CSettingsStore blocked;
    bool bCreated = true;
    EXPECT_FALSE(blocked.OpenBaseKey(&bCreated, dir / "cfg"));
    EXPECT_FALSE(bCreated);
    EXPECT_EQ(blocked.GetString("Settings", "Filter", "d"), "d");
    EXPECT_FALSE(blocked.SetString("Settings", "Filter", "x"));

    // The folder cannot be made because a file stands in its way.
    WriteFile(dir / "file", "x");
    CSettingsStore noFolder;
    EXPECT_FALSE(noFolder.OpenBaseKey(&bCreated, dir / "file/sub"));
    EXPECT_FALSE(noFolder.SetInt("S", "n", 1));
}

TEST_F(SettingsStoreTest, ImportCopiesSectionsAndEntries) {
    Import("[Settings]\r\nTimeout=30\r\nFilter=000000000000000000001\r\n");
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 30);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", ""), "000000000000000000001");
}

TEST_F(SettingsStoreTest, ImportTrimsLinesButNotNamesOrValues) {
    Import("  [ Settings ]  \n"
           "Timeout = 30\n"
           "\tFilter=abc \t\n");
    EXPECT_EQ(m_store.GetString("Settings", "Timeout ", "none"), " 30");
    EXPECT_EQ(m_store.GetString("Settings", "Timeout", "none"), "none");
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout ", 0), 30);
    EXPECT_EQ(m_store.GetString("Settings", "Filter", "none"), "abc");
}

TEST_F(SettingsStoreTest, SectionsAndNamesIgnoreLetterCase) {
    Import("[settings]\ntimeout=30\nTIMEOUT=31\n");
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 31);
    ASSERT_TRUE(m_store.SetInt("SETTINGS", "timeout", 32));
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 32);
}

TEST_F(SettingsStoreTest, ImportHeaderRules) {
    Import("x=before any header\n"
           "[a]b]\n" // not a header: its first "]" is not its last character
           "k=in A\n"
           "[A]\n"
           "k=in A\n"
           "[a]b]=v\n" // an entry named "[a]b]"
           "; comment without an equals sign\n"
           "\n"
           "[[x]\n" // a header naming "[x"
           "k=in [x\n"
           "[]\n" // the base itself
           "k=in base\n"
           "[ ]\n"
           "j=also base\n");
    EXPECT_EQ(m_store.GetString("", "x", "dropped"), "dropped");
    EXPECT_EQ(m_store.GetString("A", "k", ""), "in A");
    EXPECT_EQ(m_store.GetString("A", "[a]b]", ""), "v");
    EXPECT_EQ(m_store.GetString("[x", "k", ""), "in [x");
    EXPECT_EQ(m_store.GetString("", "k", ""), "in base");
    EXPECT_EQ(m_store.GetString("", "j", ""), "also base");
}

TEST_F(SettingsStoreTest, ImportReadsLongLinesIn519BytePieces) {
    // The first piece holds no "=" and is ignored; the second, "=5", is an entry
    // with an empty name.
    std::string ini = "[S]\n" + std::string(519, 'a') + "=5\n" +
                      // a name of 515 bytes splits the value after its first 3 bytes
                      std::string(515, 'n') + "=123456\n";
    Import(ini);
    EXPECT_EQ(m_store.GetString("S", "", "none"), "5");
    EXPECT_EQ(m_store.GetString("S", std::string(515, 'n'), "none"), "123");
    EXPECT_EQ(m_store.GetString("S", "456", "none"), "none"); // "456" has no "="
}

TEST_F(SettingsStoreTest, MissingImportFileImportsNothing) {
    EXPECT_EQ(m_store.ImportIniFile(), 0);
    EXPECT_EQ(m_store.GetInt("Settings", "Timeout", 15), 15);
}

} // namespace
