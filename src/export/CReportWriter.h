// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

class CResultsModel;

/// The two reports of the results list: tab-separated text and an HTML page.
///
/// Both walk the rows in list order, every row included, and group them on the
/// fly: a run of rows with the same file name is one group, and a name that
/// recurs after another group starts a group again. Every line ends in CR LF.
/// The text report holds the bytes as they are; the HTML report escapes `&`,
/// `<`, `>` and `"` in every text taken from the list, so a page under test
/// cannot put markup or script into it. Both stream: nothing is held beyond
/// the piece being written.
class CReportWriter {
public:
    /// Text and Html are this class's; the others have a class each.
    enum class EFormat {
        Text = 0,
        Html = 1,
        Json,     // CJsonReport
        Sarif,    // CSarifReport
        Junit,    // CJunitReport
        Markdown, // CMarkdownReport
        Github,   // CGithubReport
    };

    /// Where the HTML report's credit link leads: the maker's home page.
    static constexpr const char* kHomePage = "http://www.veldmark.example/";
    static constexpr const char* kWriteErrorMessage = "file write error";

    /// Takes the next bytes of a report; false when they could not be written.
    using FnWrite = std::function<bool(std::string_view bytes)>;

    /// Each returns false as soon as a write fails.
    static bool ExportText(const CResultsModel& rows, const FnWrite& write);
    /// `dateTime` is the start of the report, in the log's long form.
    static bool ExportHtml(const CResultsModel& rows, const std::string& dateTime,
                           const FnWrite& write);

    /// Writes the report in `format` to `path`, dated now, through CAtomicFile:
    /// a regular file, or a path where none exists yet, is replaced only by a
    /// complete report (a failed export leaves what stood there); a link's
    /// target is written; anything else there (a device, a pipe) is written
    /// directly. False when the file cannot be opened, or a write, the flush or
    /// the close fails.
    static bool WriteFile(const std::string& path, EFormat format, const CResultsModel& rows);

    /// Fills a file through the writer it is given; false as soon as a write fails.
    using FnFill = std::function<bool(const FnWrite& write)>;
    /// Writes what `fill` gives to `path`, as the report above is written.
    static bool WriteFile(const std::string& path, const FnFill& fill);
};
