// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/CRepairEngine.h"

#include "base/AsciiText.h"
#include "base/CAtomicFile.h"
#include "base/CPosixFile.h"
#include "engine/ISessionHost.h"
#include "engine/OutcomeCodes.h"
#include "repair/CUnifiedDiff.h"
#include "repair/PageAccess.h"
#include "results/CResultsModel.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kMaxNoteSize = 4096;

using EType = CRepairEngine::ERepairType;

// An image map's "<area" tag starts at `at`: a link with no "</a>", up to its ">".
bool IsAreaAt(std::string_view line, std::size_t at) {
    const std::size_t end = at + 5;
    return end <= line.size() && AsciiText::EqualsNoCase(line.substr(at, 5), "<area") &&
           (end == line.size() || AsciiText::IsCSpace(line[end]) || line[end] == '>' ||
            line[end] == '/');
}

// A link's tag starts at `at`: an anchor's "<a" ("<abbr>" is no anchor) or an "<area".
bool IsAnchorAt(std::string_view line, std::size_t at) {
    if (IsAreaAt(line, at))
        return true;
    if (at + 1 >= line.size() || line[at] != '<' || AsciiText::ToLower(line[at + 1]) != 'a')
        return false;
    return at + 2 == line.size() || AsciiText::IsCSpace(line[at + 2]) || line[at + 2] == '>';
}

std::size_t NextAnchor(std::string_view line, std::size_t from) {
    for (std::size_t at = line.find('<', from); at != std::string_view::npos;
         at = line.find('<', at + 1))
        if (IsAnchorAt(line, at))
            return at;
    return std::string_view::npos;
}

std::size_t LastAnchorBefore(std::string_view line, std::size_t before) {
    for (std::size_t at = before; at-- > 0;) {
        at = line.rfind('<', at);
        if (at == std::string_view::npos)
            break;
        if (IsAnchorAt(line, at))
            return at;
    }
    return std::string_view::npos;
}

// Whether `line` holds more than one link: at most two anchors are looked for.
bool HoldsOtherLinks(std::string_view line) {
    const std::size_t first = NextAnchor(line, 0);
    return first != std::string_view::npos && NextAnchor(line, first + 2) != std::string_view::npos;
}

// The end of the first "</a>" (any case) in line[from, limit), or npos.
std::size_t AnchorCloseEnd(std::string_view line, std::size_t from, std::size_t limit) {
    for (std::size_t at = line.find("</", from); at != std::string_view::npos && at + 4 <= limit;
         at = line.find("</", at + 1))
        if (AsciiText::EqualsNoCase(line.substr(at, 4), "</a>"))
            return at + 4;
    return std::string_view::npos;
}

// Whether the link between the pages `url` stands at `at` as a whole `href`
// value: between its quotes, or unquoted after "=" up to white space, ">" or
// the line's end (a lone CR is white space here and a line break to
// extraction); white space may stand around the "=", and the name before it
// is "href" in any case. The same text as the value of another attribute
// (`title="about.html"`, `onclick="go('about.html')"`) is not the link. What
// stood on an earlier line is not seen: "=" or a quoted value may begin one.
bool IsWholeValueAt(std::string_view line, std::string_view url, std::size_t at) {
    const auto blanksBefore = [line](std::size_t i) {
        while (i > 0 && AsciiText::IsCSpace(line[i - 1]))
            --i;
        return i;
    };
    const std::size_t end = at + url.size();
    if (at == 0)
        return false;
    const char before = line[at - 1];
    const bool bQuoted = before == '"' || before == '\'';
    if (bQuoted ? end == line.size() || line[end] != before
                : end != line.size() && !AsciiText::IsCSpace(line[end]) && line[end] != '>')
        return false;
    const std::size_t eq = blanksBefore(bQuoted ? at - 1 : at);
    if (eq == 0)
        return bQuoted;
    if (line[eq - 1] != '=')
        return false;
    const std::size_t name = blanksBefore(eq - 1);
    if (name == 0)
        return true;
    if (name < 4 || !AsciiText::EqualsNoCase(line.substr(name - 4, 4), "href"))
        return false;
    const char beforeName = name == 4 ? ' ' : line[name - 5];
    return AsciiText::IsCSpace(beforeName) || beforeName == '/' || beforeName == '"' ||
           beforeName == '\'';
}

