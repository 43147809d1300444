// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CCliCommands.h"

#include "cli/CCliHost.h"
#include "cli/CCliOptions.h"
#include "cli/CCliSignals.h"
#include "engine/CConcurrentSession.h"
#include "engine/CFileEnumerator.h"
#include "engine/CSessionBase.h"
#include "engine/CTestSession.h"
#include "engine/CUrlExclusions.h"
#include "engine/CUrlExtractor.h"
#include "engine/LogText.h"
#include "export/CGithubReport.h"
#include "export/CJsonReport.h"
#include "export/CMarkdownReport.h"
#include "export/CReportWriter.h"
#include "export/CSarifReport.h"
#include "repair/CRepairEngine.h"
#include "repair/CRestoreEngine.h"
#include "settings/CSettingsCreator.h"
#include "settings/CSettingsStore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// Where the program was started; "" when it cannot be told.
std::string CurrentFolder() {
    char* cwd = ::getcwd(nullptr, 0);
    std::string folder = cwd == nullptr ? "" : cwd;
    std::free(cwd);
    return folder;
}

constexpr const char* kUsage =
    "usage: linkvet-cli files [--all] [--recurse] [--html-only] PATH\n"
    "       linkvet-cli links [--current-web] [--local-links] FILE\n"
    "       linkvet-cli check [--all] [--recurse] [--html-only] [--filter CHARS]\n"
    "                         [--timeout SECONDS] [--report FORMAT [--output FILE]]\n"
    "                         [--repair 0|1|2 [--dry-run]] [--jobs N [--per-host M]]\n"
    "                         [--current-web] [--exclude REGEX]... [--exclude-file FILE]\n"
    "                         [--local-links [--root DIR]] PATH\n"
    "       linkvet-cli restore [--all] [--recurse] [--html-only] [--dry-run]\n"
    "                           [--keep-backups] [--force] PATH\n"
    "\n"
    "  files   the files a test of PATH takes, in test order, one per line\n"
    "          --all        PATH is a folder: test its files\n"
    "          --recurse    with --all: its sub-folders too\n"
    "          --html-only  only paths that look like HTML pages (.htm, .asp, ...)\n"
    "  links   the links of FILE in page order: URL, TAB, anchor name\n"
    "          --current-web  https links too\n"
    "          --local-links  links between the pages too (relative and #anchors),\n"
    "                         as the href value written in the page\n"
    "  check   tests the links of what `files` lists; each listed result is a line:\n"
    "          URL, TAB, reason, TAB, site name, TAB, file name; the log goes to\n"
    "          stderr. Exit status 0: nothing listed, 1: results listed, 2: the\n"
    "          test could not start, a file could not be read or a result or the\n"
    "          report could not be written; SIGINT (130) and SIGTERM (143) stop the test\n"
    "          --filter CHARS    21 characters, one per reason; 0 hides it\n"
    "          --timeout SECONDS how long a host may take (1 to 1000)\n"
    "          --http-port N, --ftp-port N  probe other ports than 80 and 21\n"
    "          --report FORMAT   after the test, the listed results as a report in\n"
    "                            text, html, json or sarif (with each link's line\n"
    "                            and column, for CI systems), junit (every tested\n"
    "                            link), markdown or github (workflow commands):\n"
    "                            on stdout instead of the lines, or with\n"
    "          --output FILE     in FILE (created or replaced), the lines on stdout\n"
    "          --repair 0|1|2    after the test, rewrites the line of each listed\n"
    "                            result: 0 comments it out, 1 puts the page's name\n"
    "                            in place of the URL, 2 removes it; each page is\n"
    "                            first copied to stem.rep. Exit status 3 when the\n"
    "                            repair fails\n"
    "          --dry-run         with --repair: nothing is written to the pages;\n"
    "                            the unified diff of what the repair would write\n"
    "                            comes instead of the lines (or with --output, in\n"
    "                            FILE), for patch -p1 from the current folder; the\n"
    "                            messages and exit status are the repair's\n"
    "          --jobs N          probes up to N links at once (1 to 1024; 1, the\n"
    "                            default, is the window's paced test); the same\n"
    "                            rows and log, in the same order\n"
    "          --per-host M      with --jobs: at most M connections to one host\n"
    "                            (1 to N, default 16)\n"
    "          --current-web     checks links as today's browsers do: https links\n"
    "                            too (verified against the system's trust store),\n"
    "                            an HTTP/1.1 request with a Host header, the port\n"
    "                            in the URL, redirects followed up to 5 hops\n"
    "                            (also on when the window's Preferences say so)\n"
    "          --exclude REGEX   skips the links whose URL REGEX (RE2 syntax) matches\n"
    "                            anywhere: not probed, not listed, counted apart in\n"
    "                            the log; may be given again. Without --exclude or\n"
    "                            --exclude-file, the window's Skip URLs list holds\n"
    "                            (Preferences); with either, only these patterns\n"
    "          --exclude-file FILE  a pattern a line; blank lines and lines that\n"
    "                            begin with # are passed over\n"
    "          --local-links     also checks the links between the pages on disk:\n"
    "                            relative links, links from the site's root (\"/\")\n"
    "                            and #anchors, listed as \"File Not Found\" or\n"
    "                            \"Anchor Not Found\" whatever the filter (also on\n"
    "                            when the window's Preferences say so)\n"
    "          --root DIR        with --local-links: the folder a link beginning\n"
    "                            with \"/\" starts from (default: PATH with --all,\n"
    "                            else the folder of PATH)\n"
    "  restore puts back each page that `files` lists from the backup a repair\n"
    "          kept beside it, when that backup is recorded as the page's own and\n"
    "          the page is as that repair left it; each page put back is a line,\n"
    "          each page left as it is a message on stderr. Exit status 0: every\n"
    "          page with a backup was put back, 3: some were not\n"
    "          --dry-run       lists what would be put back; nothing is touched\n"
    "          --keep-backups  keeps the backups (removed once the page is back)\n"
    "          --force         also puts back a page changed since its repair\n";

} // namespace

