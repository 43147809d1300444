// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CResultsModel;
class ISessionHost;

/// Rewrites the source pages from the results list, keeping a backup of each
/// page as it was before its first repair.
///
/// A run walks the rows in list order, file group by file group, and repairs
/// each row not yet marked repaired where its link stands: on the line the row
/// names (the line its link was found on), where the URL stands as a whole link
/// (followed by a double quote, a blank, a TAB or the line's end; a URL that
/// only begins a longer one is never taken). A link between the pages (a row
/// whose code is Outcome::IsLocal) is taken only as a whole `href` value: between
/// its own quotes, or unquoted after "=" up to a blank, a TAB, ">" or the line's
/// end, so "about.html" is never taken inside "old-about.html". Rows with the
/// same URL on one page take its occurrences in turn. When the page has changed since the test and
/// the line no longer holds the link, the first later line that does is taken.
///
/// On a line that holds this one link, the whole line is wrapped in an HTML
/// comment (Comment) or left out (Remove); on a line that holds other links too,
/// only the link's own anchor is (from its "<a" to the end of its "</a>", or to
/// the next link or the line's end without one), so the other links and text
/// of the line survive. FileName puts the page's file name in place of the URL
/// and keeps the URL after the line in a comment, `<!--"URL"-->`, so that a
/// later test reads exactly the URL again. A line ends at its line feed; a CR
/// directly before the LF belongs to the line end, and every line end written
/// is CR LF. Every other byte of the page survives.
///
/// A page reached through a symbolic link is repaired where the link leads. It
/// is rewritten only when it has a whole backup of its own beside it: "stem.rep"
/// (the path cut at its last "."), else "name.rep", each taken only when it is
/// recorded as this page's backup (an extended attribute naming the page, or a
/// hidden note beside it where the file system keeps none) or made afresh. A
/// backup is made through CAtomicFile, so a backup's name only ever holds a
/// whole copy, and the page is replaced through it in one rename, keeping its
/// mode and owner. Before that rename, the SHA-256 of the new page is recorded
/// with the backup (an attribute, or a second note), so that a restore can tell
/// a page as the repair left it from one edited since; a page edited since its
/// last repair gets no record, as its backup would lose the edit. The page
/// stays locked from before its backup to after its replacement, so two runs
/// never interleave. A page with other hard links, or one this user may not
/// write or could not give back its owner and group, is left as it is and fails
/// the run, with a message that says why.
///
/// The engine marks the rows it has repaired (repaired mark) and the files it
/// has finished (file-finished mark, on a group's first row), so a second run
/// skips what is done, and it remembers the lines it has removed from each page
/// so that a later run still finds each row's line. It asks nothing; its
/// messages go through the host. It streams: memory does not grow with a page's
/// size beyond its longest line.
///
/// A preview runs the same walk and the same rewriting of each line, with the
/// same refusals and messages and the same stop, and writes nothing: it reads
/// each page without locking it, and where a run would write the page it
/// gives the unified diff of what it would write there.
class CRepairEngine {
public:
    /// The values are those of the stored setting.
    enum class ERepairType { Comment = 0, FileName = 1, Remove = 2 };

    /// How a run ended. When it failed: the file and the URL it was working
    /// on, and the row it stopped at (-1 when it failed while finishing the
    /// last file, or was given a type outside ERepairType, so no row is to
    /// blame).
    struct SOutcome {
        bool bOk = true;
        std::string file;
        std::string url;
        int stoppingRow = -1;
    };

    static constexpr const char* kCompletedMessage = "All URL repairs completed";
    /// First %s the page's path, second %s the URL.
    static constexpr const char* kNotFoundFormat =
        "We looked in file\n%s\nbut could not file the URL\n%s";
    /// %s the page's path.
    static constexpr const char* kHardLinkedFormat =
        "The page\n%s\nhas other hard links, which a repair would split from it,\nso it is "
        "left as it is.";
    static constexpr const char* kNotWritableFormat =
        "You may not change the page\n%s\n(or could not give it back its owner and group),\nso "
        "it is left as it is.";
    static constexpr const char* kBusyFormat =
        "Another repair is working on the page\n%s\nTry again once it has finished.";
    static constexpr const char* kNoBackupFormat =
        "No backup of its own could be made beside the page\n%s\nso it is left as it is.";
    /// The extended attribute that names the page a backup belongs to.
    static constexpr const char* kOwnerAttribute = "user.linkvet.page";
    /// The extended attribute of a backup that holds the SHA-256 (hex) of what the
    /// last repair put in place of its page.
    static constexpr const char* kRepairedAttribute = "user.linkvet.repaired";

