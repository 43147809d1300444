// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CFileEnumerator.h"

#include "base/AsciiText.h"
#include "base/CPosixFile.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

enum class EntryKind { Other, File, Folder };

EntryKind Classify(int dirFd, const dirent* entry) {
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::Other;
        if (S_ISREG(st.st_mode))
            return EntryKind::File;
        if (S_ISDIR(st.st_mode))
            return EntryKind::Folder;
        type = S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
    }
    switch (type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK: {
        // A link counts as the regular file it points to; a link to a folder is
        // neither collected nor entered.
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            return EntryKind::File;
        return EntryKind::Other;
    }
    default:
        return EntryKind::Other;
    }
}

} // namespace

std::string CFileEnumerator::JoinPath(const std::string& folder, const std::string& name) {
    if (folder == "/")
        return folder + name;
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder).append(1, '/').append(name);
    return path;
}

bool CFileEnumerator::MatchesHtmlPattern(const std::string& path) {
    static const char* const kPatterns[] = {".HTM", ".SHTM", ".HTML", ".SHTML", ".ASP"};
    const std::string upper = AsciiText::ToUpper(path);
    return std::any_of(std::begin(kPatterns), std::end(kPatterns), [&](const char* pattern) {
        std::size_t at = upper.find(pattern);
        return at != std::string::npos && at > 0;
    });
}

void CFileEnumerator::ListFolder(const std::string& folder, bool htmlOnly, StringList& files,
                                 StringList* subFolders) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    int dirFd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr)
            break; // the end, or a listing error: keep what was listed
        EntryKind kind = Classify(dirFd, entry);
        if (kind == EntryKind::File) {
            std::string path = JoinPath(folder, entry->d_name);
            if (!htmlOnly || MatchesHtmlPattern(path))
                files.push_back(std::move(path));
        } else if (kind == EntryKind::Folder && subFolders != nullptr && entry->d_name[0] != '.') {
            subFolders->push_back(JoinPath(folder, entry->d_name));
        }
    }
}

void CFileEnumerator::AddFilesInFolder(StringList& list, const std::string& folder, bool htmlOnly) {
    ListFolder(folder, htmlOnly, list, nullptr);
}

void CFileEnumerator::AddFilesInTree(StringList& list, const std::string& folder, bool htmlOnly) {
    // Depth first without recursion, so a deeply nested tree cannot exhaust the
    // stack and only one folder is open at a time. Sub-folders go onto the stack
    // in listing order, so the last-listed one is walked first.
    std::vector<std::string> pending{folder};
    StringList subFolders;
    while (!pending.empty()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        subFolders.clear();
        ListFolder(current, htmlOnly, list, &subFolders);
        for (std::string& sub : subFolders)
            pending.push_back(std::move(sub));
    }
}

StringList CFileEnumerator::CollectFiles(const std::string& path, bool recurse, bool allFiles,
                                         bool htmlOnly) {
    StringList list;
    if (!allFiles) {
        if (!recurse)
            list.push_back(path);
        return list;
    }
    std::string folder = path;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (recurse)
        AddFilesInTree(list, folder, htmlOnly);
    else
        AddFilesInFolder(list, folder, htmlOnly);
    return list;
}

std::string CFileEnumerator::CheckSelectedPath(const std::string& path, bool allFiles) {
    if (allFiles)
        return CPosixFile::IsEnterableDirectory(path) ? std::string() : kNoSuchFolderMessage;
    return CPosixFile::OpenRegularForReading(path).IsOpen() ? std::string() : kNoSuchFileMessage;
}
