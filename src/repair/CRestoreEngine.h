// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "repair/CRepairEngine.h"

#include <string>
#include <sys/stat.h>
#include <vector>

class CPosixFile;

/// Puts repaired pages back from their backups, as safely as a repair rewrote
/// them.
///
/// A page's backup is the one a repair keeps beside it ("stem.rep", else
/// "name.rep") and only when it is recorded as this page's; any other file under
/// those names is never used. A page is put back only when it still holds what
/// its last repair wrote (the SHA-256 recorded with the backup), or already
/// holds its backup's bytes, so an edit made since the repair is never lost
/// unless the caller forces it. The page is locked as a repair locks it, so a
/// repair and a restore never interleave; a symbolic link is followed (its
/// target is put back and the link stays); a page with other hard links, or one
/// this user may not rewrite, is left as it is. The backup's bytes replace the
/// page through CAtomicFile in one rename that keeps the page's mode and owner,
/// and only then are the backup and its notes removed, so a run killed at any
/// moment leaves the page old or new, and its backup until the page is back.
class CRestoreEngine {
public:
    enum class EResult {
        Restored, ///< put back (with bDryRun: would be)
        NothingToRestore,
        ForeignBackup,
        ChangedSinceRepair,
        Busy,
        HardLinked,
        NotWritable,
        Failed,
    };
    struct SOptions {
        bool bDryRun = false;
        bool bKeepBackups = false;
        bool bForce = false;
    };

    /// First %s the page's path, second %s the backup that is not its own.
    static constexpr const char* kForeignBackupFormat =
        "The backup beside the page\n%s\nis not recorded as that page's own, so it is not "
        "used:\n%s";
    static constexpr const char* kChangedFormat =
        "The page\n%s\nhas changed since it was repaired, and putting its backup back would "
        "lose\nthat change, so it is left as it is.";
    static constexpr const char* kBusyFormat =
        "Another repair or restore is working on the page\n%s\nTry again once it has finished.";
    static constexpr const char* kHardLinkedFormat =
        "The page\n%s\nhas other hard links, which putting it back would split from it,\nso it "
        "is left as it is.";
    static constexpr const char* kNotWritableFormat = CRepairEngine::kNotWritableFormat;
    static constexpr const char* kFailedFormat =
        "The page\n%s\ncould not be put back from its backup, so it is left as it was.";

    /// Puts `page` back from the backup recorded as its own; `message` says why
    /// not (for the user, one or more lines, naming the page). NothingToRestore
    /// (no backup beside the page) is no failure and says nothing.
    EResult RestorePage(const std::string& page, const SOptions& options,
                        std::string* message = nullptr);

private:
    // Puts the page at `target` (open and locked as `page`, described by `st`)
    // back from `backup`: Restored, ChangedSinceRepair or Failed.
    EResult PutBack(const std::string& target, CPosixFile& page, const struct stat& st,
                    const std::string& backup, const SOptions& options);
    bool SameBytes(CPosixFile& a, CPosixFile& b);

    // Blocks for copying and comparing, kept from page to page.
    std::vector<char> m_block = std::vector<char>(64 * 1024);
    std::vector<char> m_other = std::vector<char>(64 * 1024);
};
