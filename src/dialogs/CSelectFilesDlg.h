// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>
#include <string>

class CSettingsStore;

namespace Ui {
class CSelectFilesDlg;
}

/// What the Select File(s) dialog asks for.
struct SFileSelection {
    std::string path; ///< bytes, exactly as stored or typed
    bool bRecurse = false;
    bool bAllFiles = false;
    bool bHtmlOnly = false;
};

/// "Select File(s) to Test": one file, or a folder with its other files, its
/// sub-folders, or only its HTML-like files. The sub-folder box is only ever
/// checked together with the other-files box.
class CSelectFilesDlg : public QDialog {
    Q_OBJECT
public:
    CSelectFilesDlg(CSettingsStore& settings, QWidget* parent);
    ~CSelectFilesDlg() override;

    /// Shows `selection` in the controls.
    void SetSelection(const SFileSelection& selection);
    /// What the controls held when OK was pressed.
    const SFileSelection& Selection() const { return m_selection; }

private:
    /// Moves `m_selection` to the controls (false) or the controls to it
    /// (true), like dialog data exchange.
    void UpdateData(bool bSaveAndValidate);
    void OnBrowse();
    void OnRecurseClicked();
    void OnAllFilesClicked();

    CSettingsStore& m_settings;
    std::unique_ptr<Ui::CSelectFilesDlg> const m_ui;
    SFileSelection m_selection;
    QString m_shownPath; // the path as last shown, to keep its bytes when untouched
};
