// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPlainTextEdit;

/// A page as the preview shows it.
struct SPreviewPage {
    std::string file;    ///< as the rows name it
    int changes = 0;     ///< rows the repair changes in it
    std::string diff;    ///< a unified diff of what the repair writes there
    std::string problem; ///< why the repair would not go through on it, or empty
};

/// "Repair Preview": each page the repair would change, with its number of
/// changes and a tick that decides whether the repair touches it, and the
/// unified diff of the page chosen in the list. Pages with a problem (a URL
/// that would not be found, a page the repair would refuse) say so and start
/// unticked; the others start ticked.
///
/// The list holds a line per page, and only the chosen page's diff is laid
/// out, shown up to kShownDiffLines lines with a line that says how many more
/// there are: a preview of thousands of pages opens at once.
class CRepairPreviewDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShownDiffLines = 5000;

    CRepairPreviewDlg(QWidget* parent, std::vector<SPreviewPage> pages);
    ~CRepairPreviewDlg() override;

    /// The pages unticked when "Repair" was pressed: the repair leaves them alone.
    std::set<std::string> SkippedFiles() const;
    /// The diff pane, for what it shows.
    const QPlainTextEdit& DiffView() const { return *m_pDiff; }

signals:
    void HelpRequested();

private:
    void ShowPage(int index);

    std::vector<SPreviewPage> m_pages;
    QListWidget* m_pList = nullptr;
    QPlainTextEdit* m_pDiff = nullptr;
    QLabel* m_pSummary = nullptr;
};
