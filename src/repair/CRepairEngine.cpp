#include "repair/CRepairEngine.h"

#include "base/CPosixFile.h"
#include "engine/ISessionHost.h"
#include "results/CResultsModel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

// Puts `path` and `url` in place of the two "%s" of the not-found format.
std::string NotFoundText(const std::string& path, const std::string& url) {
    const std::string_view format = CRepairEngine::kNotFoundFormat;
    const std::size_t first = format.find("%s");
    const std::size_t second = format.find("%s", first + 2);
    std::string text(format.substr(0, first));
    text.append(path).append(format.substr(first + 2, second - first - 2));
    text.append(url).append(format.substr(second + 2));
    return text;
}

enum class EBackup { kMade, kExists, kFailed };

// Copies the open source to `backup`, which must not exist yet. A copy that
// fails part-way is removed: a backup is the whole page or nothing.
EBackup CopyToNewFile(int sourceFd, const std::string& backup, mode_t mode) {
    const int fd = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return errno == EEXIST ? EBackup::kExists : EBackup::kFailed;
    std::vector<char> block(kBlockSize);
    bool bOk = ::lseek(sourceFd, 0, SEEK_SET) == 0;
    while (bOk) {
        const ssize_t n = ::read(sourceFd, block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            bOk = n == 0;
            break;
        }
        bOk = CPosixFile::WriteAll(fd, block.data(), static_cast<std::size_t>(n));
    }
    bOk = bOk && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    bOk = ::close(fd) == 0 && bOk;
    bOk = bOk && ::lseek(sourceFd, 0, SEEK_SET) == 0;
    if (!bOk)
        ::unlink(backup.c_str());
    return bOk ? EBackup::kMade : EBackup::kFailed;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Makes the rename itself durable, not only the file's contents.
void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// The page open for repair (at most one at a time) and what outlives it.
struct CRepairEngine::SState {
    /// Which page each backup made or adopted by this engine belongs to.
    std::map<std::string, std::string> backupOwners;

    CPosixFile source;
    int tempFd = -1;
    std::string tempPath;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    /// Rows repaired into the open page; they are undone when it is not put back.
    std::vector<int> rowsInTemp;

    std::vector<char> block = std::vector<char>(kBlockSize);
    std::size_t blockPos = 0;
    std::size_t blockEnd = 0;
    bool bSourceEnded = false;
    std::string line;
    std::string out;
    /// A read or write failed: the page must not be put back.
    bool bBroken = false;

    enum class ERead { kLine, kEnd, kError };

    // The next whole line, without its line end; `bEnded` tells whether it had one.
    ERead ReadLine(bool& bEnded) {
        line.clear();
        for (;;) {
            if (blockPos == blockEnd) {
                if (bSourceEnded) {
                    bEnded = false;
                    return line.empty() ? ERead::kEnd : ERead::kLine;
                }
                const ssize_t n = source.Read(block.data(), block.size());
                if (n < 0) {
                    bBroken = true;
                    return ERead::kError;
                }
                bSourceEnded = n == 0;
                blockPos = 0;
                blockEnd = static_cast<std::size_t>(n);
                continue;
            }
            const char* start = block.data() + blockPos;
            const auto* lf =
                static_cast<const char*>(std::memchr(start, '\n', blockEnd - blockPos));
            if (lf == nullptr) {
                line.append(start, blockEnd - blockPos);
                blockPos = blockEnd;
                continue;
            }
            line.append(start, static_cast<std::size_t>(lf - start));
            blockPos += static_cast<std::size_t>(lf - start) + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            bEnded = true;
            return ERead::kLine;
        }
    }

    void Write(std::string_view text) {
        out.append(text);
        if (out.size() >= kBlockSize)
            Flush();
    }
    void WriteLine(std::string_view text, bool bEnded) {
        Write(text);
        if (bEnded)
            Write("\r\n");
    }
    void Flush() {
        if (!bBroken && !CPosixFile::WriteAll(tempFd, out.data(), out.size()))
            bBroken = true;
        out.clear();
    }

    // Closes both files; a temporary file still open was never put in place.
    void Close() {
        if (tempFd >= 0) {
            ::close(tempFd);
            ::unlink(tempPath.c_str());
        }
        tempFd = -1;
        source = CPosixFile();
        rowsInTemp.clear();
        blockPos = blockEnd = 0;
        bSourceEnded = bBroken = false;
        line.clear();
        out.clear();
    }
};

CRepairEngine::CRepairEngine(CResultsModel& rows, ISessionHost& host)
    : m_rows(rows), m_host(host), m_pState(std::make_unique<SState>()) {
}

CRepairEngine::~CRepairEngine() {
    CloseAll();
}

std::string CRepairEngine::StemOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

std::string CRepairEngine::BackupPathOf(const std::string& path) {
    return StemOf(path) + ".rep";
}

std::string CRepairEngine::TempPathOf(const std::string& path) {
    return StemOf(path) + ".t~p";
}

std::string CRepairEngine::FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CRepairEngine::SOutcome CRepairEngine::RepairLinks(ERepairType type) {
    CloseAll();
    SOutcome outcome;
    // A type from a damaged setting must not be taken for one that drops lines.
    if (type != kComment && type != kFileName && type != kRemove) {
        outcome.bOk = false;
        return outcome;
    }
    int groupFirst = -1;
    // A page that is not put back keeps none of the repairs made into its copy.
    auto finish = [this](const std::string& file) {
        const std::vector<int> rows = m_pState->rowsInTemp;
        const bool bOk = FinishRepair(file);
        if (!bOk)
            for (int row : rows)
                m_rows.SetRepaired(row, false);
        return bOk;
    };
    auto fail = [&outcome](int row) {
        outcome.bOk = false;
        outcome.stoppingRow = row;
    };
    for (int i = 0; i < m_rows.RowCount(); ++i) {
        const SResultRow& row = m_rows.Row(i);
        if (groupFirst < 0 || row.fileName != outcome.file) {
            if (groupFirst >= 0 && !m_rows.IsFileFinished(groupFirst)) {
                if (!finish(outcome.file)) {
                    fail(i);
                    break;
                }
                m_rows.SetFileFinished(groupFirst, true);
            }
            groupFirst = i;
            outcome.file = row.fileName;
            if (!m_rows.IsFileFinished(i) && !OpenForRepair(outcome.file)) {
                fail(i);
                break;
            }
        }
        if (!m_rows.IsRepaired(i)) {
            outcome.url = row.url;
            if (!RepairLine(outcome.url, outcome.file, type)) {
                finish(outcome.file);
                fail(i);
                break;
            }
            m_rows.SetRepaired(i, true);
            m_pState->rowsInTemp.push_back(i);
        }
    }
    if (outcome.bOk && groupFirst >= 0 && !m_rows.IsFileFinished(groupFirst)) {
        if (finish(outcome.file))
            m_rows.SetFileFinished(groupFirst, true);
        else
            fail(-1);
    }
    CloseAll();
    if (outcome.bOk)
        outcome = SOutcome();
    return outcome;
}

bool CRepairEngine::MakeOwnBackup(const std::string& path) {
    SState& s = *m_pState;
    for (const std::string& backup : {BackupPathOf(path), path + ".rep"}) {
        const auto owner = s.backupOwners.find(backup);
        if (backup == path || (owner != s.backupOwners.end() && owner->second != path))
            continue;
        const EBackup made = CopyToNewFile(s.source.Fd(), backup, s.mode);
        if (made == EBackup::kFailed || (made == EBackup::kExists && !IsRegularFile(backup)))
            return false;
        s.backupOwners[backup] = path;
        return true;
    }
    return false;
}

bool CRepairEngine::OpenForRepair(const std::string& path) {
    SState& s = *m_pState;
    s.Close();
    s.source = CPosixFile::OpenRegularForReading(path);
    struct stat st {};
    if (!s.source.IsOpen() || ::fstat(s.source.Fd(), &st) != 0) {
        s.Close();
        return false;
    }
    s.mode = st.st_mode & 07777;
    s.uid = st.st_uid;
    s.gid = st.st_gid;
    // The temporary name is never the page itself, nor its backup.
    s.tempPath = TempPathOf(path) == path ? path + ".t~p" : TempPathOf(path);
    if (!MakeOwnBackup(path)) {
        s.Close();
        return false;
    }
    // A temporary file left by a failed run is replaced, never reused.
    ::unlink(s.tempPath.c_str());
    s.tempFd = ::open(s.tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      S_IRUSR | S_IWUSR);
    if (s.tempFd < 0) {
        s.Close();
        return false;
    }
    return true;
}

bool CRepairEngine::RepairLine(const std::string& url, const std::string& path, ERepairType type) {
    SState& s = *m_pState;
    if (!s.source.IsOpen())
        return false;
    bool bEnded = false;
    for (;;) {
        const SState::ERead read = s.ReadLine(bEnded);
        if (read == SState::ERead::kError)
            return false;
        if (read == SState::ERead::kEnd) {
            m_host.ShowMessage(NotFoundText(path, url));
            return false;
        }
        const std::size_t at = s.line.find(url);
        if (at == std::string::npos) {
            s.WriteLine(s.line, bEnded);
        } else if (type == kComment) {
            s.Write("<!--");
            s.Write(s.line);
            s.Write("-->\r\n");
        } else if (type == kFileName) {
            const std::string_view line = s.line;
            s.Write(line.substr(0, at));
            s.Write(FileNameOf(path));
            s.Write(line.substr(at + url.size()));
            s.Write("<!--");
            s.Write(url);
            s.Write("-->\r\n");
        }
        if (s.bBroken)
            return false;
        if (at != std::string::npos)
            return true;
    }
}

bool CRepairEngine::FinishRepair(const std::string& path) {
    SState& s = *m_pState;
    if (!s.source.IsOpen() || s.tempFd < 0) {
        s.Close();
        return false;
    }
    bool bEnded = false;
    while (!s.bBroken && s.ReadLine(bEnded) == SState::ERead::kLine)
        s.WriteLine(s.line, bEnded);
    s.Flush();
    // The owner is kept where this process may set it (a user may not give a file
    // away); the permission bits always.
    [[maybe_unused]] const int chowned = ::fchown(s.tempFd, s.uid, s.gid);
    bool bOk = !s.bBroken && ::fsync(s.tempFd) == 0 && ::fchmod(s.tempFd, s.mode) == 0;
    bOk = ::close(s.tempFd) == 0 && bOk;
    s.tempFd = -1;
    bOk = bOk && ::rename(s.tempPath.c_str(), path.c_str()) == 0;
    if (bOk)
        SyncFolderOf(path);
    else
        ::unlink(s.tempPath.c_str());
    s.Close();
    return bOk;
}

void CRepairEngine::CloseAll() {
    m_pState->Close();
}
