#include "dialogs/CHelpViewer.h"

#include <QDialogButtonBox>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// The manual lives in a static library, whose resources are registered by hand.
static void InitHelpResource() {
    Q_INIT_RESOURCE(help);
}

CHelpViewer::CHelpViewer(QWidget* parent) : QDialog(parent) {
    InitHelpResource();
    setWindowTitle(QStringLiteral("Linkvet Help"));
    m_pBrowser = new QTextBrowser;
    m_pBrowser->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pBrowser);
    layout->addWidget(buttons);
    // About 70 characters a line, and most of a topic in view.
    const QFontMetrics metrics(m_pBrowser->font());
    resize(metrics.averageCharWidth() * 76, metrics.lineSpacing() * 36);
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
