// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CAboutDlg.h"

#include "export/CReportWriter.h"
#include "ui_CAboutDlg.h"

#include <QIcon>

CAboutDlg::CAboutDlg(QWidget* parent, SVisitedLinks visited)
    : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()) {
    m_ui->setupUi(this);
    // The reports name the same home page; one address for both.
    m_ui->mailLink->setText(QString::fromLatin1(kMakerMail));
    m_ui->homeLink->setText(QString::fromLatin1(CReportWriter::kHomePage));
    m_ui->mailLink->SetVisited(visited.bMail);
    m_ui->homeLink->SetVisited(visited.bHome);
    m_ui->iconLabel->setPixmap(QIcon(QStringLiteral(":/icons/select@2x.png")).pixmap(32, 32));
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDlg::~CAboutDlg() = default;

SVisitedLinks CAboutDlg::VisitedLinks() const {
    return {m_ui->mailLink->IsVisited(), m_ui->homeLink->IsVisited()};
}
