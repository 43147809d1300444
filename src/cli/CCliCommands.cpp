#include "cli/CCliCommands.h"

#include "base/AsciiText.h"
#include "cli/CCliHost.h"
#include "cli/CCliSignals.h"
#include "engine/CConcurrentSession.h"
#include "engine/CFileEnumerator.h"
#include "engine/CTestSession.h"
#include "engine/CUrlExtractor.h"
#include "engine/LogText.h"
#include "export/CReportWriter.h"
#include "repair/CRepairEngine.h"
#include "settings/CSettingsStore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <climits>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: linkvet-cli files [--all] [--recurse] [--html-only] PATH\n"
    "       linkvet-cli links [--current-web] FILE\n"
    "       linkvet-cli check [--all] [--recurse] [--html-only] [--filter CHARS]\n"
    "                         [--timeout SECONDS] [--report text|html [--output FILE]]\n"
    "                         [--repair 0|1|2] [--jobs N [--per-host M]]\n"
    "                         [--current-web] PATH\n"
    "\n"
    "  files   the files a test of PATH takes, in test order, one per line\n"
    "          --all        PATH is a folder: test its files\n"
    "          --recurse    with --all: its sub-folders too\n"
    "          --html-only  only paths that look like HTML pages (.htm, .asp, ...)\n"
    "  links   the links of FILE in page order: URL, TAB, anchor name\n"
    "          --current-web  https links too\n"
    "  check   tests the links of what `files` lists; each listed result is a line:\n"
    "          URL, TAB, reason, TAB, site name, TAB, file name; the log goes to\n"
    "          stderr. Exit status 0: nothing listed, 1: results listed, 2: the\n"
    "          test could not start, a file could not be read or a result or the\n"
    "          report could not be written; SIGINT (130) and SIGTERM (143) stop the test\n"
    "          --filter CHARS    21 characters, one per reason; 0 hides it\n"
    "          --timeout SECONDS how long a host may take (1 to 1000)\n"
    "          --http-port N, --ftp-port N  probe other ports than 80 and 21\n"
    "          --report text|html  after the test, the listed results as a report:\n"
    "                            on stdout instead of the lines, or with\n"
    "          --output FILE     in FILE (created or replaced), the lines on stdout\n"
    "          --repair 0|1|2    after the test, rewrites the line of each listed\n"
    "                            result: 0 comments it out, 1 puts the page's name\n"
    "                            in place of the URL, 2 removes it; each page is\n"
    "                            first copied to stem.rep. Exit status 3 when the\n"
    "                            repair fails\n"
    "          --jobs N          probes up to N links at once (1 to 1024; 1, the\n"
    "                            default, is the window's paced test); the same\n"
    "                            rows and log, in the same order\n"
    "          --per-host M      with --jobs: at most M connections to one host\n"
    "                            (1 to N, default 16)\n"
    "          --current-web     checks links as today's browsers do: https links\n"
    "                            too (verified against the system's trust store),\n"
    "                            an HTTP/1.1 request with a Host header, the port\n"
    "                            in the URL, redirects followed up to 5 hops\n"
    "                            (also on when the window's Preferences say so)\n";

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
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, m_out);
        return kExitOk;
    }
    return Usage("unknown command: " + command);
}

