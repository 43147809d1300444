#include "engine/CFileEnumerator.h"

#include "TestUtil.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

    // Within one folder: the listing order, with no sorting of our own.
    StringList flat;
    CFileEnumerator::AddFilesInFolder(flat, root, false);
    StringList expectedFlat;
    for (const std::string& name : Listed(root))
        if (!IsFolder(root + "/" + name))
            expectedFlat.push_back(root + "/" + name);
    EXPECT_EQ(flat, expectedFlat);
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
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string sockPath = root + "/sock.htm";
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);

    StringList all = Tree(root);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (StringList{root + "/.hidden-file", root + "/link.htm", root + "/no-extension",
                               root + "/page.htm"}));
    ::close(sock);
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

TEST(FileEnumeratorTest, MissingOrEmptyFolderGivesNothing) {
    CTempDir dir;
    MakeDir(dir / "empty");
    EXPECT_TRUE(Tree(dir / "empty").empty());
    EXPECT_TRUE(Tree(dir / "missing").empty());
    WriteFile(dir / "file.htm", "x");
    EXPECT_TRUE(Tree(dir / "file.htm").empty()); // a file is no folder
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
    EXPECT_EQ(CFileEnumerator::JoinPath("/", "etc"), "/etc");
    EXPECT_EQ(CFileEnumerator::JoinPath("/srv", "a.htm"), "/srv/a.htm");
}

TEST(FileEnumeratorTest, SelectedPathIsCheckedLikeTheSelectCommand) {
    CTempDir dir;
    WriteFile(dir / "page.htm", "x");
    MakeDir(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);

    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "page.htm", false), "");
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "folder", true), "");
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "folder/", true), "");

    const std::string noFile = CFileEnumerator::kNoSuchFileMessage;
    const std::string noFolder = CFileEnumerator::kNoSuchFolderMessage;
    EXPECT_EQ(noFile, "The specified file does not exist");
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "folder", false), noFile);
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "pipe", false), noFile); // never blocks
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "missing", false), noFile);
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath("", false), noFile);
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "page.htm", true), noFolder);
    EXPECT_EQ(CFileEnumerator::CheckSelectedPath(dir / "missing", true), noFolder);
}

} // namespace
