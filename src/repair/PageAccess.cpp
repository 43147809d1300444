// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/PageAccess.h"

#include "base/CPosixFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a run waits for another that holds the same page, and how often it looks.
constexpr int kLockWaitMs = 10000;
constexpr int kLockPollMs = 20;
constexpr std::size_t kBlockSize = 64 * 1024;

void SleepMs(int ms) {
    timespec pause{0, static_cast<long>(ms) * 1000000L};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

} // namespace

PageAccess::ELock PageAccess::OpenLocked(const std::string& page, CPosixFile& file) {
    for (int waited = 0, turns = 0; turns < 1000; ++turns) {
        file = CPosixFile::OpenRegularForReading(page);
        if (!file.IsOpen())
            return ELock::Failed;
        if (::flock(file.Fd(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return ELock::Locked; // a file system without locks: as before, unlocked
            if (waited >= kLockWaitMs)
                break;
            file = CPosixFile();
            SleepMs(kLockPollMs);
            waited += kLockPollMs;
            continue;
        }
        // The run that held the lock may have put a new page in place meanwhile.
        struct stat held {};
        struct stat now {};
        if (::fstat(file.Fd(), &held) == 0 && ::stat(page.c_str(), &now) == 0 &&
            held.st_ino == now.st_ino && held.st_dev == now.st_dev)
            return ELock::Locked;
    }
    file = CPosixFile();
    return ELock::Busy;
}

bool PageAccess::LockReplacement(const std::string& tempPath, CPosixFile& file) {
    file = CPosixFile(::open(tempPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    // Nobody else knows the new file's name yet, so the lock is free, or there are none.
    return file.IsOpen() && (::flock(file.Fd(), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK);
}

bool PageAccess::MayRewrite(const std::string& path, const struct stat& st) {
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 || (st.st_mode & 0222) == 0)
        return false;
    const uid_t user = ::geteuid();
    if (user == 0)
        return true;
    if (st.st_uid != user)
        return false;
    if (st.st_gid == ::getegid())
        return true;
    gid_t groups[NGROUPS_MAX];
    const int count = ::getgroups(NGROUPS_MAX, groups);
    return std::find(groups, groups + std::max(count, 0), st.st_gid) != groups + std::max(count, 0);
}

std::string PageAccess::DigestOf(CPosixFile& file) {
    // OpenSSL's SHA-256 (already linked for TLS) uses the processor's SHA
    // instructions: ten times QCryptographicHash's pace here, which a repair of a
    // large page would feel.
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(),
                                                                     EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        ::lseek(file.Fd(), 0, SEEK_SET) != 0)
        return {};
    std::vector<char> block(kBlockSize);
    for (;;) {
        const ssize_t n = file.Read(block.data(), block.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        if (EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(n)) != 1)
            return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &size) != 1)
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i)
        hex.append({kHex[digest[i] >> 4], kHex[digest[i] & 15]});
    return hex;
}