namespace {

// The options of all commands; each command says which it takes.
struct SOptions {
    bool bAll = false;
    bool bRecurse = false;
    bool bHtmlOnly = false;
    std::string filter;
    long timeout = -1;
    long httpPort = 80;
    long ftpPort = 21;
    int report = -1; // a CReportWriter::EFormat, or none
    int repair = -1; // a CRepairEngine::ERepairType, or none
    std::string output;
    long jobs = 1;
    long perHost = -1;
    bool bCurrentWeb = false;
    std::vector<std::string> paths;
};

// A whole decimal number from `low` to `high`, or -1.
long ParseNumber(const std::string& text, long low, long high) {
    const auto value = AsciiText::ParseDecimal(text, AsciiText::EDecimal::Whole, high);
    return value && *value >= low ? static_cast<long>(*value) : -1;
}

long CountLinks(const StringList& files, bool bCurrentWeb) {
    long count = 0;
    for (const std::string& file : files)
        CUrlExtractor::ExtractUrls(
            file, [&count](const std::string&, const std::string&) { ++count; },
            CUrlExtractor::LinksFor(bCurrentWeb));
    return count;
}

// Links done, in all and a second, redrawn four times a second.
void ShowProgress(QTimer& timer, const CConcurrentSession& session, CCliHost& host, long total) {
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

// Reads `args` into `options`; returns "" or what is wrong. `bSelection` allows
// --all, --recurse and --html-only, `bTest` the options of a test run.
std::string ParseOptions(const std::vector<std::string>& args, bool bSelection, bool bTest,
                         SOptions& options) {
    bool bOptionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool bHasValue = i + 1 < args.size();
        if (bOptionsDone || arg.size() < 2 || arg[0] != '-') {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            bOptionsDone = true;
        } else if (bSelection && arg == "--all") {
            options.bAll = true;
        } else if (bSelection && arg == "--recurse") {
            options.bRecurse = true;
        } else if (bSelection && arg == "--html-only") {
            options.bHtmlOnly = true;
        } else if ((bTest || !bSelection) && arg == "--current-web") {
            options.bCurrentWeb = true; // links and check
        } else if (bTest && arg == "--filter" && bHasValue) {
            options.filter = args[++i];
            if (options.filter.size() != CReasonFilter::kReasonCount)
                return "--filter takes 21 characters, one per reason";
        } else if (bTest && arg == "--timeout" && bHasValue) {
            if ((options.timeout = ParseNumber(args[++i], 1, 1000)) < 0)
                return "--timeout takes a number of seconds from 1 to 1000";
        } else if (bTest && (arg == "--http-port" || arg == "--ftp-port") && bHasValue) {
            long& port = arg == "--http-port" ? options.httpPort : options.ftpPort;
            if ((port = ParseNumber(args[++i], 1, 65535)) < 0)
                return arg + " takes a port number from 1 to 65535";
        } else if (bTest && arg == "--report" && bHasValue) {
            const std::string& format = args[++i];
            if (format != "text" && format != "html")
                return "--report takes text or html";
            options.report = static_cast<int>(format == "html" ? CReportWriter::EFormat::Html
                                                               : CReportWriter::EFormat::Text);
        } else if (bTest && arg == "--repair" && bHasValue) {
            if ((options.repair = static_cast<int>(ParseNumber(args[++i], 0, 2))) < 0)
                return "--repair takes 0, 1 or 2";
        } else if (bTest && arg == "--jobs" && bHasValue) {
            if ((options.jobs = ParseNumber(args[++i], 1, CConcurrentSession::kMaxJobs)) < 0)
                return "--jobs takes a number from 1 to 1024";
        } else if (bTest && arg == "--per-host" && bHasValue) {
            if ((options.perHost = ParseNumber(args[++i], 1, CConcurrentSession::kMaxJobs)) < 0)
                return "--per-host takes a number from 1 to the --jobs number";
        } else if (bTest && arg == "--output" && bHasValue) {
            if ((options.output = args[++i]).empty())
                return "--output takes a file name";
        } else {
            return "unknown option or missing value: " + arg;
        }
    }
    if (options.paths.size() != 1)
        return "exactly one path is needed";
    if (!options.output.empty() && options.report < 0)
        return "--output needs --report";
    if (options.perHost > options.jobs)
        return "--per-host takes a number from 1 to the --jobs number";
    options.bRecurse = options.bRecurse && options.bAll; // sub-folders only with their folder
    return std::string();
}

} // namespace

int CCliCommands::Files(const std::vector<std::string>& args) {
    SOptions options;
    std::string problem = ParseOptions(args, true, false, options);
    if (!problem.empty())
        return Usage(problem);
    if (!CheckPath(options.paths[0], options.bAll))
        return kExitUnusable;
    for (const std::string& file : CFileEnumerator::CollectFiles(options.paths[0], options.bRecurse,
                                                                 options.bAll, options.bHtmlOnly))
        WriteLine(file);
    return kExitOk;
}

int CCliCommands::Links(const std::vector<std::string>& args) {
    SOptions options;
    std::string problem = ParseOptions(args, false, false, options);
    if (!problem.empty())
        return Usage(problem);

    std::string line;
    auto print = [&](const std::string& url, const std::string& name) {
        line.assign(url).append(1, '\t').append(name);
        WriteLine(line);
    };
    if (!CUrlExtractor::ExtractUrls(options.paths[0], print,
                                    CUrlExtractor::LinksFor(options.bCurrentWeb))) {
        Error("Cannot open file: " + options.paths[0]);
        return kExitUnusable;
    }
    return kExitOk;
}