int CCliCommands::Run(const std::vector<std::string>& args) {
    const int status = RunCommand(args);
    if ((std::fflush(m_out) != 0 || std::ferror(m_out) != 0) && !m_bOutputFailureTold) {
        Error("linkvet-cli: cannot write the output");
        return kExitUnusable;
    }
    return status;
}

int CCliCommands::RunCommand(const std::vector<std::string>& args) {
    if (args.empty())
        return Usage("no command given");
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "files")
        return Files(rest);
    if (command == "links")
        return Links(rest);
    if (command == "check")
        return Check(rest);
    if (command == "restore")
        return Restore(rest);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, m_out);
        // Here only: a refused command line shows the commands, not these.
        std::fputs("  --help       this text (also -h or help)\n"
                   "  --version    the program's name and version\n",
                   m_out);
        return kExitOk;
    }
    if (command == "--version") {
        std::fputs("linkvet-cli " LINKVET_VERSION "\n", m_out);
        return kExitOk;
    }
    return Usage("unknown command: " + command);
}

namespace {

long CountLinks(const StringList& files, const CSessionBase& session,
                const CUrlExclusions& skipped) {
    const auto local =
        session.IsLocalLinks() ? CUrlExtractor::ELocal::Include : CUrlExtractor::ELocal::Skip;
    long count = 0;
    for (const std::string& file : files)
        CUrlExtractor::ExtractUrls(
            file, [&](const SFoundLink& link) { count += skipped.Matches(link.url) ? 0 : 1; },
            CUrlExtractor::LinksFor(session.IsCurrentWeb()), local);
    return count;
}

// Links done, in all and a second, redrawn four times a second.
void ShowProgress(QTimer& timer, const CSessionBase& session, CCliHost& host, long total) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer.setInterval(250);
    QObject::connect(&timer, &QTimer::timeout, [&session, &host, total, clock] {
        const double seconds = std::max(0.001, static_cast<double>(clock->elapsed()) / 1000.0);
        host.ShowStatusLine(
            std::to_string(session.LinksDone()) + " of " + std::to_string(total) + " links, " +
            std::to_string(static_cast<long>(static_cast<double>(session.LinksDone()) / seconds)) +
            " links/s");
    });
    timer.start();
}