// The first place at or after `from` where `url` stands as a whole link: where
// extraction could have ended it (before a double quote, or trailing blanks),
// or for a link between the pages (`bLocal`), as a whole `href` value.
std::size_t FindWholeLink(std::string_view line, std::string_view url, std::size_t from,
                          bool bLocal) {
    for (std::size_t at = line.find(url, from); at != std::string_view::npos;
         at = line.find(url, at + 1)) {
        const std::size_t end = at + url.size();
        if (bLocal
                ? IsWholeValueAt(line, url, at)
                : end == line.size() || line[end] == '"' || line[end] == ' ' || line[end] == '\t')
            return at;
    }
    return std::string_view::npos;
}

// The record `attribute` of `backup`, or where its file system keeps no
// attributes, the text of the note beside it; nothing when neither says.
std::optional<std::string> ReadRecord(const std::string& backup, const char* attribute,
                                      const std::string& notePath) {
    char value[PATH_MAX];
    const ssize_t n = ::lgetxattr(backup.c_str(), attribute, value, sizeof value);
    if (n >= 0)
        return std::string(value, static_cast<std::size_t>(n));
    if (errno != ENODATA && errno != ENOTSUP)
        return std::nullopt;
    CPosixFile note = CPosixFile::OpenRegularForReading(notePath);
    char text[kMaxNoteSize + 1];
    const ssize_t got = note.IsOpen() ? note.Read(text, sizeof text) : -1;
    if (got < 0)
        return std::nullopt;
    return std::string(text, static_cast<std::size_t>(got));
}

// Where a record of `backup` is kept without extended attributes: a hidden file
// beside it, without a "." after its first byte, so that no page pattern matches it.
std::string NoteBeside(const std::string& backup, std::string_view prefix) {
    const std::string name = CRepairEngine::FileNameOf(backup);
    std::string note = backup.substr(0, backup.size() - name.size()).append(prefix);
    for (char c : name) {
        if (c == '.' || c == '%')
            note += c == '.' ? "%2E" : "%25";
        else
            note += c;
    }
    return note;
}

// Records `digest` with `backup` as what its page now holds, or takes the
// record away when it is "": an attribute, else a note beside it.
bool SetRepairRecord(const std::string& backup, const std::string& digest) {
    const char* name = CRepairEngine::kRepairedAttribute;
    if (digest.empty() ? ::lremovexattr(backup.c_str(), name) == 0
                       : ::lsetxattr(backup.c_str(), name, digest.data(), digest.size(), 0) == 0)
        return true;
    if (errno != ENOTSUP && errno != EPERM && (!digest.empty() || errno != ENODATA))
        return false;
    const std::string notePath = CRepairEngine::RecordNotePathOf(backup);
    if (digest.empty())
        return ::unlink(notePath.c_str()) == 0 || errno == ENOENT;
    CAtomicFile note;
    return note.Open(notePath, CAtomicFile::EReplace::Replace, 0666) && note.Write(digest) &&
           note.Commit() == CAtomicFile::ECommit::Done;
}

// Whether the page open as `source` is as the repairs since `backup` left it,
// or holds `backup`'s bytes: only then does putting the backup back lose no
// edit of the user's. Reads `source` through.
bool DescendsFrom(CPosixFile& source, const std::string& backup) {
    const std::string now = PageAccess::DigestOf(source);
    if (now.empty() || now == CRepairEngine::RepairRecordOf(backup))
        return !now.empty();
    CPosixFile copy = CPosixFile::OpenRegularForReading(backup);
    return copy.IsOpen() && PageAccess::DigestOf(copy) == now;
}

