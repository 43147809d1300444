#pragma once

#include "app/CLinkvetDoc.h"

#include <QMainWindow>
#include <array>
#include <memory>

class CLinkvetView;
class CSettingsStore;
class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;

/// The main window: menus, toolbar, status bar with three panes of its own, and
/// two rows, the results list above the log. It remembers its placement and the
/// column widths, and asks before quitting while unrepaired results remain.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kQuitQuestion =
        "Not all of the bad URLs have been repaired\n\nDo you want to quit?";

    explicit CMainFrame(CSettingsStore& settings);
    ~CMainFrame() override;

    CLinkvetView& View() { return *m_view; }
    QPlainTextEdit& LogPane() { return *m_log; }
    QSplitter& Splitter() { return *m_splitter; }
    CLinkvetDoc& Document() { return m_doc; }

    /// Status panes 1 (connection) and 2 (HTTP method).
    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;
    /// The activity indicator, filling pane 3; owned by the status bar.
    QProgressBar* CreateActivityIndicator();

    /// The command with this design id ("ID_SELECT_FILES", ...), for tests.
    QAction* Action(const char* id) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RestorePlacement();
    void SavePlacement();
    void CreateActions();
    void CreateBars();
    void CreateClient();
    void UpdateCommandStates();
    void OnHelp(const QString& anchor);
    void OnNextPane();
    void OnAppAbout();

    CSettingsStore& m_settings;
    CLinkvetDoc m_doc;
    QSplitter* m_splitter = nullptr;
    CLinkvetView* m_view = nullptr;
    QPlainTextEdit* m_log = nullptr;
    std::array<QLabel*, 4> m_panes{};
    bool m_bShown = false;
};
