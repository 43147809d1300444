// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CRepairFailureDlg.h"

#include "results/CDisplayText.h"
#include "ui_CRepairFailureDlg.h"

CRepairFailureDlg::CRepairFailureDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CRepairFailureDlg>()) {
    m_ui->setupUi(this);
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] {
        UpdateData(true);
        accept();
    });
}

CRepairFailureDlg::~CRepairFailureDlg() = default;

void CRepairFailureDlg::SetFailure(const SRepairFailure& failure) {
    m_failure = failure;
    UpdateData(false);
}

void CRepairFailureDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        m_failure.bIgnoreUrl = m_ui->ignoreCheck->isChecked();
        return;
    }
    m_ui->fileEdit->setText(CDisplayText::FromBytes(m_failure.failedFile));
    m_ui->urlEdit->setText(CDisplayText::FromBytes(m_failure.nearUrl));
    m_ui->fileEdit->setCursorPosition(0);
    m_ui->urlEdit->setCursorPosition(0);
    m_ui->ignoreCheck->setChecked(m_failure.bIgnoreUrl);
}
