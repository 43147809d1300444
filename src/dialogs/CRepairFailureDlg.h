// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class CRepairFailureDlg;
}

/// What the Repair Failure dialog shows, and what the user ticked.
struct SRepairFailure {
    std::string failedFile; ///< the page the run stopped in
    std::string nearUrl;    ///< the last URL the run took up; may be empty
    bool bIgnoreUrl = false;
};

/// "Repair Failure": where a repair run stopped, and whether to drop the row it
/// stopped at. The box counts only when the dialog closes with OK.
class CRepairFailureDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRepairFailureDlg(QWidget* parent);
    ~CRepairFailureDlg() override;

    /// Shows `failure` in the controls.
    void SetFailure(const SRepairFailure& failure);
    /// The failure with the ignore box as it was when OK was pressed.
    const SRepairFailure& Failure() const { return m_failure; }

private:
    /// Moves `m_failure` to the controls (false) or the ignore box to
    /// `m_failure` (true); the two texts are for reading only.
    void UpdateData(bool bSaveAndValidate);

    std::unique_ptr<Ui::CRepairFailureDlg> const m_ui;
    SRepairFailure m_failure;
};
