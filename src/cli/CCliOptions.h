// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

/// What the words after a linkvet-cli command's name ask for.
struct SCliOptions {
    bool bAll = false;
    bool bRecurse = false; ///< never without bAll
    bool bHtmlOnly = false;
    bool bCurrentWeb = false;
    bool bLocalLinks = false; ///< links between the pages too, checked on disk
    std::string root;         ///< with bLocalLinks: what a link beginning with "/" starts from
    std::string filter;       ///< "" keeps the stored filter
    int timeoutSeconds = 0;   ///< 0 keeps the stored time-out
    int httpPort = 80;
    int ftpPort = 21;
    int report = -1;    ///< a CReportWriter::EFormat, or -1 for none
    std::string output; ///< the report's file; "" for standard output
    int repair = -1;    ///< a CRepairEngine::ERepairType, or -1 for none
    int jobs = 1;       ///< 1: the paced test
    int perHost = 0;    ///< once read, from 1 to `jobs`
    std::string path;
    /// --exclude and --exclude-file: the patterns of the URLs the test skips,
    /// in place of the stored ones when `bExclude`.
    std::vector<std::string> excludes;
    bool bExclude = false;

    /// With `repair`: the diff of what the repair would write, to `output`
    /// (else standard output), instead of the repair. For `restore`: the pages
    /// it would put back, and nothing touched.
    bool bDryRun = false;
    bool bKeepBackups = false; ///< for `restore`: the backups stay
    bool bForce = false;       ///< for `restore`: pages changed since their repair too
};

/// Reads the options of one linkvet-cli command.
///
/// Each command has a table of the options it takes: a row names an option,
/// says whether a value follows it, and reads and checks that value. Any other
/// word beginning with '-' is refused; "-" itself, a word without a leading
/// '-' and every word after "--" is the path.
class CCliOptions {
public:
    enum class ECommand { Files, Links, Check, Restore };

    /// Reads `args` by the table of `command` into `options`. Returns "" or what
    /// is wrong, as the usage message says it.
    static std::string Parse(ECommand command, const std::vector<std::string>& args,
                             SCliOptions& options);
};
