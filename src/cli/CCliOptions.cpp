// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CCliOptions.h"

#include "base/AsciiText.h"
#include "base/CPosixFile.h"
#include "engine/CConcurrentSession.h"
#include "engine/CReasonFilter.h"
#include "engine/CUrlExclusions.h"
#include "export/CReportWriter.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <utility>

namespace {

struct SOption {
    std::string_view name;
    bool bTakesValue;
    /// Stores the option and its value; false when the value cannot be used.
    bool (*read)(SCliOptions& options, const std::string& value);
    const char* problem; ///< what is wrong when `read` refuses the value
};

// A whole decimal number from `low` to `high` into `number`, of nine digits at
// most (leading zeros included), as the program has always read them.
bool ReadNumber(const std::string& text, int low, int high, int& number) {
    const auto value = AsciiText::ParseDecimal(text, AsciiText::EDecimal::Whole, high);
    if (!value || *value < low || text.size() > 9)
        return false;
    number = static_cast<int>(*value);
    return true;
}

// The patterns of the regular file `path`, one a line, after those given before.
bool ReadExcludeFile(SCliOptions& options, const std::string& path) {
    CPosixFile file = CPosixFile::OpenRegularForReading(path);
    std::string text;
    char buffer[4096];
    ssize_t got = file.IsOpen() ? 1 : -1;
    while (got > 0) {
        got = file.Read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    for (std::string& pattern : CUrlExclusions::SplitLines(text))
        options.excludes.push_back(std::move(pattern));
    options.bExclude = true;
    return got == 0;
}

template <bool SCliOptions::*flag> bool SetFlag(SCliOptions& options, const std::string&) {
    options.*flag = true;
    return true;
}

constexpr SOption kAll{"--all", false, SetFlag<&SCliOptions::bAll>, nullptr};
constexpr SOption kRecurse{"--recurse", false, SetFlag<&SCliOptions::bRecurse>, nullptr};
constexpr SOption kHtmlOnly{"--html-only", false, SetFlag<&SCliOptions::bHtmlOnly>, nullptr};
constexpr SOption kCurrentWeb{"--current-web", false, SetFlag<&SCliOptions::bCurrentWeb>, nullptr};

constexpr SOption kLocalLinks{"--local-links", false, SetFlag<&SCliOptions::bLocalLinks>, nullptr};

constexpr SOption kFilesOptions[] = {kAll, kRecurse, kHtmlOnly};
constexpr SOption kRestoreOptions[] = {
    kAll,
    kRecurse,
    kHtmlOnly,
    {"--dry-run", false, SetFlag<&SCliOptions::bDryRun>, nullptr},
    {"--keep-backups", false, SetFlag<&SCliOptions::bKeepBackups>, nullptr},
    {"--force", false, SetFlag<&SCliOptions::bForce>, nullptr},
};
constexpr SOption kLinksOptions[] = {kCurrentWeb, kLocalLinks};
constexpr SOption kCheckOptions[] = {
    kAll,
    kRecurse,
    kHtmlOnly,
    kCurrentWeb,
    kLocalLinks,
    {"--root", true,
     [](SCliOptions& o, const std::string& v) {
         o.root = v;
         return CPosixFile::IsEnterableDirectory(v);
     },
     "--root takes a folder"},
    {"--filter", true,
     [](SCliOptions& o, const std::string& v) {
         o.filter = v;
         return v.size() == CReasonFilter::kReasonCount;
     },
     "--filter takes 21 characters, one per reason"},
    {"--timeout", true,
     [](SCliOptions& o, const std::string& v) { return ReadNumber(v, 1, 1000, o.timeoutSeconds); },
     "--timeout takes a number of seconds from 1 to 1000"},
    {"--http-port", true,
     [](SCliOptions& o, const std::string& v) { return ReadNumber(v, 1, 65535, o.httpPort); },
     "--http-port takes a port number from 1 to 65535"},
    {"--ftp-port", true,
     [](SCliOptions& o, const std::string& v) { return ReadNumber(v, 1, 65535, o.ftpPort); },
     "--ftp-port takes a port number from 1 to 65535"},
    {"--report", true,
     [](SCliOptions& o, const std::string& v) {
         using EFormat = CReportWriter::EFormat;
         // One format a line, so that formats added side by side merge cleanly.
         // clang-format off
         constexpr std::pair<std::string_view, EFormat> kFormats[] = {
             {"text", EFormat::Text},
             {"html", EFormat::Html},
             {"json", EFormat::Json},
             {"sarif", EFormat::Sarif},
             {"junit", EFormat::Junit},
             {"markdown", EFormat::Markdown},
             {"github", EFormat::Github},
         };
         // clang-format on
         for (const auto& [name, format] : kFormats)
             if (v == name) {
                 o.report = static_cast<int>(format);
                 return true;
             }
         return false;
     },
     "--report takes text, html, json, sarif, junit, markdown or github"},
    {"--repair", true,
     [](SCliOptions& o, const std::string& v) { return ReadNumber(v, 0, 2, o.repair); },
     "--repair takes 0, 1 or 2"},
    {"--dry-run", false, SetFlag<&SCliOptions::bDryRun>, nullptr},
    {"--jobs", true,
     [](SCliOptions& o, const std::string& v) {
         return ReadNumber(v, 1, CConcurrentSession::kMaxJobs, o.jobs);
     },
     "--jobs takes a number from 1 to 1024"},
    {"--per-host", true,
     [](SCliOptions& o, const std::string& v) {
         return ReadNumber(v, 1, CConcurrentSession::kMaxJobs, o.perHost);
     },
     "--per-host takes a number from 1 to the --jobs number"},
    {"--output", true,
     [](SCliOptions& o, const std::string& v) {
         o.output = v;
         return !v.empty();
     },
     "--output takes a file name"},
    {"--exclude", true,
     [](SCliOptions& o, const std::string& v) {
         o.excludes.push_back(v);
         o.bExclude = true;
         return !v.empty(); // an empty pattern would skip every link
     },
     "--exclude takes a pattern"},
    {"--exclude-file", true, ReadExcludeFile, "--exclude-file takes a file that can be read"},
};

std::span<const SOption> TableOf(CCliOptions::ECommand command) {
    switch (command) {
    case CCliOptions::ECommand::Files:
        return kFilesOptions;
    case CCliOptions::ECommand::Links:
        return kLinksOptions;
    case CCliOptions::ECommand::Restore:
        return kRestoreOptions;
    case CCliOptions::ECommand::Check:
        break;
    }
    return kCheckOptions;
}

} // namespace

std::string CCliOptions::Parse(ECommand command, const std::vector<std::string>& args,
                               SCliOptions& options) {
    const std::span<const SOption> table = TableOf(command);
    std::vector<std::string> paths;
    bool bOptionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (bOptionsDone || arg.size() < 2 || arg[0] != '-') {
            paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            bOptionsDone = true;
            continue;
        }
        const auto option = std::find_if(table.begin(), table.end(),
                                         [&arg](const SOption& row) { return row.name == arg; });
        if (option == table.end() || (option->bTakesValue && i + 1 == args.size()))
            return "unknown option or missing value: " + arg;
        if (!option->read(options, option->bTakesValue ? args[++i] : std::string()))
            return option->problem;
    }
    if (paths.size() != 1)
        return "exactly one path is needed";
    if (options.bDryRun && options.repair < 0 && command != ECommand::Restore)
        return "--dry-run needs --repair";
    if (options.bDryRun && options.report >= 0 && options.output.empty())
        return "--report with --dry-run needs --output for the diff";
    if (!options.output.empty() && options.report < 0 && !options.bDryRun)
        return "--output needs --report";
    if (!options.root.empty() && !options.bLocalLinks)
        return "--root needs --local-links";
    if (options.perHost > options.jobs)
        return "--per-host takes a number from 1 to the --jobs number";
    if (const std::string problem = CUrlExclusions().SetPatterns(options.excludes);
        !problem.empty())
        return problem;
    if (options.perHost == 0)
        options.perHost = std::min(CConcurrentSession::kDefaultPerHost, options.jobs);
    options.bRecurse = options.bRecurse && options.bAll; // sub-folders only with their folder
    options.path = paths.front();
    return std::string();
}
