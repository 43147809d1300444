// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/CRestoreEngine.h"

#include "base/AsciiText.h"
#include "base/CAtomicFile.h"
#include "base/CPosixFile.h"
#include "repair/PageAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using EResult = CRestoreEngine::EResult;

// The names a repair gives the backup of the page at `target`, in its order.
std::vector<std::string> BackupNamesOf(const std::string& target) {
    std::vector<std::string> names;
    for (const std::string& name : {CRepairEngine::BackupPathOf(target), target + ".rep"})
        if (name != target)
            names.push_back(name);
    return names;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// `backup`, beside the page's target, as the user would name it: beside `page`
// as given, unless that is a link.
std::string BesidePage(const std::string& page, const std::string& backup) {
    struct stat st {};
    if (::lstat(page.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return backup;
    const std::size_t folder = page.size() - CRepairEngine::FileNameOf(page).size();
    return page.substr(0, folder) + CRepairEngine::FileNameOf(backup);
}

void RemoveBackup(const std::string& backup) {
    // Its records first: a backup without them is nobody's and never used, while
    // a note without its backup would speak for any file that later takes its name.
    for (const std::string& path :
         {CRepairEngine::RecordNotePathOf(backup), CRepairEngine::NotePathOf(backup), backup})
        ::unlink(path.c_str());
}

} // namespace

CRestoreEngine::EResult CRestoreEngine::RestorePage(const std::string& page,
                                                    const SOptions& options, std::string* message) {
    auto refuse = [&](EResult result, const char* format, const std::string& second = {}) {
        if (message != nullptr)
            *message = AsciiText::Fill(format, page, second);
        return result;
    };
    if (message != nullptr)
        message->clear();
    // A linked page was repaired where the link leads, its backup beside it.
    char* real = ::realpath(page.c_str(), nullptr);
    if (real == nullptr)
        return errno == ENOENT ? EResult::NothingToRestore : refuse(EResult::Failed, kFailedFormat);
    const std::string target = real;
    std::free(real);
    const std::vector<std::string> names = BackupNamesOf(target);
    // Most pages of a site have no backup: they are not locked to learn it.
    if (std::none_of(names.begin(), names.end(), Exists))
        return EResult::NothingToRestore;

    CPosixFile locked;
    switch (PageAccess::OpenLocked(target, locked)) {
    case PageAccess::ELock::Busy:
        return refuse(EResult::Busy, kBusyFormat);
    case PageAccess::ELock::Failed:
        return refuse(EResult::Failed, kFailedFormat);
    case PageAccess::ELock::Locked:
        break;
    }
    // Looked for again under the lock: a repair may have made one meanwhile.
    std::string backup;
    std::string foreign;
    for (const std::string& name : names) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode) &&
            CRepairEngine::IsBackupOf(name, CRepairEngine::FileNameOf(target))) {
            backup = name;
            break;
        }
        // Another page's own backup, that page beside it ("index.rep" of
        // "index.html" beside "index.htm"), is that page's business.
        const std::optional<std::string> owner = CRepairEngine::PageRecordOf(name);
        struct stat ownerSt {};
        if (owner && !owner->empty() && owner->find('/') == std::string::npos &&
            ::stat((name.substr(0, name.size() - CRepairEngine::FileNameOf(name).size()) + *owner)
                       .c_str(),
                   &ownerSt) == 0)
            continue;
        if (foreign.empty())
            foreign = BesidePage(page, name);
    }
    if (backup.empty())
        return foreign.empty() ? EResult::NothingToRestore
                               : refuse(EResult::ForeignBackup, kForeignBackupFormat, foreign);

    struct stat st {};
    if (::fstat(locked.Fd(), &st) != 0)
        return refuse(EResult::Failed, kFailedFormat);
    if (st.st_nlink > 1)
        return refuse(EResult::HardLinked, kHardLinkedFormat);
    if (!PageAccess::MayRewrite(target, st))
        return refuse(EResult::NotWritable, kNotWritableFormat);
    switch (const EResult result = PutBack(target, locked, st, backup, options)) {
    case EResult::ChangedSinceRepair:
        return refuse(result, kChangedFormat);
    case EResult::Restored:
        return result;
    default:
        return refuse(EResult::Failed, kFailedFormat);
    }
}

CRestoreEngine::EResult CRestoreEngine::PutBack(const std::string& target, CPosixFile& page,
                                                const struct stat& st, const std::string& backup,
                                                const SOptions& options) {
    CPosixFile copy = CPosixFile::OpenRegularForReading(backup);
    if (!copy.IsOpen())
        return EResult::Failed;
    // A page as its last repair wrote it loses nothing; nor does one that holds
    // its backup's bytes already (put back by a run stopped before it removed
    // the backup).
    bool bAsBackup = false;
    if (!options.bForce) {
        const std::string record = CRepairEngine::RepairRecordOf(backup);
        if (record.empty() || record != PageAccess::DigestOf(page)) {
            bAsBackup = SameBytes(page, copy);
            if (!bAsBackup)
                return EResult::ChangedSinceRepair;
        }
    }
    if (options.bDryRun)
        return EResult::Restored;
    // Locked from the moment it is back until its backup is gone, so that a
    // repair never takes for its own a backup about to be removed.
    CPosixFile newPage;
    if (!bAsBackup) {
        CAtomicFile file;
        bool bOk = file.Open(target, CAtomicFile::EReplace::Replace, st.st_mode) &&
                   ::lseek(copy.Fd(), 0, SEEK_SET) == 0;
        for (ssize_t n = 1; bOk && n > 0;) {
            n = copy.Read(m_block.data(), m_block.size());
            bOk =
                n >= 0 && file.Write(std::string_view(m_block.data(), static_cast<std::size_t>(n)));
        }
        if (!bOk || !PageAccess::LockReplacement(file.TempPath(), newPage) ||
            file.Commit() != CAtomicFile::ECommit::Done)
            return EResult::Failed;
    }
    if (!options.bKeepBackups)
        RemoveBackup(backup);
    return EResult::Restored;
}

bool CRestoreEngine::SameBytes(CPosixFile& a, CPosixFile& b) {
    struct stat sa {};
    struct stat sb {};
    if (::fstat(a.Fd(), &sa) != 0 || ::fstat(b.Fd(), &sb) != 0 || sa.st_size != sb.st_size ||
        ::lseek(a.Fd(), 0, SEEK_SET) != 0 || ::lseek(b.Fd(), 0, SEEK_SET) != 0)
        return false;
    for (;;) {
        const ssize_t n = a.Read(m_block.data(), m_block.size());
        if (n <= 0)
            return n == 0 && b.Read(m_other.data(), 1) == 0;
        for (ssize_t got = 0; got < n;) {
            const ssize_t more = b.Read(m_other.data() + got, static_cast<std::size_t>(n - got));
            if (more <= 0)
                return false;
            got += more;
        }
        if (std::memcmp(m_block.data(), m_other.data(), static_cast<std::size_t>(n)) != 0)
            return false;
    }
}
