// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/StringList.h"

#include <string>

/// Turns a selection (one file, one folder, or a folder tree) into the ordered list
/// of files a test takes. Entries keep the directory's own listing order; nothing is
/// sorted or de-duplicated.
///
/// Only regular files, and links to regular files, are collected: a named pipe,
/// socket or device would block or never end when read. Sub-folders are entered
/// only when they are real directories (never links) whose names do not begin
/// with "."; a folder that cannot be listed contributes nothing and stops nothing.
class CFileEnumerator {
public:
    /// Appends the files directly inside `folder` to `list`.
    static void AddFilesInFolder(StringList& list, const std::string& folder, bool htmlOnly);

    /// Appends the files of `folder`, then the whole subtree of each sub-folder,
    /// the last-listed sub-folder first.
    static void AddFilesInTree(StringList& list, const std::string& folder, bool htmlOnly);

    /// The files a test of `path` takes, in test order. Without `allFiles` the path
    /// itself is the one file, unfiltered; with it the path is a folder (one
    /// trailing "/" is dropped, but "/" stays "/"), walked as a tree when `recurse`
    /// is set. `recurse` without `allFiles` collects nothing.
    static StringList CollectFiles(const std::string& path, bool recurse, bool allFiles,
                                   bool htmlOnly);

    /// Checks a selected path as the Select File(s) command does before a test:
    /// without `allFiles` it must be a regular file that can be opened, with it an
    /// existing folder. Returns the message that refuses the path, or "" when it
    /// will do.
    static std::string CheckSelectedPath(const std::string& path, bool allFiles);

    static constexpr const char* kNoSuchFileMessage = "The specified file does not exist";
    static constexpr const char* kNoSuchFolderMessage =
        "The chosen directory does not exist\n\n(Your \"Test Other Files\" choice means you "
        "should\nspecify a valid directory path, NOT a file path)";

    /// The extension filter: true when the upper-cased whole path holds ".HTM",
    /// ".SHTM", ".HTML", ".SHTML" or ".ASP" with its first occurrence after the
    /// path's first character. Folder names count too ("site.htm/notes.txt").
    static bool MatchesHtmlPattern(const std::string& path);

    /// `folder` + "/" + `name`, without doubling the separator of the root.
    static std::string JoinPath(const std::string& folder, const std::string& name);

private:
    static void ListFolder(const std::string& folder, bool htmlOnly, StringList& files,
                           StringList* subFolders);
};