int CCliCommands::Check(const std::vector<std::string>& args) {
    SOptions options;
    std::string problem = ParseOptions(args, true, true, options);
    if (!problem.empty())
        return Usage(problem);
    if (!CheckPath(options.paths[0], options.bAll))
        return kExitUnusable;

    // The filter and time-out come from the settings, as the window's would.
    CSettingsStore settings;
    settings.OpenAndImport();
    QEventLoop loop;
    CCliHost host(m_out, m_err);
    if (options.report >= 0 || options.repair >= 0)
        host.KeepRows(options.report < 0 || !options.output.empty());
    host.SetOnOutputFailed([&loop] { loop.quit(); }); // nobody reads: stop at once

    // SIGINT and SIGTERM are the user's Stop Test. The signals stay caught until
    // the report is out, so none cuts it short.
    int stopSignal = 0;
    std::function<bool()> stopTest; // false when no test runs
    CCliSignals stopSignals([&](int signal) {
        if (stopTest && stopTest())
            stopSignal = signal;
    });

    // Both sessions have the same face; --jobs picks the one that runs.
    auto runTest = [&](auto& session) {
        if (!options.filter.empty())
            session.Reasons().SetFilter(options.filter);
        if (options.timeout > 0)
            session.Reasons().SetTimeoutSeconds(static_cast<int>(options.timeout));
        session.SetPorts(static_cast<int>(options.httpPort), static_cast<int>(options.ftpPort));
        if (options.bCurrentWeb)
            session.ForceCurrentWeb();
        QObject::connect(&session, &std::remove_reference_t<decltype(session)>::TestFinished, &loop,
                         &QEventLoop::quit);
        session.StartTest(options.paths[0], options.bRecurse, options.bAll, options.bHtmlOnly);
        if (!session.IsTestRunning())
            return false; // nothing to test: the session has said why
        stopTest = [&session] {
            if (!session.IsTestRunning())
                return false; // the test ended on its own first
            session.OnStopTest();
            return true;
        };
        loop.exec();
        stopTest = nullptr;
        return true;
    };
    bool bRan = false;
    bool bStoppedOnError = false;
    if (options.jobs == 1) {
        CTestSession session(host, settings);
        bRan = runTest(session);
        bStoppedOnError = session.StoppedOnError();
    } else {
        const long perHost =
            options.perHost > 0 ? options.perHost
                                : std::min<long>(CConcurrentSession::kDefaultPerHost, options.jobs);
        CConcurrentSession session(host, settings, static_cast<int>(options.jobs),
                                   static_cast<int>(perHost));
        QTimer progress;
        if (::isatty(fileno(m_err)) == 1)
            ShowProgress(
                progress, session, host,
                CountLinks(CFileEnumerator::CollectFiles(options.paths[0], options.bRecurse,
                                                         options.bAll, options.bHtmlOnly),
                           options.bCurrentWeb ||
                               settings.Get(SettingsKeys::kSettingsCurrentWeb) != 0));
        bRan = runTest(session);
        progress.stop();
        host.ShowStatusLine("");
        bStoppedOnError = session.StoppedOnError();
    }
    if (!bRan)
        return kExitUnusable;
    // A test stopped by a signal or a lost reader is not followed by a repair:
    // the user's pages are rewritten only when the user is still there to ask for it.
    const bool bRepaired = options.repair >= 0 && stopSignal == 0 && !host.OutputFailed() &&
                           Repair(options.repair, host, host.KeptRows());
    // A stopped test still has its rows, and the window could export them too.
    // The signals stay caught until the report is out, so none cuts it short.
    if (options.report >= 0 && !WriteReport(options.report, options.output, host.KeptRows())) {
        Error(CReportWriter::kWriteErrorMessage);
        return kExitUnusable;
    }
    if (host.OutputFailed())
        return kExitUnusable; // Run says why
    if (stopSignal != 0)
        return 128 + stopSignal;
    if (options.repair >= 0 && !bRepaired)
        return kExitRepairFailed;
    if (bStoppedOnError)
        return kExitUnusable;
    return host.RowsListed() > 0 ? kExitListed : kExitOk;
}

bool CCliCommands::Repair(int type, ISessionHost& host, CResultsModel& rows) {
    CRepairEngine engine(rows, host);
    const CRepairEngine::SOutcome outcome =
        engine.RepairLinks(static_cast<CRepairEngine::ERepairType>(type));
    if (outcome.bOk) {
        Error(CRepairEngine::kCompletedMessage);
        return true;
    }
    for (const std::string& line : {std::string("The URL Repair failed in file:"), outcome.file,
                                    std::string("Possibly near URL:"), outcome.url})
        Error(line);
    return false;
}

bool CCliCommands::WriteReport(int report, const std::string& output, const CResultsModel& rows) {
    const auto format = static_cast<CReportWriter::EFormat>(report);
    if (!output.empty())
        return CReportWriter::WriteFile(output, format, rows);
    auto write = [this](std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), m_out) == bytes.size();
    };
    const bool bWritten = format == CReportWriter::EFormat::Html
                              ? CReportWriter::ExportHtml(rows, LogText::LongDateTime(), write)
                              : CReportWriter::ExportText(rows, write);
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
