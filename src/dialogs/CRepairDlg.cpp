// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CRepairDlg.h"

#include "dialogs/RadioGroups.h"
#include "ui_CRepairDlg.h"

CRepairDlg::CRepairDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CRepairDlg>()) {
    m_ui->setupUi(this);
    KeepTabOnCheckedRadio({m_ui->disableRadio, m_ui->replaceRadio, m_ui->removeRadio});
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] {
        UpdateData(true);
        accept();
    });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CRepairDlg::HelpRequested);
    connect(m_ui->previewButton, &QPushButton::clicked, this, [this] {
        UpdateData(true);
        emit PreviewRequested();
    });
    for (QRadioButton* radio : {m_ui->disableRadio, m_ui->replaceRadio, m_ui->removeRadio})
        connect(radio, &QRadioButton::clicked, this, &CRepairDlg::OnTypeChanged);
}

CRepairDlg::~CRepairDlg() = default;

void CRepairDlg::SetChoice(const SRepairChoice& choice) {
    m_choice = choice;
    UpdateData(false);
}

void CRepairDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        m_choice.type = m_ui->replaceRadio->isChecked()  ? 1
                        : m_ui->removeRadio->isChecked() ? 2
                                                         : 0;
        m_choice.bSaveBadUrls = m_ui->saveCheck->isChecked();
        return;
    }
    // An unknown stored type would leave no button chosen; the harmless one is.
    m_ui->replaceRadio->setChecked(m_choice.type == 1);
    m_ui->removeRadio->setChecked(m_choice.type == 2);
    m_ui->disableRadio->setChecked(m_choice.type != 1 && m_choice.type != 2);
    m_ui->saveCheck->setChecked(m_choice.bSaveBadUrls);
    OnTypeChanged();
}

void CRepairDlg::OnTypeChanged() {
    UpdateData(true);
    m_ui->saveCheck->setEnabled(m_choice.type == 2);
}
