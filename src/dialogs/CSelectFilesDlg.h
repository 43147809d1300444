#pragma once

#include <QDialog>
#include <memory>
#include <string>

class CSettingsStore;

namespace Ui {
class CSelectFilesDlg;
}

/// "Select File(s) to Test": one file, or a folder with its other files, its
/// sub-folders, or only its HTML-like files. The sub-folder box is only ever
/// checked together with the other-files box.
class CSelectFilesDlg : public QDialog {
    Q_OBJECT
public:
    CSelectFilesDlg(CSettingsStore& settings, QWidget* parent);
    ~CSelectFilesDlg() override;

    /// Moves the members to the controls (false) or the controls to the members
    /// (true), like dialog data exchange.
    void UpdateData(bool bSaveAndValidate);

    std::string m_strPath; ///< bytes, exactly as stored or typed
    bool m_bRecurse = false;
    bool m_bAllFiles = false;
    bool m_bFilter = false;

private:
    void OnBrowse();
    void OnRecurseClicked();
    void OnAllFilesClicked();

    CSettingsStore& m_settings;
    std::unique_ptr<Ui::CSelectFilesDlg> const m_ui;
    QString m_shownPath; // the path as last shown, to keep its bytes when untouched
};
