#include "dialogs/CPreferencesDlg.h"

#include "engine/CReasonFilter.h"
#include "ui_CPreferencesDlg.h"

#include <QMessageBox>

CPreferencesDlg::CPreferencesDlg(QWidget* parent, CReasonFilter& reasons)
    : QDialog(parent), m_reasons(reasons), m_ui(std::make_unique<Ui::CPreferencesDlg>()) {
    m_ui->setupUi(this);
    // Room for "1000" and a little more, whatever the font.
    m_ui->timeoutEdit->setFixedWidth(
        m_ui->timeoutEdit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
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
        return true;
    }
    bool bNumber = false;
    const int seconds = m_ui->timeoutEdit->text().trimmed().toInt(&bNumber);
    const char* problem = !bNumber                                         ? kNotIntegerMessage
                          : seconds < kMinTimeout || seconds > kMaxTimeout ? kOutOfRangeMessage
                                                                           : nullptr;
    if (problem == nullptr) {
        m_prefs.timeoutSeconds = seconds;
        m_prefs.bCurrentWeb = m_ui->currentWebCheck->isChecked();
        return true;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Linkvet"), QString::fromUtf8(problem),
                    QMessageBox::Ok, this);
    box.exec();
    m_ui->timeoutEdit->setFocus();
    m_ui->timeoutEdit->selectAll();
    return false;
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
