// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CHelpViewer.h"

#include <QDialogButtonBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CHelpViewer::CHelpViewer(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Linkvet Help"));
    m_pBrowser = new QTextBrowser;
    m_pBrowser->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pBrowser);
    layout->addWidget(buttons);
    // Wide enough for the usage lines of linkvet-cli, and most of a topic in view,
    // on any screen.
    const QFontMetrics metrics(m_pBrowser->font());
    const QSize wanted(metrics.averageCharWidth() * 120, metrics.lineSpacing() * 40);
    resize(wanted.boundedTo(screen()->availableGeometry().size() * 9 / 10));
}

void CHelpViewer::ShowTopic(const std::string& anchor) {
    QUrl url(QStringLiteral("qrc:/help/linkvet.html"));
    if (m_pBrowser->source() != url)
        m_pBrowser->setSource(url);
    if (anchor.empty())
        m_pBrowser->verticalScrollBar()->setValue(0);
    else
        m_pBrowser->scrollToAnchor(QString::fromStdString(anchor));
}
