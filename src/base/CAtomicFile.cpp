// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/CAtomicFile.h"

#include "base/CPosixFile.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr std::string_view kTempPrefix = ".linkvet-tmp-";
// As many links as the system itself follows before it calls it a loop.
constexpr int kMaxLinkHops = 40;

// The folder part of `path`, with its "/"; empty for a name in the current folder.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows the symbolic links at `path` to the file they lead to, which need
// not exist; false on a loop or a link that cannot be read.
bool ResolveLinks(std::string& path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size())
            return false; // changed while being read
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : FolderOf(path) + target;
    }
    errno = ELOOP;
    return false;
}

// Letters and digits only: no "." can make a page pattern or a backup's name of it.
std::string RandomName() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[12];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // The pool is not ready this early after boot: O_EXCL still keeps names apart.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                                  (static_cast<unsigned long long>(::getpid()) << 32);
        for (unsigned char& byte : bytes) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string name;
    for (unsigned char byte : bytes)
        name += kChars[byte % (sizeof kChars - 1)];
    return name;
}

// Makes a rename or link in the folder of `path` durable, not only the file's contents.
void SyncFolderOf(const std::string& path) {
    const std::string folder = FolderOf(path);
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

CAtomicFile::~CAtomicFile() {
    Discard();
}

bool CAtomicFile::IsTempName(std::string_view fileName) {
    return fileName.substr(0, kTempPrefix.size()) == kTempPrefix;
}

bool CAtomicFile::Open(const std::string& path, EReplace replace, mode_t mode, EMode how) {
    Discard();
    m_strPath = path;
    m_replace = replace;
    m_how = how;
    m_mode = mode & 07777;
    m_bFailed = false;
    if (replace == EReplace::Replace && !ResolveLinks(m_strPath))
        return false;
    struct stat st {};
    const bool bExists = ::stat(m_strPath.c_str(), &st) == 0;
    if (replace == EReplace::Replace && bExists && !S_ISREG(st.st_mode)) {
        m_fd = ::open(m_strPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        const int flags = m_fd >= 0 ? ::fcntl(m_fd, F_GETFL) : -1;
        if (flags >= 0)
            ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
        return m_fd >= 0;
    }
    // Until the commit gives it its mode, the new file shows nobody what the
    // file it replaces would not: only where none stands is it made with its
    // final mode at once, so that the umask applies as to any new file.
    const mode_t createMode = how == EMode::Inherit && !bExists ? m_mode : S_IRUSR | S_IWUSR;
    const std::string folder = FolderOf(m_strPath);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_strTemp = folder;
        m_strTemp.append(kTempPrefix).append(RandomName());
        m_fd = ::open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      createMode);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        m_strTemp.clear();
    return m_fd >= 0;
}

bool CAtomicFile::Write(std::string_view bytes) {
    if (m_fd < 0 || m_bFailed || !CPosixFile::WriteAll(m_fd, bytes.data(), bytes.size()))
        m_bFailed = true;
    return !m_bFailed;
}

bool CAtomicFile::SetAttribute(const char* name, std::string_view value) {
    if (m_fd < 0 || m_strTemp.empty()) {
        errno = EBADF;
        return false;
    }
    return ::fsetxattr(m_fd, name, value.data(), value.size(), 0) == 0;
}

CAtomicFile::ECommit CAtomicFile::Commit() {
    if (m_fd < 0)
        return ECommit::Failed;
    if (m_strTemp.empty()) { // a device or a pipe, written directly
        const bool bClosed = ::close(m_fd) == 0;
        m_fd = -1;
        return bClosed && !m_bFailed ? ECommit::Done : ECommit::Failed;
    }
    const ECommit result = m_bFailed ? ECommit::Failed : PutInPlace();
    Discard(); // the temporary file, unless it is in place now
    return result;
}

CAtomicFile::ECommit CAtomicFile::PutInPlace() {
    struct stat byFd {};
    struct stat byName {};
    if (::fstat(m_fd, &byFd) != 0 || ::lstat(m_strTemp.c_str(), &byName) != 0 ||
        !S_ISREG(byName.st_mode))
        return ECommit::Failed;
    if (byFd.st_ino != byName.st_ino || byFd.st_dev != byName.st_dev) {
        // Filled by name: the file that holds the bytes is the one there now.
        const int fd = ::open(m_strTemp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return ECommit::Failed;
        ::close(m_fd);
        m_fd = fd;
    }
    struct stat old {};
    if (m_how == EMode::Exact) {
        if (::fchmod(m_fd, m_mode) != 0)
            return ECommit::Failed;
    } else if (m_replace == EReplace::Replace && ::stat(m_strPath.c_str(), &old) == 0) {
        // The owner where this process may give it (a user may not give a file
        // away); the permission bits always, after it, as a change of owner
        // clears the set-id bits.
        [[maybe_unused]] const int chowned = ::fchown(m_fd, old.st_uid, old.st_gid);
        if (::fchmod(m_fd, old.st_mode & 07777) != 0)
            return ECommit::Failed;
    }
    const bool bSynced = ::fsync(m_fd) == 0;
    const bool bClosed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!bSynced || !bClosed)
        return ECommit::Failed;
    if (m_replace == EReplace::Replace) {
        if (::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0)
            return ECommit::Failed;
    } else if (::link(m_strTemp.c_str(), m_strPath.c_str()) == 0) {
        ::unlink(m_strTemp.c_str());
    } else if (errno == EEXIST) {
        return ECommit::NameTaken;
    } else if (::renameat2(AT_FDCWD, m_strTemp.c_str(), AT_FDCWD, m_strPath.c_str(),
                           RENAME_NOREPLACE) != 0) {
        // A file system without hard links: a rename that refuses to replace.
        return errno == EEXIST ? ECommit::NameTaken : ECommit::Failed;
    }
    m_strTemp.clear();
    SyncFolderOf(m_strPath);
    return ECommit::Done;
}

void CAtomicFile::Discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_strTemp.empty())
        ::unlink(m_strTemp.c_str());
    m_strTemp.clear();
}
