// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"
#include "export/SReportRun.h"

#include <cstdio>
#include <string>
#include <vector>

class CCliHost;
struct SCliOptions;
class CResultsModel;
class CSessionBase;
class ISessionHost;

/// The commands of linkvet-cli. Output is written as the program's own bytes,
/// one line per item, each ended by a line feed.
///
/// Exit status: 0 on success (for `check`: nothing listed), 1 when `check`
/// listed results, 2 when the input cannot be used (a one-line message, or the
/// program's own message, goes to `err`) or `out` cannot be written (`check`
/// stops at the first result it cannot write), 128 + the signal's number when
/// SIGINT or SIGTERM stopped `check`. A report that cannot be written whole
/// gives "file write error" on `err` and 2, and so does a dry run's diff. A
/// repair that fails (or, in a dry run, would fail), or a restore that leaves a
/// page as it is, gives 3.
class CCliCommands {
public:
    CCliCommands(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

    /// `args` are the words after the program name.
    int Run(const std::vector<std::string>& args);

    static constexpr int kExitOk = 0;
    static constexpr int kExitListed = 1;
    static constexpr int kExitUnusable = 2;
    static constexpr int kExitRepairFailed = 3;

    /// What a `check` came to.
    struct SCheckOutcome {
        bool bRan = false;          ///< a test started: there were files to test
        int stopSignal = 0;         ///< the signal that stopped the test, or 0
        bool bOutputFailed = false; ///< a result could not be written
        bool bRepairAsked = false;
        bool bRepaired = false;
        bool bReportWritten = true;   ///< no report or diff was asked for, or it was written whole
        bool bStoppedOnError = false; ///< a file of the test could not be read
        int rowsListed = 0;
    };
    /// The exit status of a `check` that came to `outcome`.
    static int ExitStatusOf(const SCheckOutcome& outcome);

private:
    int RunCommand(const std::vector<std::string>& args);
    int Files(const std::vector<std::string>& args);
    int Links(const std::vector<std::string>& args);
    int Check(const std::vector<std::string>& args);
    /// Puts back the pages under PATH from their backups: 0 when every one with
    /// a backup is back, 3 when some are not.
    int Restore(const std::vector<std::string>& args);
    /// Runs the test `options` ask for on `session` until it ends, a signal
    /// stops it or nobody reads its results; false when it could not start.
    bool RunTest(CSessionBase& session, const SCliOptions& options, CCliHost& host);
    /// Writes the report of the rows `host` kept, with `run`, in format
    /// `report` to `output`, or to `out` when `output` is empty; false when any
    /// of it cannot be written.
    bool WriteReport(int report, const std::string& output, const CCliHost& host,
                     const SReportRun& run);
    /// Repairs `rows` as `options` ask, or with `bDryRun` writes the diff of
    /// what the repair would write (to `output`, else `out`); says how it went
    /// on `err` (messages from the run itself go through `host`). False when
    /// the repair failed; `bDiffWritten` false when the diff could not be written whole.
    bool Repair(const SCliOptions& options, ISessionHost& host, CResultsModel& rows,
                bool& bDiffWritten);
    /// Writes what `fill` gives to `out`; false when any of it cannot be written.
    bool WriteOut(const CReportWriter::FnFill& fill);
    /// Checks PATH as the Select File(s) command does; says why not on `err`.
    bool CheckPath(const std::string& path, bool bAll);
    int Usage(const std::string& problem);
    void WriteLine(const std::string& line);
    void Error(const std::string& message);

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_bOutputFailureTold = false;
};