// --jobs picks the session that runs the test.
std::unique_ptr<CSessionBase> MakeSession(const SCliOptions& options, ISessionHost& host,
                                          CSettingsStore& settings) {
    if (options.jobs == 1)
        return std::make_unique<CTestSession>(host, settings);
    return std::make_unique<CConcurrentSession>(host, settings, options.jobs, options.perHost);
}

std::string NowIso8601() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

// What the options and the session came to, for the reports that say so.
SReportRun RunOf(const SCliOptions& options, CSessionBase& session, std::string startTime) {
    SReportRun run;
    run.version = LINKVET_VERSION;
    run.startTime = std::move(startTime);
    run.endTime = NowIso8601();
    run.path = options.path;
    run.bAll = options.bAll;
    run.bRecurse = options.bRecurse;
    run.bHtmlOnly = options.bHtmlOnly;
    run.bCurrentWeb = session.IsCurrentWeb();
    run.bLocalLinks = session.LocalLinksTested();
    run.localRoot = session.LocalRoot();
    run.filter = session.Reasons().Filter();
    run.timeoutSeconds = session.Reasons().TimeoutSeconds();
    run.jobs = options.jobs;
    run.perHost = options.jobs > 1 ? options.perHost : 1;
    run.httpPort = options.httpPort;
    run.ftpPort = options.ftpPort;
    run.repair = options.repair;
    run.files = session.FilesRead();
    run.linksTested = session.LinksDone();
    return run;
}

} // namespace

int CCliCommands::ExitStatusOf(const SCheckOutcome& outcome) {
    if (!outcome.bRan || !outcome.bReportWritten || outcome.bOutputFailed)
        return kExitUnusable; // for a lost reader, Run says why
    if (outcome.stopSignal != 0)
        return 128 + outcome.stopSignal;
    if (outcome.bRepairAsked && !outcome.bRepaired)
        return kExitRepairFailed;
    if (outcome.bStoppedOnError)
        return kExitUnusable;
    return outcome.rowsListed > 0 ? kExitListed : kExitOk;
}

int CCliCommands::Files(const std::vector<std::string>& args) {
    SCliOptions options;
    if (const std::string problem = CCliOptions::Parse(CCliOptions::ECommand::Files, args, options);
        !problem.empty())
        return Usage(problem);
    if (!CheckPath(options.path, options.bAll))
        return kExitUnusable;
    for (const std::string& file : CFileEnumerator::CollectFiles(options.path, options.bRecurse,
                                                                 options.bAll, options.bHtmlOnly))
        WriteLine(file);
    return kExitOk;
}

int CCliCommands::Links(const std::vector<std::string>& args) {
    SCliOptions options;
    if (const std::string problem = CCliOptions::Parse(CCliOptions::ECommand::Links, args, options);
        !problem.empty())
        return Usage(problem);

    std::string line;
    auto print = [&](const SFoundLink& link) {
        line.assign(link.url).append(1, '\t').append(link.name);
        WriteLine(line);
    };
    if (!CUrlExtractor::ExtractUrls(
            options.path, print, CUrlExtractor::LinksFor(options.bCurrentWeb),
            options.bLocalLinks ? CUrlExtractor::ELocal::Include : CUrlExtractor::ELocal::Skip)) {
        Error("Cannot open file: " + options.path);
        return kExitUnusable;
    }
    return kExitOk;
}

