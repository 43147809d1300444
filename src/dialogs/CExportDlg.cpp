// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CExportDlg.h"

#include "dialogs/RadioGroups.h"
#include "results/CDisplayText.h"
#include "ui_CExportDlg.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

namespace {

// Replaces the ending `from` of `path` by `to`, if something stands before it.
void SwitchEnding(std::string& path, std::string_view from, std::string_view to) {
    if (path.size() > from.size() && path.ends_with(from))
        path.replace(path.size() - from.size(), from.size(), to);
}

} // namespace

CExportDlg::CExportDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CExportDlg>()) {
    m_ui->setupUi(this);
    KeepTabOnCheckedRadio({m_ui->textRadio, m_ui->htmlRadio});
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] {
        if (UpdateData(true))
            accept();
    });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->browseButton, &QPushButton::clicked, this, &CExportDlg::OnBrowse);
    connect(m_ui->textRadio, &QRadioButton::clicked, this, &CExportDlg::OnFormatChanged);
    connect(m_ui->htmlRadio, &QRadioButton::clicked, this, &CExportDlg::OnFormatChanged);
    // A longer stored path is shown whole (see UpdateData); once it is short
    // enough the edit holds it to the limit again.
    connect(m_ui->pathEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.size() <= kMaxPathLength)
            m_ui->pathEdit->setMaxLength(kMaxPathLength);
    });
}

CExportDlg::~CExportDlg() = default;

void CExportDlg::SetChoice(const SExportChoice& choice) {
    m_choice = choice;
    UpdateData(false);
}

bool CExportDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        ReadControls();
        if (m_ui->pathEdit->text().size() <= kMaxPathLength)
            return true;
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Linkvet"),
                        QString::fromUtf8(kPathTooLongMessage), QMessageBox::Ok, this);
        box.exec();
        m_ui->pathEdit->setFocus();
        m_ui->pathEdit->selectAll();
        return false;
    }
    m_shownPath = CDisplayText::FromBytes(m_choice.path);
    // The edit would cut a longer text silently; the limit is checked when the
    // path is read back instead.
    m_ui->pathEdit->setMaxLength(
        static_cast<int>(std::clamp<qsizetype>(m_shownPath.size(), kMaxPathLength, 32767)));
    m_ui->pathEdit->setText(m_shownPath);
    // Auto-exclusive buttons cannot all be cleared, which an unknown format needs.
    m_ui->textRadio->setAutoExclusive(false);
    m_ui->htmlRadio->setAutoExclusive(false);
    m_ui->textRadio->setChecked(m_choice.format == 0);
    m_ui->htmlRadio->setChecked(m_choice.format == 1);
    m_ui->textRadio->setAutoExclusive(true);
    m_ui->htmlRadio->setAutoExclusive(true);
    return true;
}

void CExportDlg::ReadControls() {
    const QString text = m_ui->pathEdit->text();
    if (text != m_shownPath)
        m_choice.path = CDisplayText::PathToBytes(text);
    m_choice.format = m_ui->textRadio->isChecked() ? 0 : m_ui->htmlRadio->isChecked() ? 1 : -1;
}

void CExportDlg::OnFormatChanged() {
    ReadControls();
    if (m_choice.format == 1)
        SwitchEnding(m_choice.path, ".txt", ".html");
    if (m_choice.format == 0)
        SwitchEnding(m_choice.path, ".html", ".txt");
    UpdateData(false);
}

void CExportDlg::OnBrowse() {
    ReadControls();
    const bool bHtml = m_choice.format != 0;
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // the command asks before replacing
    dialog.setDefaultSuffix(bHtml ? QStringLiteral("html") : QStringLiteral("txt"));
    dialog.setNameFilters(
        {bHtml ? QStringLiteral("HTML Files (*.html)") : QStringLiteral("Text Files (*.txt)"),
         QStringLiteral("All Files (*)")});
    dialog.selectFile(CDisplayText::FromBytes(m_choice.path));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_choice.path = CDisplayText::PathToBytes(dialog.selectedFiles().constFirst());
    UpdateData(false);
    m_ui->okButton->setFocus();
}
