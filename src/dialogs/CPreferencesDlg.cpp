// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CPreferencesDlg.h"

#include "base/AsciiText.h"
#include "engine/CReasonFilter.h"
#include "engine/CUrlExclusions.h"
#include "results/CDisplayText.h"
#include "ui_CPreferencesDlg.h"

#include <QMessageBox>

CPreferencesDlg::CPreferencesDlg(QWidget* parent, CReasonFilter& reasons)
    : QDialog(parent), m_reasons(reasons), m_ui(std::make_unique<Ui::CPreferencesDlg>()) {
    m_ui->setupUi(this);
    // Room for "1000" and a little more, whatever the font.
    const int width =
        m_ui->timeoutEdit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16;
    for (QLineEdit* edit : {m_ui->timeoutEdit, m_ui->jobsEdit, m_ui->perHostEdit})
        edit->setFixedWidth(width);
    m_ui->reasonList->AddReasonItems();
    m_ui->reasonList->SetChecks(m_reasons.Filter());
    connect(m_ui->okButton, &QPushButton::clicked, this, &CPreferencesDlg::OnOK);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CPreferencesDlg::HelpRequested);
    connect(m_ui->hawkButton, &QPushButton::clicked, this, [this] { OnPreset(kHawkFilter); });
    connect(m_ui->oneEyeButton, &QPushButton::clicked, this,
            [this] { OnPreset(CReasonFilter::kOneEyeShutFilter); });
}

CPreferencesDlg::~CPreferencesDlg() = default;

void CPreferencesDlg::SetPrefs(const SPreferences& prefs) {
    m_prefs = prefs;
    UpdateData(false);
}

bool CPreferencesDlg::UpdateData(bool bSaveAndValidate) {
    if (!bSaveAndValidate) {
        m_ui->timeoutEdit->setText(QString::number(m_prefs.timeoutSeconds));
        m_ui->currentWebCheck->setChecked(m_prefs.bCurrentWeb);
        m_ui->localLinksCheck->setChecked(m_prefs.bLocalLinks);
        m_ui->skipUrlsEdit->setPlainText(CDisplayText::FromBytes(m_prefs.skipUrls));
        m_ui->jobsEdit->setText(QString::number(m_prefs.jobs));
        m_ui->perHostEdit->setText(QString::number(m_prefs.perHost));
        return true;
    }
    int seconds = 0;
    int jobs = 0;
    int perHost = 0;
    if (!ReadNumber(m_ui->timeoutEdit, kMinTimeout, kMaxTimeout, kOutOfRangeMessage, seconds) ||
        !ReadNumber(m_ui->jobsEdit, 1, kMaxJobs, kJobsRangeMessage, jobs))
        return false;
    const std::string perHostRange = AsciiText::Fill(kPerHostRangeMessage, std::to_string(jobs));
    if (!ReadNumber(m_ui->perHostEdit, 1, jobs, perHostRange.c_str(), perHost))
        return false;
    // Untouched patterns keep their bytes, whatever they were; typed ones are UTF-8.
    const QString typed = m_ui->skipUrlsEdit->toPlainText();
    const QByteArray utf8 = typed.toUtf8();
    const std::string patterns =
        typed == CDisplayText::FromBytes(m_prefs.skipUrls)
            ? m_prefs.skipUrls
            : std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (const std::string bad = CUrlExclusions().SetPatterns(CUrlExclusions::SplitLines(patterns));
        !bad.empty()) {
        Warn(QStringLiteral("Skip URLs matching: ") + CDisplayText::FromBytes(bad));
        m_ui->skipUrlsEdit->setFocus();
        return false;
    }
    m_prefs.timeoutSeconds = seconds;
    m_prefs.bCurrentWeb = m_ui->currentWebCheck->isChecked();
    m_prefs.bLocalLinks = m_ui->localLinksCheck->isChecked();
    m_prefs.skipUrls = patterns;
    m_prefs.jobs = jobs;
    m_prefs.perHost = perHost;
    return true;
}

bool CPreferencesDlg::ReadNumber(QLineEdit* edit, int least, int most, const char* rangeMessage,
                                 int& value) {
    bool bNumber = false;
    value = edit->text().trimmed().toInt(&bNumber);
    if (bNumber && value >= least && value <= most)
        return true;
    Warn(QString::fromUtf8(bNumber ? rangeMessage : kNotIntegerMessage));
    edit->setFocus();
    edit->selectAll();
    return false;
}

void CPreferencesDlg::Warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Linkvet"), text, QMessageBox::Ok, this);
    box.exec();
}

void CPreferencesDlg::OnOK() {
    // The checks count even when the time-out is then refused.
    m_reasons.SetFilter(m_ui->reasonList->Checks());
    if (UpdateData(true))
        accept();
}

void CPreferencesDlg::OnPreset(std::string_view filter) {
    m_reasons.SetFilter(std::string(filter));
    m_ui->reasonList->SetChecks(m_reasons.Filter());
}
