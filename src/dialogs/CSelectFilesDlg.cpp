// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CSelectFilesDlg.h"

#include "results/CDisplayText.h"
#include "settings/CSettingsStore.h"
#include "ui_CSelectFilesDlg.h"

#include <QFileDialog>
#include <QPushButton>

CSelectFilesDlg::CSelectFilesDlg(CSettingsStore& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_ui(std::make_unique<Ui::CSelectFilesDlg>()) {
    m_ui->setupUi(this);
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] {
        UpdateData(true);
        accept();
    });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->browseButton, &QPushButton::clicked, this, &CSelectFilesDlg::OnBrowse);
    connect(m_ui->recurseCheck, &QCheckBox::clicked, this, &CSelectFilesDlg::OnRecurseClicked);
    connect(m_ui->allFilesCheck, &QCheckBox::clicked, this, &CSelectFilesDlg::OnAllFilesClicked);
}

CSelectFilesDlg::~CSelectFilesDlg() = default;

void CSelectFilesDlg::SetSelection(const SFileSelection& selection) {
    m_selection = selection;
    UpdateData(false);
}

void CSelectFilesDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        const QString text = m_ui->pathEdit->text();
        if (text != m_shownPath)
            m_selection.path = CDisplayText::PathToBytes(text);
        m_selection.bRecurse = m_ui->recurseCheck->isChecked();
        m_selection.bAllFiles = m_ui->allFilesCheck->isChecked();
        m_selection.bHtmlOnly = m_ui->htmlOnlyCheck->isChecked();
        return;
    }
    m_shownPath = CDisplayText::FromBytes(m_selection.path);
    m_ui->pathEdit->setText(m_shownPath);
    m_ui->recurseCheck->setChecked(m_selection.bRecurse);
    m_ui->allFilesCheck->setChecked(m_selection.bAllFiles);
    m_ui->htmlOnlyCheck->setChecked(m_selection.bHtmlOnly);
}

void CSelectFilesDlg::OnRecurseClicked() {
    UpdateData(true);
    if (m_selection.bRecurse)
        m_selection.bAllFiles = true;
    UpdateData(false);
}

void CSelectFilesDlg::OnAllFilesClicked() {
    UpdateData(true);
    if (!m_selection.bAllFiles)
        m_selection.bRecurse = false;
    UpdateData(false);
}

void CSelectFilesDlg::OnBrowse() {
    UpdateData(true);
    if (m_selection.bAllFiles) {
        const QString folder =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Folder to Test"));
        if (!folder.isEmpty()) {
            m_selection.path = CDisplayText::PathToBytes(folder);
            UpdateData(false);
        }
    } else {
        // Start in the folder of the last tested path.
        std::string start = m_settings.Get(SettingsKeys::kFileSelStarter);
        if (!start.empty()) {
            const std::size_t first = start.find('/');
            const std::size_t last = start.rfind('/');
            if (first != last)
                start.resize(last);
            if (start.back() != '/')
                start += '/';
        }
        const QString file =
            QFileDialog::getOpenFileName(this, QString(), CDisplayText::FromBytes(start));
        if (!file.isEmpty()) {
            m_selection.path = CDisplayText::PathToBytes(file);
            UpdateData(false);
        }
    }
    m_ui->okButton->setFocus();
}
