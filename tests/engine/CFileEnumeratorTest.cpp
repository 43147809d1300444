// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CFileEnumerator.h"

#include "support/TestUtil.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// What the walk must give, written the slow and obvious way: each folder's files
// in the order the system lists them, then the sub-folders' trees, the last-listed
// one first.
void ExpectedTree(const std::string& folder, StringList& out) {
    StringList subs;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        (entry.is_directory() ? subs : out).push_back(entry.path().string());
    for (auto it = subs.rbegin(); it != subs.rend(); ++it)
        ExpectedTree(*it, out);
}

StringList Tree(const std::string& folder, bool htmlOnly = false) {
    StringList list;
    CFileEnumerator::AddFilesInTree(list, folder, htmlOnly);
    std::sort(list.begin(), list.end());
    return list;
}

TEST(FileEnumeratorTest, TreeOrderIsFilesFirstThenSubFoldersLastListedFirst) {
    CTempDir dir;
    const std::string root = dir / "site";
    for (const char* file : {"a.htm", "b.htm", "X/x.htm", "Y/y.htm", "Y/Z/z.htm", "Y/W/w.htm",
                             "A/1.htm", "B/2.htm", "B/C/3.htm"})
        WriteFile(root + "/" + file, "x");
    MakeDir(root + "/Empty");
    StringList expected;
    ExpectedTree(root, expected);
    ASSERT_EQ(expected.size(), 9u);
    // A trailing "/" names the same folder and makes the same paths.
    EXPECT_EQ(CFileEnumerator::CollectFiles(root + "/", true, true, false), expected);
    // One folder alone: its own files, in listing order, with no sorting of ours.
    EXPECT_EQ(CFileEnumerator::CollectFiles(root, false, true, false),
              StringList(expected.begin(), expected.begin() + 2));
    // Sub-folders are only walked together with the folder's own files.
    EXPECT_TRUE(CFileEnumerator::CollectFiles(root, true, false, false).empty());
    EXPECT_TRUE(Tree(dir / "missing").empty());
    EXPECT_EQ(CFileEnumerator::JoinPath("/", "etc"), "/etc");
}

TEST(FileEnumeratorTest, TakesOnlyRegularFilesAndEntersOnlyRealVisibleFolders) {
    CTempDir dir;
    const std::string root = dir / "site";
    for (const char* file : {"page.htm", ".hidden-file", "no-extension", ".svn/inside.htm",
                             "../elsewhere/target.htm", "../elsewhere/deeper/deep.htm"})
        WriteFile(root + "/" + file, "x");
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (root + "/linked-folder").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "elsewhere/target.htm").c_str(), (root + "/link.htm").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "missing").c_str(), (root + "/dangling.htm").c_str()), 0);
    ASSERT_EQ(::mkfifo((root + "/pipe.htm").c_str(), 0600), 0);
    EXPECT_EQ(Tree(root), (StringList{root + "/.hidden-file", root + "/link.htm",
                                      root + "/no-extension", root + "/page.htm"}));

    // A selected path is checked as the Select command checks it.
    const std::string noFile = CFileEnumerator::kNoSuchFileMessage;
    const std::tuple<std::string, bool, std::string> cases[] = {
        {root + "/page.htm", false, ""},
        {root + "/", true, ""},
        {root, false, noFile},               // a folder only with all its files
        {root + "/pipe.htm", false, noFile}, // never blocks
        {"", false, noFile},
        {dir / "missing", true, CFileEnumerator::kNoSuchFolderMessage}};
    for (const auto& [path, bAllFiles, message] : cases)
        EXPECT_EQ(CFileEnumerator::CheckSelectedPath(path, bAllFiles), message) << path;
}

TEST(FileEnumeratorTest, HtmlOnlySearchesTheWholeUpperCasedPath) {
    CTempDir dir;
    const std::string root = dir / "site";
    for (const char* name : {"PAGE.HTML", "page.shtml", "page.Asp", "page.aspx", "index.htm.bak",
                             "page.php", "htm", "page.HTMX", "notes.htm/readme.txt"})
        WriteFile(root + "/" + name, "x");
    EXPECT_EQ(Tree(root, true),
              (StringList{root + "/PAGE.HTML", root + "/index.htm.bak",
                          root + "/notes.htm/readme.txt", root + "/page.Asp", root + "/page.HTMX",
                          root + "/page.aspx", root + "/page.shtml"}));
    // Only the first occurrence of each pattern counts, and not at the start.
    EXPECT_FALSE(CFileEnumerator::MatchesHtmlPattern(".htm/page.htm"));
    EXPECT_TRUE(CFileEnumerator::MatchesHtmlPattern(".htm/page.asp"));
}

} // namespace
