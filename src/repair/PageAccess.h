// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/stat.h>

class CPosixFile;

/// What a repair and a restore both need to rewrite a page safely, kept in one
/// place so that the two follow one protocol: the page's lock, whether this user
/// may rewrite it, and the digest that records what a repair wrote.
namespace PageAccess {

enum class ELock {
    Locked,
    /// Another run held the page for longer than a run waits.
    Busy,
    /// The page cannot be opened (or is no regular file).
    Failed,
};

/// Opens `page` (a path with its symbolic links resolved) for reading into
/// `file` and takes its exclusive lock, waiting up to 10 seconds for another
/// run that holds it. A run that held it may have put a new page in place
/// meanwhile: the lock is taken again on whatever file then has the name. On a
/// file system without locks the page is opened unlocked.
ELock OpenLocked(const std::string& page, CPosixFile& file);

/// Takes the lock of a page's replacement before it takes the page's name, so
/// that the new page is locked from the moment it is there.
bool LockReplacement(const std::string& tempPath, CPosixFile& file);

/// Whether this process may write the page `st` describes and give its new copy
/// the same owner and group, as a rename puts a file of its own in its place. A
/// page nobody may write stays so, also for the superuser.
bool MayRewrite(const std::string& path, const struct stat& st);

/// The SHA-256 of the bytes of `file` from its start, in lower-case hex; "" when
/// it cannot be read.
std::string DigestOf(CPosixFile& file);

} // namespace PageAccess