// Records with `backup` the digest of the page's replacement, read back from
// its temporary file: exactly the bytes the rename puts in place, and the line
// writer knows nothing of it.
bool RecordRepair(const std::string& backup, const std::string& tempPath) {
    CPosixFile written = CPosixFile::OpenRegularForReading(tempPath);
    const std::string digest = written.IsOpen() ? PageAccess::DigestOf(written) : std::string();
    return !digest.empty() && SetRepairRecord(backup, digest);
}

// The page's path as a diff names it: from the current folder when the page
// lies under it, else from "/", so that `patch -p1` finds it from there.
std::string DiffNameOf(const std::string& page) {
    char* cwd = ::getcwd(nullptr, 0);
    std::string folder = cwd == nullptr ? "/" : cwd;
    std::free(cwd);
    if (folder.back() != '/')
        folder += '/';
    return page.substr(page.starts_with(folder) ? folder.size() : 1);
}

} // namespace

// The page open for repair (at most one at a time): its source, its
// replacement, the line being rewritten and the edits waiting for it.
struct CRepairEngine::SState {
    struct SEdit {
        std::size_t at;
        std::string url;
    };

    std::string listedPath; // as the rows name it
    std::string fileName;   // the name type 1 puts in place of a URL
    std::string page;       // where it is: symbolic links followed
    CPosixFile source;      // open (locked, but in a preview) until the page is put back or dropped
    std::optional<CAtomicFile> replacement;
    // Its own backup, once made or found, and whether the page is that backup's
    // as repairs left it, so that what it becomes is recorded with it.
    std::string backup;
    bool bFromBackup = false;
    /// A preview's sink instead of the replacement, and the diff it has made.
    std::optional<CUnifiedDiff> diff;
    std::string diffText;
    /// Rows repaired into the open page; they are undone when it is not put back.
    std::vector<int> rowsInTemp;
    /// Lines of the source removed whole by this rewrite.
    std::vector<int> removedNow;

    std::vector<char> block = std::vector<char>(kBlockSize);
    std::size_t blockPos = 0;
    std::size_t blockEnd = 0;
    bool bSourceEnded = false;
    /// A read or write failed: the page must not be put back.
    bool bBroken = false;

    std::string line; // without its line end
    bool bLineEnded = false;
    bool bLineEndHadCr = false;
    bool bLineLoaded = false;
    int lineNumber = 0; // of `line` in the source, 1 for the first
    std::vector<SEdit> edits;
    std::string out;
    std::string was; // a preview's line as it was, with its line end

    enum class ERead { kLine, kEnd, kError };

