// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CDeleteLater.h"
#include "engine/ISessionHost.h"

#include <QPrinter>
#include <QTableView>
#include <QTimer>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class CRepairEngine;
class CResultsModel;
class CSettingsStore;
class CSessionBase;
class CTestProgressDlg;
class QPlainTextEdit;
struct SPreviewPage;

/// The results list, and the hub of the program: it owns the test session and
/// the results, handles every command, and shows what the test does (results,
/// log, progress window) as the session's host. What belongs to the window
/// around it (status panes, activity indicator, command states) it announces
/// through its signals.
class CLinkvetView : public QTableView, public ISessionHost {
    Q_OBJECT
public:
    static constexpr const char* kQuitQuestion =
        "Not all of the bad URLs have been repaired\n\nDo you want to quit?";
    /// Follows the report's path in the question asked before replacing a file.
    static constexpr const char* kReplaceQuestion =
        "\nThis file already exists\n\nReplace existing file?";
    /// Asked before a repair when the last test met an outcome of no known reason.
    /// %s the number of pages.
    static constexpr const char* kUndoQuestion = "Put back %s pages from their backups?";
    static constexpr const char* kUndoneFormat = "%s pages were put back from their backups.";
    static constexpr const char* kNotUndoneHeading = "These pages could not be put back:";
    static constexpr const char* kUnknownReasonQuestion =
        "The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the window text.)\n\n"
        "Are you sure you want to repair now?";

    CLinkvetView(CSettingsStore& settings, QPlainTextEdit& logPane);
    ~CLinkvetView() override;

    /// The first showing: column widths from the settings, the log pane's font.
    void OnInitialUpdate();
    /// The window is about to close: drops the repaired rows and, when others
    /// remain, asks whether to quit. On yes (or with nothing left) empties the
    /// list, saves the column widths and returns true; on no returns false and
    /// saves nothing.
    bool QueryClose();

    // Commands.
    void OnSelectFiles();
    void OnStopTest();
    /// Asks for the report's path and format, then writes the report, whatever
    /// the list holds (a repair run may have emptied it).
    void OnExportResults();
    /// Asks how to repair, rewrites the pages of the listed links, tells how it
    /// went and, when asked to, exports the list afterwards. The dialog's
    /// Preview shows each page's changes first; repairing from there leaves the
    /// pages unticked in it alone.
    void OnRepairLinks();
    /// Puts back, after one question, every page this window has repaired from
    /// its own backup, says how many were and which could not be, and clears
    /// the marks of the restored pages' rows so they can be repaired again.
    void OnUndoRepairs();
    /// Lets the user edit the filter and the time-out; stores both on OK. Open
    /// during a test too: the test goes on meanwhile.
    void OnPreferences();
    void OnFilePrint();
    void OnFilePrintPreview();
    /// Prints on the current printer without asking.
    void OnFilePrintDirect();
    void OnFilePrintSetup();

    // Enabled states of the commands.
    bool CanSelectFiles() const;
    bool CanStopTest() const;
    bool CanExportResults() const;
    bool CanRepairLinks() const;
    bool CanUndoRepairs() const;

    /// The results, with every row the running test has listed so far.
    CResultsModel& Results() {
        FlushPending();
        return *m_pModel;
    }
    CSessionBase& Session() { return *m_pSession; }
    QPrinter& Printer() { return m_printer; }
    int BeepCount() const { return m_beepCount; }

    // ISessionHost
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& question) override;
    void Beep(EBeepKind kind) override;
    void AppendLog(const std::string& text) override;
    void ClearLogAndResults() override;
    void AddResultRow(const SResultRow& row) override;
    void SetStatusPane(EPane pane, const std::string& text) override;
    void ShowProgress() override;
    void UpdateProgress(const SProgressValues& values) override;
    void CloseProgress() override;
    void SetActivityIndicator(int position) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

signals:
    /// The enabled state of some command may have changed.
    void CommandStatesChanged();
    /// Status pane 1 (connection) or 2 (HTTP method) is to show `text`.
    void StatusPaneChanged(int pane, const QString& text);
    /// The activity indicator is to show `position` (0 empty, 1 full).
    void ActivityChanged(int position);
    /// The manual is wanted at the topic of `context` (HelpTopics).
    void HelpRequested(int context);

private:
    /// "Settings"/"Jobs" and "Settings"/"PerHost", kept within their ranges.
    std::pair<int, int> StoredJobs() const;
    /// Puts the rows and log lines held back so far into the list and the pane.
    void FlushPending();
    void InsertLog(const QString& lines);
    /// Makes the session the stored number of links at once asks for, the
    /// paced one for 1, before a test starts.
    void ChooseSession();
    /// What a repair of `type` would change, page by page, in list order. The
    /// engine's messages are kept for the pages they concern, not shown.
    std::vector<SPreviewPage> PreviewRepair(int type);
    /// Shows the preview of `type` over `dialog`; true when the user chose to
    /// repair from it, with the pages to leave alone in `skipped`.
    bool ShowRepairPreview(int type, QWidget* dialog, std::set<std::string>& skipped);

    CSettingsStore& m_settings;
    QPlainTextEdit& m_logPane;
    std::unique_ptr<CResultsModel> m_pModel;
    std::unique_ptr<CSessionBase> m_pSession;
    // One per results list: it knows which backups it has made for these rows.
    std::unique_ptr<CRepairEngine> m_pRepairEngine;
    /// The pages this window has repaired and not yet put back, as the rows name them.
    std::set<std::string> m_repairedPages;
    /// While set, messages for the user are kept here instead of shown.
    std::vector<std::string>* m_pHeldMessages = nullptr;
    LaterPtr<CTestProgressDlg> m_pProgressDlg;
    QPrinter m_printer;
    int m_jobs = 1; // what the session was made for
    int m_perHost = 1;
    int m_waitCursorDepth = 0;
    int m_beepCount = 0;
    bool m_bLogScrollPending = false;
    // While several links are checked at once, rows and log lines reach the
    // list and the pane in batches, at most kFlushMs apart.
    static constexpr int kFlushMs = 50;
    std::vector<SResultRow> m_pendingRows;
    QString m_pendingLog;
    QTimer m_flushTimer;
};