    CRepairEngine(CResultsModel& rows, ISessionHost& host);
    ~CRepairEngine();
    CRepairEngine(const CRepairEngine&) = delete;
    CRepairEngine& operator=(const CRepairEngine&) = delete;

    /// One page a run would write.
    struct SPagePreview {
        std::string file;     // as the rows name it
        int changes = 0;      // rows the run repairs in it
        std::string diff;     // unified diff of what the run writes there (headers included)
        int notFoundRow = -1; // the row whose URL the run would not find in it, or -1
    };
    struct SPreview {
        SOutcome outcome;                // as RepairLinks would return it
        std::vector<SPagePreview> pages; // in list order
    };

    /// Runs as RepairLinks(type, skippedFiles) would, through the same code (row
    /// walk, line targeting, refusals and their messages through the host, the
    /// same stop at a failure), but writes nothing: no backup, no replacement,
    /// no row marks, no change to the removed-lines record. A page's diff names
    /// it where the run writes it (symbolic links followed), from the current
    /// folder when it lies under it, else from "/"; it is empty when the page's
    /// bytes would stay as they are. The diffs are held whole in the answer.
    SPreview PreviewLinks(ERepairType type, const std::set<std::string>& skippedFiles = {});
    /// One repair run over every row of the list. Rows whose fileName is in
    /// `skippedFiles` are left alone entirely (page not opened, rows not marked).
    SOutcome RepairLinks(ERepairType type, const std::set<std::string>& skippedFiles = {});
    /// The page `path` is as it was before any repair again (put back from its
    /// backup): the lines earlier runs removed from it are forgotten.
    void ForgetPage(const std::string& path);

    /// The names derived from a page's path.
    static std::string StemOf(const std::string& path);
    static std::string BackupPathOf(const std::string& path);
    /// The text after the last "/" (the whole path when it has none).
    static std::string FileNameOf(const std::string& path);
    /// Whether `backup` is recorded as the backup of the page `pageName` beside it.
    static bool IsBackupOf(const std::string& backup, const std::string& pageName);
    /// The name of the page `backup` is recorded as the backup of, if any.
    static std::optional<std::string> PageRecordOf(const std::string& backup);
    /// Where the record of `backup` is kept when its file system has no
    /// extended attributes: a hidden file beside it.
    static std::string NotePathOf(const std::string& backup);
    /// The SHA-256 (hex) of the page `backup` belongs to as the last repair wrote
    /// it, as recorded with the backup; "" when nothing is recorded.
    static std::string RepairRecordOf(const std::string& backup);
    /// Where that record is kept when the file system has no extended attributes.
    static std::string RecordNotePathOf(const std::string& backup);

private:
    struct SState;

    SOutcome Run(ERepairType type, const std::set<std::string>& skippedFiles);
    bool OpenForRepair(const std::string& path);
    bool LockPage(const std::string& path);
    bool MakeOwnBackup();
    // `code` is the row's: it tells a link between the pages from a probed one.
    bool RepairLine(const std::string& url, int line, unsigned code, ERepairType type);
    bool FinishRepair(ERepairType type);
    bool FinishPreview(ERepairType type);
    void Tell(const char* format, const std::string& first, const std::string& second = {});

    CResultsModel& m_rows;
    ISessionHost& m_host;
    std::unique_ptr<SState> m_pState;
    /// For each page, the lines (as the test numbered them) that whole-line
    /// removals have taken out of it.
    std::map<std::string, std::vector<int>> m_removedLines;
    /// Where a preview puts its pages while it runs; null in a repair run.
    SPreview* m_pPreview = nullptr;
};
