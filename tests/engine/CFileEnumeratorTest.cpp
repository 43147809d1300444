#include "engine/CFileEnumerator.h"

#include "support/TestUtil.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

// The names of a folder in the order the system lists them.
std::vector<std::string> Listed(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir))
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What the walk must give, written the slow and obvious way: each folder's files
// in listing order, then the sub-folders' trees, the last-listed one first.
void ExpectedTree(const std::string& folder, StringList& out) {
    std::vector<std::string> subs;
    for (const std::string& name : Listed(folder)) {
        std::string path = folder + "/" + name;
        if (!IsFolder(path))
            out.push_back(path);
        else
            subs.push_back(path);
    }
    for (auto it = subs.rbegin(); it != subs.rend(); ++it)
        ExpectedTree(*it, out);
}

StringList Tree(const std::string& folder, bool htmlOnly = false) {
    StringList list;
    CFileEnumerator::AddFilesInTree(list, folder, htmlOnly);
    return list;
}

TEST(FileEnumeratorTest, TreeOrderIsFilesFirstThenSubFoldersLastListedFirst) {
    CTempDir dir;
    std::string root = dir / "site";
    for (const char* file : {"a.htm", "b.htm", "X/x.htm", "Y/y.htm", "Y/Z/z.htm", "Y/W/w.htm",
                             "A/1.htm", "B/2.htm", "B/C/3.htm"})
        WriteFile(root + "/" + file, "x");
    MakeDir(root + "/Empty");

    StringList expected;
    ExpectedTree(root, expected);
    ASSERT_EQ(expected.size(), 9u);
    EXPECT_EQ(Tree(root), expected);

    // One folder alone: its own files, in listing order, with no sorting of ours.
    StringList flat;
    CFileEnumerator::AddFilesInFolder(flat, root, false);
    EXPECT_EQ(flat, StringList(expected.begin(), expected.begin() + 2));
}

TEST(FileEnumeratorTest, ListsOnlyRegularFilesAndEntersOnlyRealVisibleFolders) {
    CTempDir dir;
    std::string root = dir / "site";
    WriteFile(root + "/page.htm", "x");
    WriteFile(root + "/.hidden-file", "x"); // hidden files are still files
    WriteFile(root + "/no-extension", "x");
    WriteFile(root + "/.svn/inside.htm", "x"); // never entered
    WriteFile(root + "/.hidden/inside.htm", "x");
    WriteFile(dir / "elsewhere/target.htm", "x");
    WriteFile(dir / "elsewhere/deeper/deep.htm", "x");
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (root + "/linked-folder").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "elsewhere/target.htm").c_str(), (root + "/link.htm").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "missing").c_str(), (root + "/dangling.htm").c_str()), 0);
    ASSERT_EQ(::mkfifo((root + "/pipe.htm").c_str(), 0600), 0);
    StringList all = Tree(root);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (StringList{root + "/.hidden-file", root + "/link.htm", root + "/no-extension",
                               root + "/page.htm"}));
}

TEST(FileEnumeratorTest, HtmlOnlySearchesTheWholeUpperCasedPath) {
    CTempDir dir;
    std::string root = dir / "site";
    for (const char* name : {"PAGE.HTML", "page.shtml", "page.Asp", "page.aspx", "index.htm.bak",
                             "page.php", "page.txt", "htm", "page.HTMX"})
        WriteFile(root + "/" + name, "x");
    WriteFile(root + "/notes.htm/readme.txt", "x"); // a folder whose name matches
    WriteFile(root + "/notes.htm/script.php", "x");

    StringList found = Tree(root, true);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (StringList{root + "/PAGE.HTML", root + "/index.htm.bak",
                                 root + "/notes.htm/readme.txt", root + "/notes.htm/script.php",
                                 root + "/page.Asp", root + "/page.HTMX", root + "/page.aspx",
                                 root + "/page.shtml"}));

    // Only the first occurrence of each pattern counts, and not at the start.
    EXPECT_FALSE(CFileEnumerator::MatchesHtmlPattern(".htm"));
    EXPECT_FALSE(CFileEnumerator::MatchesHtmlPattern(".htm/page.htm"));
    EXPECT_TRUE(CFileEnumerator::MatchesHtmlPattern(".htm/page.asp"));
    EXPECT_TRUE(CFileEnumerator::MatchesHtmlPattern("x.htm"));
    EXPECT_FALSE(CFileEnumerator::MatchesHtmlPattern("page.ht m"));
}

TEST(FileEnumeratorTest, CollectFilesFollowsTheSelection) {
    CTempDir dir;
    std::string root = dir / "site";
    WriteFile(root + "/a.htm", "x");
    WriteFile(root + "/sub/b.htm", "x");
    WriteFile(dir / "notes.txt", "x");

    // One file is taken as it is, even where the filter would refuse it.
    EXPECT_EQ(CFileEnumerator::CollectFiles(dir / "notes.txt", false, false, true),
              StringList{dir / "notes.txt"});
    // Sub-folders are only walked together with the folder's own files.
    EXPECT_TRUE(CFileEnumerator::CollectFiles(root, true, false, false).empty());
    EXPECT_EQ(CFileEnumerator::CollectFiles(root, false, true, false), StringList{root + "/a.htm"});
    EXPECT_EQ(CFileEnumerator::CollectFiles(root, true, true, false),
              (StringList{root + "/a.htm", root + "/sub/b.htm"}));
    // A trailing separator names the same folder, and makes the same paths.
    EXPECT_EQ(CFileEnumerator::CollectFiles(root + "/", true, true, false),
              CFileEnumerator::CollectFiles(root, true, true, false));
    // Empty, missing and non-folders give nothing.
    MakeDir(dir / "empty");
    for (const std::string& nothing : {dir / "empty", dir / "missing", dir / "notes.txt"})
        EXPECT_TRUE(Tree(nothing).empty()) << nothing;
    EXPECT_EQ(CFileEnumerator::JoinPath("/", "etc"), "/etc");
}

TEST(FileEnumeratorTest, SelectedPathIsCheckedLikeTheSelectCommand) {
    CTempDir dir;
    WriteFile(dir / "page.htm", "x");
    MakeDir(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);

    const std::string noFile = CFileEnumerator::kNoSuchFileMessage;
    const std::string noFolder = CFileEnumerator::kNoSuchFolderMessage;
    const std::tuple<std::string, bool, std::string> cases[] = {
        {dir / "page.htm", false, ""},      {dir / "folder/", true, ""},
        {dir / "folder", false, noFile},    {dir / "pipe", false, noFile}, // never blocks
        {dir / "missing", false, noFile},   {"", false, noFile},
        {dir / "page.htm", true, noFolder}, {dir / "missing", true, noFolder},
    };
    for (const auto& [path, bAllFiles, message] : cases)
        EXPECT_EQ(CFileEnumerator::CheckSelectedPath(path, bAllFiles), message) << path;
}

} // namespace
