// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/CAboutDlg.h"
#include "dialogs/CHelpViewer.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>

class CLinkvetView;
class CSettingsStore;
class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;

/// The main window: menus, toolbar, status bar with three panes of its own, and
/// two rows, the results list above the log. It remembers its placement and the
/// list's height once they have settled, and closes only when the view agrees.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    /// How long placement and list height must stay put before they are stored.
    static constexpr int kSettleMs = 500;

    /// The commands of the menus, the toolbar and the keys.
    enum class ECommand {
        SelectFiles,
        ExportResults,
        RepairLinks,
        UndoRepairs,
        FilePrint,
        FilePrintPreview,
        FilePrintSetup,
        AppExit,
        ViewToolbar,
        ViewStatusBar,
        Preferences,
        StopTest,
        HelpFinder,
        AppAbout,
        Help,
        ContextHelp,
        NextPane,
        PrevPane,
        Count
    };
    static constexpr std::size_t kCommandCount = static_cast<std::size_t>(ECommand::Count);

    explicit CMainFrame(CSettingsStore& settings);
    /// Makes the images and the manual built into the program available; the
    /// window does it itself, before its first widget needs them.
    static void RegisterResources();
    ~CMainFrame() override;

    CLinkvetView& View() { return *m_view; }
    QPlainTextEdit& LogPane() { return *m_log; }
    QSplitter& Splitter() { return *m_splitter; }

    /// The text of status pane 0 to 3.
    QString PaneText(int pane) const;

    QAction* Action(ECommand command) const { return m_actions[static_cast<std::size_t>(command)]; }

    /// Which of the About box's links have been opened in this run.
    const SVisitedLinks& VisitedLinks() const { return m_visitedLinks; }

    /// The program's own view of the manual, once the desktop could not show it.
    CHelpViewer* HelpViewer() const { return m_pHelpViewer; }

    /// F1 in a dialog asks for the dialog's topic, Shift+F1 for help on a control.
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RestorePlacement();
    void SavePlacement();
    // Stores at once whatever has not been stored yet.
    void SaveLayout();
    void CreateActions();
    void CreateBars();
    void CreateClient();
    void UpdateCommandStates();
    void SetPaneText(int pane, const QString& text);
    void SetActivity(int position);
    void SetWhatsThis();
    // Opens the manual at the topic of a context number (HelpTopics) with the
    // desktop, or in the program's own viewer when the desktop cannot.
    void OnHelp(int context);
    void ShowHelpViewer(const std::string& anchor);
    void OnNextPane();
    void OnAppAbout();

    CSettingsStore& m_settings;
    SVisitedLinks m_visitedLinks;
    QSplitter* m_splitter = nullptr;
    CLinkvetView* m_view = nullptr;
    QPlainTextEdit* m_log = nullptr;
    std::array<QAction*, kCommandCount> m_actions{};
    // When each command is enabled; empty for those that always are.
    std::array<std::function<bool()>, kCommandCount> m_enabledRules;
    std::array<QLabel*, 4> m_panes{};
    QProgressBar* m_pActivity = nullptr; // made on first use, inside pane 3
    QPointer<CHelpViewer> m_pHelpViewer; // owned by the window it was opened over
    QTimer m_layoutTimer;                // restarted by every move, resize and splitter move
    bool m_bHeightMoved = false;
    bool m_bShown = false;
};