int CCliCommands::Check(const std::vector<std::string>& args) {
    SCliOptions options;
    if (const std::string problem = CCliOptions::Parse(CCliOptions::ECommand::Check, args, options);
        !problem.empty())
        return Usage(problem);
    if (!CheckPath(options.path, options.bAll))
        return kExitUnusable;

    // The filter and time-out come from the settings, as the window's would.
    CSettingsStore settings;
    CSettingsCreator().OpenAndImport(settings);
    CCliHost host(m_out, m_err);
    // With --dry-run, --output takes the diff: without it the diff has stdout,
    // with it a report has stdout, as it has without --output.
    const bool bStdoutTaken = options.bDryRun ? options.output.empty() || options.report >= 0
                                              : options.report >= 0 && options.output.empty();
    if (options.report >= 0 || options.repair >= 0)
        host.KeepRows(!bStdoutTaken);
    if (options.report == static_cast<int>(CReportWriter::EFormat::Junit))
        host.KeepTestedLinks();

    // SIGINT and SIGTERM are the user's Stop Test. The signals stay caught until
    // the report is out, so none cuts it short.
    SCheckOutcome outcome;
    std::unique_ptr<CSessionBase> pSession;
    CCliSignals stopSignals([&](int signal) {
        if (pSession && pSession->IsTestRunning()) {
            pSession->OnStopTest();
            outcome.stopSignal = signal;
        }
    });
    pSession = MakeSession(options, host, settings);
    const std::string startTime = NowIso8601();
    outcome.bRan = RunTest(*pSession, options, host);
    outcome.bOutputFailed = host.OutputFailed();
    outcome.bRepairAsked = options.repair >= 0;
    if (outcome.bRan) {
        // A test stopped by a signal or a lost reader is not followed by a repair:
        // the user's pages are rewritten only when the user is still there to ask for it.
        bool bDiffWritten = true;
        outcome.bRepaired = outcome.bRepairAsked && outcome.stopSignal == 0 &&
                            !outcome.bOutputFailed &&
                            Repair(options, host, host.KeptRows(), bDiffWritten);
        if (!bDiffWritten)
            Error(CReportWriter::kWriteErrorMessage);
        // A stopped test still has its rows, and the window could export them too.
        const bool bReportWritten =
            options.report < 0 || WriteReport(options.report, options.bDryRun ? "" : options.output,
                                              host, RunOf(options, *pSession, startTime));
        if (!bReportWritten)
            Error(CReportWriter::kWriteErrorMessage);
        outcome.bReportWritten = bDiffWritten && bReportWritten;
    }
    outcome.bStoppedOnError = pSession->StoppedOnError();
    outcome.rowsListed = host.RowsListed();
    return ExitStatusOf(outcome);
}

bool CCliCommands::RunTest(CSessionBase& session, const SCliOptions& options, CCliHost& host) {
    if (!options.filter.empty())
        session.Reasons().SetFilter(options.filter);
    if (options.timeoutSeconds > 0)
        session.Reasons().SetTimeoutSeconds(options.timeoutSeconds);
    session.SetPorts(options.httpPort, options.ftpPort);
    if (options.bCurrentWeb)
        session.ForceCurrentWeb();
    if (options.bExclude)
        session.ForceExclusions(options.excludes);
    if (options.bLocalLinks)
        session.ForceLocalLinks(options.root);

    QEventLoop loop;
    QObject::connect(&session, &CSessionBase::TestFinished, &loop, &QEventLoop::quit);
    host.SetOnOutputFailed([&loop] { loop.quit(); }); // nobody reads: stop at once
    QTimer progress;
    if (options.jobs > 1 && ::isatty(fileno(m_err)) == 1) {
        CUrlExclusions skipped;
        skipped.SetPatterns(session.ExclusionPatterns());
        ShowProgress(progress, session, host,
                     CountLinks(CFileEnumerator::CollectFiles(options.path, options.bRecurse,
                                                              options.bAll, options.bHtmlOnly),
                                session, skipped));
    }
    session.StartTest(options.path, options.bRecurse, options.bAll, options.bHtmlOnly);
    const bool bRan = session.IsTestRunning(); // else the session has said why not
    if (bRan)
        loop.exec();
    progress.stop();
    host.ShowStatusLine("");
    host.SetOnOutputFailed(nullptr);
    return bRan;
}

