#include "repair/CRepairEngine.h"

#include "base/CAtomicFile.h"
#include "base/CPosixFile.h"
#include "engine/ISessionHost.h"
#include "results/CResultsModel.h"

#include <cstring>
#include <map>
#include <optional>
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

// Copies the open source, with its mode, to `backup` unless a file stands
// there already. The copy takes the name only when it is whole.
EBackup CopyToBackup(CPosixFile& source, const std::string& backup, mode_t mode) {
    struct stat st {};
    if (::lstat(backup.c_str(), &st) == 0)
        return EBackup::kExists;
    CAtomicFile copy;
    if (!copy.Open(backup, CAtomicFile::EReplace::NoReplace, mode, CAtomicFile::EMode::Exact))
        return EBackup::kFailed;
    std::vector<char> block(kBlockSize);
    bool bOk = ::lseek(source.Fd(), 0, SEEK_SET) == 0;
    for (ssize_t n = 1; bOk && n > 0;) {
        n = source.Read(block.data(), block.size());
        bOk = n >= 0 && copy.Write(std::string_view(block.data(), static_cast<std::size_t>(n)));
    }
    if (!bOk || ::lseek(source.Fd(), 0, SEEK_SET) != 0)
        return EBackup::kFailed;
    switch (copy.Commit()) {
    case CAtomicFile::ECommit::Done:
        return EBackup::kMade;
    case CAtomicFile::ECommit::NameTaken:
        return EBackup::kExists;
    default:
        return EBackup::kFailed;
    }
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// The page open for repair (at most one at a time) and what outlives it.
struct CRepairEngine::SState {
    /// Which page each backup made or adopted by this engine belongs to.
    std::map<std::string, std::string> backupOwners;

    CPosixFile source;
    /// The page's replacement, put in place when the page is finished.
    std::optional<CAtomicFile> replacement;
    mode_t mode = 0;
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
        if (!bBroken && !replacement->Write(out))
            bBroken = true;
        out.clear();
    }

    // Closes both files; a replacement not yet put in place is dropped.
    void Close() {
        replacement.reset();
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

std::string CRepairEngine::FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CRepairEngine::SOutcome CRepairEngine::RepairLinks(ERepairType type) {
    CloseAll();
    SOutcome outcome;
    // A type from a damaged setting must not be taken for one that drops lines.
    if (type != ERepairType::Comment && type != ERepairType::FileName &&
        type != ERepairType::Remove) {
        outcome.bOk = false;
        return outcome;
    }
    int groupFirst = -1;
    // A page that is not put back keeps none of the repairs made into its copy.
    auto finish = [this] {
        const std::vector<int> rows = m_pState->rowsInTemp;
        const bool bOk = FinishRepair();
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
                if (!finish()) {
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
                finish();
                fail(i);
                break;
            }
            m_rows.SetRepaired(i, true);
            m_pState->rowsInTemp.push_back(i);
        }
    }
    if (outcome.bOk && groupFirst >= 0 && !m_rows.IsFileFinished(groupFirst)) {
        if (finish())
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
        const EBackup made = CopyToBackup(s.source, backup, s.mode);
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
    // The replacement takes the page's mode and owner from the page it replaces.
    if (!MakeOwnBackup(path) ||
        !s.replacement.emplace().Open(path, CAtomicFile::EReplace::Replace, s.mode)) {
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
        } else if (type == ERepairType::Comment) {
            s.Write("<!--");
            s.Write(s.line);
            s.Write("-->\r\n");
        } else if (type == ERepairType::FileName) {
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

bool CRepairEngine::FinishRepair() {
    SState& s = *m_pState;
    if (!s.source.IsOpen() || !s.replacement) {
        s.Close();
        return false;
    }
    bool bEnded = false;
    while (!s.bBroken && s.ReadLine(bEnded) == SState::ERead::kLine)
        s.WriteLine(s.line, bEnded);
    s.Flush();
    const bool bOk = !s.bBroken && s.replacement->Commit() == CAtomicFile::ECommit::Done;
    s.Close();
    return bOk;
}

void CRepairEngine::CloseAll() {
    m_pState->Close();
}
