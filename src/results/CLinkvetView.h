#pragma once

#include "engine/CDeleteLater.h"
#include "engine/ISessionHost.h"

#include <QPointer>
#include <QPrinter>
#include <QProgressBar>
#include <QTableView>
#include <memory>
#include <string>

class CMainFrame;
class CResultsModel;
class CSettingsStore;
class CTestProgressDlg;
class CTestSession;
class QPlainTextEdit;

/// The results list, and the hub of the program: it owns the test session and
/// the results, handles every command, and shows what the test does (results,
/// log, status texts, progress window) as the session's host.
class CLinkvetView : public QTableView, public ISessionHost {
    Q_OBJECT
public:
    CLinkvetView(CSettingsStore& settings, CMainFrame& frame, QPlainTextEdit& logPane);
    ~CLinkvetView() override;

    /// The first showing: column widths from the settings, the log pane's font.
    void OnInitialUpdate();

    // Commands.
    void OnSelectFiles();
    void OnStopTest();
    void OnExportResults() {}
    void OnRepairLinks() {}
    void OnPreferences() {}
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

    CResultsModel& Results() { return *m_model; }
    CTestSession& Session() { return *m_session; }
    QPrinter& Printer() { return m_printer; }
    int BeepCount() const { return m_beepCount; }

    // ISessionHost
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& question) override;
    void Beep(BeepKind kind) override;
    void AppendLog(const std::string& text) override;
    void ClearLogAndResults() override;
    void AddResultRow(const SResultRow& row) override;
    void SetStatusPane(Pane pane, const std::string& text) override;
    void ShowProgress() override;
    void UpdateProgress(const SProgressValues& values) override;
    void CloseProgress() override;
    void SetActivityIndicator(int position) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

signals:
    /// The enabled state of some command may have changed.
    void CommandStatesChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CSettingsStore& m_settings;
    CMainFrame& m_frame;
    QPlainTextEdit& m_logPane;
    std::unique_ptr<CResultsModel> m_model;
    std::unique_ptr<CTestSession> m_session;
    LaterPtr<CTestProgressDlg> m_pProgressDlg;
    QPointer<QProgressBar> m_statusProgress; // owned by the status bar
    bool m_bIndicatorCreated = false;
    QPrinter m_printer;
    bool m_bInitialised = false;
    int m_waitCursorDepth = 0;
    int m_beepCount = 0;
    bool m_bLogScrollPending = false;
};
