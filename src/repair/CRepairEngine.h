#pragma once

#include <memory>
#include <string>

class CResultsModel;
class ISessionHost;

/// Rewrites the source pages from the results list, keeping a backup of each
/// page as it was before its first repair.
///
/// A run walks the rows in list order, file group by file group, and repairs
/// each row not yet marked repaired: the line that holds the row's URL is
/// wrapped in an HTML comment (Comment), gets the page's file name in place
/// of the URL with the URL kept in a comment after it (FileName), or is left
/// out (Remove). A line is everything up to its line feed, of any length; a
/// CR directly before the LF belongs to the line end, and every line end
/// written is CR LF. Every other byte of the page survives.
///
/// A page is rewritten only when a backup of its own exists ("stem.rep", the
/// stem cut at the last "." of the file's name; "name.rep" when that name is
/// another page's backup already). Both the backup and the new page are
/// written through CAtomicFile: the backup takes its name only when it is
/// whole, and the new page replaces the page in one rename, keeping its
/// permissions and owner, so at every instant the path holds the old or the
/// new page. A page reached through a symbolic link is repaired in the link's
/// target, and the link stays; its backup is named after the link.
///
/// The engine marks the rows it has repaired (repaired mark) and the files it
/// has finished (file-finished mark, on a group's first row), so a second run
/// skips what is done. It asks nothing; its one message (a URL not found) goes
/// through the host. It streams: memory does not grow with a page's size
/// beyond its longest line.
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

    CRepairEngine(CResultsModel& rows, ISessionHost& host);
    ~CRepairEngine();
    CRepairEngine(const CRepairEngine&) = delete;
    CRepairEngine& operator=(const CRepairEngine&) = delete;

    /// One repair run over every row of the list.
    SOutcome RepairLinks(ERepairType type);

    /// The names derived from a page's path.
    static std::string StemOf(const std::string& path);
    static std::string BackupPathOf(const std::string& path);
    /// The text after the last "/" (the whole path when it has none).
    static std::string FileNameOf(const std::string& path);

private:
    struct SState;

    bool OpenForRepair(const std::string& path);
    bool RepairLine(const std::string& url, const std::string& path, ERepairType type);
    bool FinishRepair();
    bool MakeOwnBackup(const std::string& path);
    void CloseAll();

    CResultsModel& m_rows;
    ISessionHost& m_host;
    std::unique_ptr<SState> m_pState;
};