    // The next whole line into `line`.
    ERead ReadLine() {
        line.clear();
        for (;;) {
            if (blockPos == blockEnd) {
                if (bSourceEnded) {
                    bLineEnded = bLineEndHadCr = false;
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
            bLineEndHadCr = !line.empty() && line.back() == '\r';
            if (bLineEndHadCr)
                line.pop_back();
            bLineEnded = true;
            return ERead::kLine;
        }
    }

    // Loads the next line; false at the end of the page or on a read error.
    bool LoadNextLine() {
        if (ReadLine() != ERead::kLine)
            return false;
        bLineLoaded = true;
        ++lineNumber;
        return true;
    }

    // Takes the first whole occurrence of `url` on the loaded line that no edit
    // holds yet, looking first past the edits made (rows come in page order).
    bool TakeOccurrence(const std::string& url, bool bLocal) {
        std::size_t past = 0;
        for (const SEdit& edit : edits)
            past = std::max(past, edit.at + edit.url.size());
        for (const std::size_t start : {past, std::size_t{0}}) {
            for (std::size_t at = FindWholeLink(line, url, start, bLocal); at != std::string::npos;
                 at = FindWholeLink(line, url, at + 1, bLocal)) {
                // An empty href value ("") overlaps nothing, but is taken once too.
                const bool bTaken = std::any_of(edits.begin(), edits.end(), [&](const SEdit& edit) {
                    return (at < edit.at + edit.url.size() && edit.at < at + url.size()) ||
                           (bLocal && at == edit.at);
                });
                if (!bTaken) {
                    edits.push_back({at, url});
                    return true;
                }
            }
        }
        return false;
    }

    // Writes the loaded line, rewritten by its edits; a preview gives its diff
    // the line as it was and what was written for it.
    void FlushLine(EType type) {
        if (!bLineLoaded)
            return;
        bLineLoaded = false;
        RewriteLine(type);
        if (diff) {
            was.assign(line).append(bLineEndHadCr ? "\r\n" : bLineEnded ? "\n" : "");
            diff->AddLine(was, out);
            out.clear();
        }
    }

    void RewriteLine(EType type) {
        if (edits.empty()) {
            Write(line);
            if (bLineEnded)
                Write("\r\n");
            return;
        }
        std::sort(edits.begin(), edits.end(),
                  [](const SEdit& a, const SEdit& b) { return a.at < b.at; });
        const std::string_view text = line;
        if (type == EType::FileName) {
            std::size_t at = 0;
            for (const SEdit& edit : edits) {
                Write(text.substr(at, edit.at - at));
                Write(fileName);
                at = edit.at + edit.url.size();
            }
            Write(text.substr(at));
            for (const SEdit& edit : edits) {
                Write("<!--\"");
                Write(edit.url);
                Write("\"-->");
            }
            Write("\r\n");
        } else if (!HoldsOtherLinks(text)) {
            if (type == EType::Comment) {
                Write("<!--");
                Write(text);
                Write("-->\r\n");
            } else {
                removedNow.push_back(lineNumber);
            }
        } else {
            WriteAnchorsOnly(type);
        }
        edits.clear();
    }

    // Writes the loaded line and every line after it: the page's tail, past its last repair.
    void FlushRest(EType type) {
        FlushLine(type);
        while (!bBroken && LoadNextLine())
            FlushLine(type);
    }

    // Comments out or drops each edited link's own anchor, keeping the rest of the line.
    void WriteAnchorsOnly(EType type) {
        const std::string_view text = line;
        std::vector<std::pair<std::size_t, std::size_t>> spans;
        for (const SEdit& edit : edits) {
            const std::size_t urlEnd = edit.at + edit.url.size();
            const std::size_t open = LastAnchorBefore(text, edit.at);
            const std::size_t next = NextAnchor(text, urlEnd);
            const std::size_t limit = next == std::string_view::npos ? text.size() : next;
            std::size_t close = AnchorCloseEnd(text, urlEnd, limit);
            if (open != std::string_view::npos && IsAreaAt(text, open)) {
                close = text.find('>', urlEnd);
                close = close < limit ? close + 1 : std::string_view::npos;
            }
            const std::size_t begin = open == std::string_view::npos ? 0 : open;
            const std::size_t end = close == std::string_view::npos ? limit : close;
            if (!spans.empty() && begin < spans.back().second)
                spans.back().second = std::max(spans.back().second, end);
            else
                spans.emplace_back(begin, end);
        }
        std::size_t at = 0;
        for (const auto& [begin, end] : spans) {
            Write(text.substr(at, begin - at));
            if (type == EType::Comment) {
                Write("<!--");
                Write(text.substr(begin, end - begin));
                Write("-->");
            }
            at = end;
        }
        Write(text.substr(at));
        Write("\r\n");
    }

    void Write(std::string_view text) {
        out.append(text);
        if (out.size() >= kBlockSize && !diff)
            Flush();
    }
    void Flush() {
        if (!bBroken && replacement && !replacement->Write(out))
            bBroken = true;
        out.clear();
    }

    // Closes both files, which ends the page's lock; a replacement not yet put
    // in place is dropped.
    void Close() {
        replacement.reset();
        diff.reset();
        diffText.clear();
        source = CPosixFile();
        rowsInTemp.clear();
        removedNow.clear();
        blockPos = blockEnd = 0;
        bSourceEnded = bBroken = bLineEnded = bLineEndHadCr = bLineLoaded = false;
        lineNumber = 0;
        line.clear();
        edits.clear();
        out.clear();
    }
};

CRepairEngine::CRepairEngine(CResultsModel& rows, ISessionHost& host)
    : m_rows(rows), m_host(host), m_pState(std::make_unique<SState>()) {
}

CRepairEngine::~CRepairEngine() {
    m_pState->Close();
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

std::string CRepairEngine::NotePathOf(const std::string& backup) {
    return NoteBeside(backup, ".linkvet-rep-");
}

std::string CRepairEngine::RecordNotePathOf(const std::string& backup) {
    return NoteBeside(backup, ".linkvet-repaired-");
}

bool CRepairEngine::IsBackupOf(const std::string& backup, const std::string& pageName) {
    return PageRecordOf(backup) == pageName;
}

std::optional<std::string> CRepairEngine::PageRecordOf(const std::string& backup) {
    return ReadRecord(backup, kOwnerAttribute, NotePathOf(backup));
}

std::string CRepairEngine::RepairRecordOf(const std::string& backup) {
    return ReadRecord(backup, kRepairedAttribute, RecordNotePathOf(backup)).value_or("");
}

void CRepairEngine::Tell(const char* format, const std::string& first, const std::string& second) {
    m_host.ShowMessage(AsciiText::Fill(format, first, second));
}

CRepairEngine::SPreview CRepairEngine::PreviewLinks(ERepairType type,
                                                    const std::set<std::string>& skippedFiles) {
    SPreview preview;
    struct SEnd {
        SPreview*& pPreview;
        ~SEnd() { pPreview = nullptr; }
    } end{m_pPreview};
    m_pPreview = &preview;
    preview.outcome = Run(type, skippedFiles);
    return preview;
}

void CRepairEngine::ForgetPage(const std::string& path) {
    // Kept by where the page is, as a run records it.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        m_removedLines.erase(real);
        std::free(real);
    }
}

CRepairEngine::SOutcome CRepairEngine::RepairLinks(ERepairType type,
                                                   const std::set<std::string>& skippedFiles) {
    return Run(type, skippedFiles);
}

CRepairEngine::SOutcome CRepairEngine::Run(ERepairType type,
                                           const std::set<std::string>& skippedFiles) {
    m_pState->Close();
    SOutcome outcome;
    // A type from a damaged setting must not be taken for one that drops lines.
    if (type != ERepairType::Comment && type != ERepairType::FileName &&
        type != ERepairType::Remove) {
        outcome.bOk = false;
        return outcome;
    }
    int groupFirst = -1;
    // A page that is not put back keeps none of the repairs made into its copy.
    auto finish = [this, type] {
        if (m_pPreview)
            return FinishPreview(type);
        const std::vector<int> rows = m_pState->rowsInTemp;
        const bool bOk = FinishRepair(type);
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
        if (skippedFiles.contains(row.fileName))
            continue;
        if (groupFirst < 0 || row.fileName != outcome.file) {
            if (groupFirst >= 0 && !m_rows.IsFileFinished(groupFirst)) {
                if (!finish()) {
                    fail(i);
                    break;
                }
                if (!m_pPreview)
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
            if (!RepairLine(outcome.url, row.line, row.code, type)) {
                // Only a URL not found leaves a page to write.
                if (finish() && m_pPreview)
                    m_pPreview->pages.back().notFoundRow = i;
                fail(i);
                break;
            }
            if (!m_pPreview)
                m_rows.SetRepaired(i, true);
            m_pState->rowsInTemp.push_back(i);
        }
    }
    if (outcome.bOk && groupFirst >= 0 && !m_rows.IsFileFinished(groupFirst)) {
        if (!finish())
            fail(-1);
        else if (!m_pPreview)
            m_rows.SetFileFinished(groupFirst, true);
    }
    m_pState->Close();
    if (outcome.bOk)
        outcome = SOutcome();
    return outcome;
}

bool CRepairEngine::OpenForRepair(const std::string& path) {
    SState& s = *m_pState;
    s.Close();
    s.listedPath = path;
    s.fileName = FileNameOf(path);
    // A linked page is repaired where the link leads, its backup beside it.
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return false;
    s.page = real;
    std::free(real);
    struct stat st {};
    // A preview only reads the page: it never waits for a run, nor holds one up.
    const bool bOpen = m_pPreview != nullptr
                           ? (s.source = CPosixFile::OpenRegularForReading(s.page)).IsOpen()
                           : LockPage(path);
    if (!bOpen || ::fstat(s.source.Fd(), &st) != 0) {
        s.Close();
        return false;
    }
    const char* refusal = st.st_nlink > 1                       ? kHardLinkedFormat
                          : !PageAccess::MayRewrite(s.page, st) ? kNotWritableFormat
                                                                : nullptr;
    if (refusal != nullptr)
        Tell(refusal, path);
    if (m_pPreview != nullptr && refusal == nullptr) {
        s.diff.emplace(DiffNameOf(s.page),
                       [&s](std::string_view bytes) { s.diffText.append(bytes); });
        return true;
    }
    // The replacement takes the page's mode and owner from the page it replaces.
    if (refusal != nullptr || !MakeOwnBackup() ||
        !s.replacement.emplace().Open(s.page, CAtomicFile::EReplace::Replace, st.st_mode)) {
        s.Close();
        return false;
    }
    return true;
}

bool CRepairEngine::LockPage(const std::string& path) {
    const PageAccess::ELock locked = PageAccess::OpenLocked(m_pState->page, m_pState->source);
    if (locked == PageAccess::ELock::Busy)
        Tell(kBusyFormat, path);
    return locked == PageAccess::ELock::Locked;
}

bool CRepairEngine::MakeOwnBackup() {
    SState& s = *m_pState;
    const std::string pageName = FileNameOf(s.page);
    struct stat page {};
    if (::fstat(s.source.Fd(), &page) != 0)
        return false;
    for (const std::string& backup : {BackupPathOf(s.page), s.page + ".rep"}) {
        struct stat st {};
        if (backup == s.page)
            continue;
        if (::lstat(backup.c_str(), &st) == 0) {
            if (S_ISREG(st.st_mode) && IsBackupOf(backup, pageName)) {
                s.backup = backup;
                s.bFromBackup = DescendsFrom(s.source, backup);
                if (::lseek(s.source.Fd(), 0, SEEK_SET) == 0)
                    return true;
                break;
            }
            continue; // another page's, or nobody's that we know of: never adopted
        }
        CAtomicFile copy;
        bool bOk = copy.Open(backup, CAtomicFile::EReplace::NoReplace, page.st_mode,
                             CAtomicFile::EMode::Exact) &&
                   ::lseek(s.source.Fd(), 0, SEEK_SET) == 0;
        for (ssize_t n = 1; bOk && n > 0;) {
            n = s.source.Read(s.block.data(), s.block.size());
            bOk =
                n >= 0 && copy.Write(std::string_view(s.block.data(), static_cast<std::size_t>(n)));
        }
        bOk = bOk && ::lseek(s.source.Fd(), 0, SEEK_SET) == 0;
        // The record goes with the copy; where the file system keeps no
        // attributes, a note beside it follows once the backup is in place.
        bool bNote = false;
        if (bOk && !copy.SetAttribute(kOwnerAttribute, pageName)) {
            bNote = errno == ENOTSUP || errno == EPERM;
            bOk = bNote;
        }
        if (!bOk)
            break;
        const CAtomicFile::ECommit made = copy.Commit();
        if (made == CAtomicFile::ECommit::NameTaken)
            continue;
        if (made != CAtomicFile::ECommit::Done)
            break;
        if (bNote) {
            CAtomicFile note;
            if (!note.Open(NotePathOf(backup), CAtomicFile::EReplace::Replace, 0666) ||
                !note.Write(pageName) || note.Commit() != CAtomicFile::ECommit::Done)
                break; // the backup stays, unrecorded, and is never taken for the page's
        }
        s.backup = backup;
        s.bFromBackup = true;
        return true;
    }
    Tell(kNoBackupFormat, s.listedPath);
    return false;
}

bool CRepairEngine::RepairLine(const std::string& url, int line, unsigned code, ERepairType type) {
    SState& s = *m_pState;
    if (!s.source.IsOpen())
        return false;
    // The line as the page stands now: lines removed by earlier runs are gone.
    int target = line;
    if (const auto removed = m_removedLines.find(s.page); removed != m_removedLines.end())
        target -= static_cast<int>(std::count_if(removed->second.begin(), removed->second.end(),
                                                 [line](int gone) { return gone < line; }));
    bool bSearching = line <= 0; // without a line, the next occurrence in the page
    for (;;) {
        if (s.bLineLoaded && (bSearching || s.lineNumber >= target)) {
            if (s.TakeOccurrence(url, Outcome::IsLocal(code)))
                return true;
            bSearching = true; // the page changed since the test: a later line may hold it
        }
        s.FlushLine(type);
        if (s.bBroken)
            return false;
        if (!s.LoadNextLine()) {
            if (!s.bBroken)
                Tell(kNotFoundFormat, s.listedPath, url);
            return false;
        }
    }
}

bool CRepairEngine::FinishRepair(ERepairType type) {
    SState& s = *m_pState;
    if (!s.source.IsOpen() || !s.replacement) {
        s.Close();
        return false;
    }
    s.FlushRest(type);
    s.Flush();
    // What the page becomes is recorded with its backup before it is put in
    // place: if the rename never comes, the record matches no page there. A page
    // edited since its last repair gets none, as its backup would lose the edit.
    const std::string previous = RepairRecordOf(s.backup);
    const bool bRecorded =
        !s.bBroken && (s.bFromBackup ? RecordRepair(s.backup, s.replacement->TempPath())
                                     : SetRepairRecord(s.backup, ""));
    const bool bOk = !s.bBroken && s.replacement->Commit() == CAtomicFile::ECommit::Done;
    if (bRecorded && !bOk)
        SetRepairRecord(s.backup, previous);
    if (bOk && !s.removedNow.empty()) {
        // Kept as the test numbered the lines, so later runs can map any row's line.
        std::vector<int>& removed = m_removedLines[s.page];
        std::vector<int> added;
        for (int now : s.removedNow) {
            int original = now;
            while (original - static_cast<int>(std::count_if(
                                  removed.begin(), removed.end(),
                                  [original](int gone) { return gone < original; })) !=
                       now ||
                   std::find(removed.begin(), removed.end(), original) != removed.end())
                ++original;
            added.push_back(original);
        }
        removed.insert(removed.end(), added.begin(), added.end());
        std::sort(removed.begin(), removed.end());
    }
    s.Close();
    return bOk;
}

bool CRepairEngine::FinishPreview(ERepairType type) {
    SState& s = *m_pState;
    if (!s.source.IsOpen() || !s.diff) {
        s.Close();
        return false;
    }
    s.FlushRest(type);
    s.diff->Finish();
    const bool bOk = !s.bBroken;
    if (bOk)
        m_pPreview->pages.push_back(
            {s.listedPath, static_cast<int>(s.rowsInTemp.size()), std::move(s.diffText)});
    s.Close();
    return bOk;
}
