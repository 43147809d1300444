// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

/// The one writer of files that replace or create a file whole: at every
/// instant the path holds the old file or the complete new one, never a part.
///
/// A new file is written under a unique temporary name in the same folder
/// (".linkvet-tmp-" and random letters and digits: no page pattern, no backup
/// and no settings name matches it), every write checked, flushed to disk,
/// then renamed over the old file (EReplace::Replace) or linked in where
/// nothing stands (EReplace::NoReplace), and the folder is synced. A failure
/// at any step, or an object destroyed before its commit, leaves the old file
/// whole and no temporary file behind.
///
/// Replace follows a symbolic link at the path (the link's target is written
/// and the link stays), and writes a path that exists and is not a regular
/// file (a device, a pipe) directly, since renaming over it would replace it;
/// a pipe without a reader is refused rather than waited on.
class CAtomicFile {
public:
    enum class EReplace { Replace, NoReplace };
    /// How the new file's permission bits are chosen.
    enum class EMode {
        /// Those (and the owner, where this process may set it) of the file it
        /// replaces; where none stood, `mode` less the umask, as open(2) gives.
        Inherit,
        /// Exactly `mode`, whatever stood there (a copy that keeps its original's).
        Exact,
    };
    enum class ECommit {
        Done,
        /// NoReplace only: a file took the name first; it is left as it is.
        NameTaken,
        Failed,
    };

    CAtomicFile() = default;
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    /// Starts the new file for `path` (bytes, as the system takes them). False
    /// when its temporary file cannot be made, or the device or pipe there
    /// cannot be opened.
    bool Open(const std::string& path, EReplace replace, mode_t mode, EMode how = EMode::Inherit);

    /// Appends `bytes`; false when the write fails, and the commit then fails too.
    bool Write(std::string_view bytes);

    /// Gives the new file the extended attribute `name` before it takes its
    /// name, so a file under that name never lacks it. False (with errno) when
    /// the file system keeps no such attributes or refuses this one.
    bool SetAttribute(const char* name, std::string_view value);

    /// The temporary file's name, for a writer that fills it by name (QSettings).
    /// Such a writer may replace the file under that name; the commit puts in
    /// place whatever regular file then stands there. Empty for a device or pipe.
    const std::string& TempPath() const { return m_strTemp; }

    /// Puts the new file in place; once only.
    ECommit Commit();

    /// True when `fileName` (without its folder) is one this writer gives its
    /// temporary files, or one derived from such a name.
    static bool IsTempName(std::string_view fileName);

private:
    ECommit PutInPlace();
    void Discard();

    int m_fd = -1;
    std::string m_strPath; // what the new file replaces: a link's target, not the link
    std::string m_strTemp; // empty when writing a device or a pipe directly
    EReplace m_replace = EReplace::Replace;
    EMode m_how = EMode::Inherit;
    mode_t m_mode = 0;
    bool m_bFailed = false;
};
