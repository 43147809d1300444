// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class CExportDlg;
}

/// What the Export dialog asks for.
struct SExportChoice {
    std::string path; ///< bytes, exactly as stored or typed
    int format = -1;  ///< 0 text, 1 HTML; -1 (or any other value): neither chosen
};

/// "Export Bad URLs": where to write the report, and as text or HTML. Switching
/// the format switches the path's ".txt" or ".html" ending with it.
class CExportDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxPathLength = 200;
    static constexpr const char* kPathTooLongMessage = "Please enter no more than 200 characters.";

    explicit CExportDlg(QWidget* parent);
    ~CExportDlg() override;

    /// Shows `choice` in the controls.
    void SetChoice(const SExportChoice& choice);
    /// What the controls held when OK was pressed.
    const SExportChoice& Choice() const { return m_choice; }

private:
    /// Moves `m_choice` to the controls (false) or the controls to `m_choice`
    /// (true), like dialog data exchange. Reading back a path longer than
    /// kMaxPathLength shows a notice, puts the keyboard on the path and
    /// returns false.
    bool UpdateData(bool bSaveAndValidate);
    // Reads the controls without checking the path's length.
    void ReadControls();
    void OnBrowse();
    void OnFormatChanged();

    std::unique_ptr<Ui::CExportDlg> const m_ui;
    SExportChoice m_choice;
    QString m_shownPath; // the path as last shown, to keep its bytes when untouched
};
