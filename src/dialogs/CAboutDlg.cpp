#include "dialogs/CAboutDlg.h"

#include "export/CReportWriter.h"
#include "ui_CAboutDlg.h"

#include <QIcon>

CAboutDlg::CAboutDlg(QWidget* parent, bool& bMailVisited, bool& bHomeVisited)
    : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()) {
    m_ui->setupUi(this);
    // The reports name the same home page; one address for both.
    m_ui->mailLink->setText(QString::fromLatin1(kMakerMail));
    m_ui->homeLink->setText(QString::fromLatin1(CReportWriter::kHomePage));
    m_ui->mailLink->SetVisitedFlag(bMailVisited);
    m_ui->homeLink->SetVisitedFlag(bHomeVisited);
    m_ui->iconLabel->setPixmap(QIcon(QStringLiteral(":/icons/select@2x.png")).pixmap(32, 32));
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDlg::~CAboutDlg() = default;
