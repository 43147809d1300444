// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CRepairDlg;
}

/// What the Repair dialog asks for.
struct SRepairChoice {
    int type = -1;             ///< a CRepairEngine::ERepairType; shown as 0 when out of range
    bool bSaveBadUrls = false; ///< export the list after the run
};

/// "URL Link Disable and File Repair": what to do with the line of each bad
/// link, and whether to export the list afterwards. The save box can be changed
/// only while Remove is chosen, but its state counts for every type.
class CRepairDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRepairDlg(QWidget* parent);
    ~CRepairDlg() override;

    /// Shows `choice` in the controls.
    void SetChoice(const SRepairChoice& choice);
    /// What the controls held when OK was pressed.
    const SRepairChoice& Choice() const { return m_choice; }

signals:
    /// The Help button: the manual is wanted at the repair topic.
    void HelpRequested();
    /// "Preview…": the changes of Choice()'s type are to be shown. The dialog
    /// stays open; whoever shows them may accept() it to repair at once.
    void PreviewRequested();

private:
    /// Moves `m_choice` to the controls (false) or the controls to `m_choice`
    /// (true), like dialog data exchange.
    void UpdateData(bool bSaveAndValidate);
    void OnTypeChanged();

    std::unique_ptr<Ui::CRepairDlg> const m_ui;
    SRepairChoice m_choice;
};