bool CCliCommands::Repair(const SCliOptions& options, ISessionHost& host, CResultsModel& rows,
                          bool& bDiffWritten) {
    CRepairEngine engine(rows, host);
    const auto type = static_cast<CRepairEngine::ERepairType>(options.repair);
    CRepairEngine::SPreview preview;
    if (options.bDryRun)
        preview = engine.PreviewLinks(type);
    else
        preview.outcome = engine.RepairLinks(type);
    const CRepairEngine::SOutcome& outcome = preview.outcome;
    if (outcome.bOk) {
        Error(CRepairEngine::kCompletedMessage);
    } else {
        for (const std::string& line : {std::string("The URL Repair failed in file:"), outcome.file,
                                        std::string("Possibly near URL:"), outcome.url})
            Error(line);
    }
    if (options.bDryRun) {
        // What a failed run would have written too: the pages up to its stop.
        auto fill = [&preview](const CReportWriter::FnWrite& write) {
            return std::all_of(
                preview.pages.begin(), preview.pages.end(),
                [&write](const CRepairEngine::SPagePreview& page) { return write(page.diff); });
        };
        bDiffWritten = options.output.empty() ? WriteOut(fill)
                                              : CReportWriter::WriteFile(options.output, fill);
    }
    return outcome.bOk;
}

int CCliCommands::Restore(const std::vector<std::string>& args) {
    SCliOptions options;
    if (const std::string problem =
            CCliOptions::Parse(CCliOptions::ECommand::Restore, args, options);
        !problem.empty())
        return Usage(problem);
    if (!CheckPath(options.path, options.bAll))
        return kExitUnusable;
    CRestoreEngine engine;
    const CRestoreEngine::SOptions how{options.bDryRun, options.bKeepBackups, options.bForce};
    bool bAllBack = true;
    std::string message;
    for (const std::string& page : CFileEnumerator::CollectFiles(options.path, options.bRecurse,
                                                                 options.bAll, options.bHtmlOnly)) {
        switch (engine.RestorePage(page, how, &message)) {
        case CRestoreEngine::EResult::Restored:
            WriteLine(page);
            // Nobody reads which pages were put back: no more are.
            if (std::fflush(m_out) != 0 || std::ferror(m_out) != 0)
                return kExitUnusable;
            break;
        case CRestoreEngine::EResult::NothingToRestore:
            break;
        default:
            Error(message);
            bAllBack = false;
        }
    }
    return bAllBack ? kExitOk : kExitRepairFailed;
}

bool CCliCommands::WriteReport(int report, const std::string& output, const CCliHost& host,
                               const SReportRun& run) {
    using EFormat = CReportWriter::EFormat;
    const CResultsModel& rows = host.KeptRows();
    const std::string dateTime = LogText::LongDateTime();
    const CReportWriter::FnFill fill = [&](const CReportWriter::FnWrite& write) {
        switch (static_cast<EFormat>(report)) {
        case EFormat::Html:
            return CReportWriter::ExportHtml(rows, dateTime, write);
        case EFormat::Json:
            return CJsonReport::Write(rows, run, write);
        case EFormat::Sarif:
            return CSarifReport::Write(rows, run, CurrentFolder(), write);
        case EFormat::Junit:
            return host.TestedLinks().Export(rows, write);
        case EFormat::Markdown:
            return CMarkdownReport::Export(rows, write);
        case EFormat::Github:
            return CGithubReport::Export(rows, CurrentFolder(), write);
        case EFormat::Text:
            break;
        }
        return CReportWriter::ExportText(rows, write);
    };
    return output.empty() ? WriteOut(fill) : CReportWriter::WriteFile(output, fill);
}

bool CCliCommands::WriteOut(const CReportWriter::FnFill& fill) {
    const bool bWritten = fill([this](std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), m_out) == bytes.size();
    });
    if (bWritten && std::fflush(m_out) == 0 && std::ferror(m_out) == 0)
        return true;
    m_bOutputFailureTold = true; // the report's error says it: Run has nothing to add
    return false;
}

bool CCliCommands::CheckPath(const std::string& path, bool bAll) {
    std::string refusal = CFileEnumerator::CheckSelectedPath(path, bAll);
    if (!refusal.empty())
        Error(refusal);
    return refusal.empty();
}

int CCliCommands::Usage(const std::string& problem) {
    std::fprintf(m_err, "linkvet-cli: %s\n%s", problem.c_str(), kUsage);
    return kExitUnusable;
}

void CCliCommands::WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
}

void CCliCommands::Error(const std::string& message) {
    std::fwrite(message.data(), 1, message.size(), m_err);
    std::fputc('\n', m_err);
}
