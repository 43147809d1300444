// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CTestProgressDlg.h"

#include "engine/ISessionHost.h"
#include "results/CDisplayText.h"
#include "ui_CTestProgressDlg.h"

#include <tuple>

namespace {

// Long paths and addresses are shortened in the middle to fit the window; the
// whole text is the tooltip.
void SetElided(QLabel* label, const std::string& bytes) {
    const QString text = CDisplayText::FromBytes(bytes);
    label->setToolTip(text);
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width()));
}

} // namespace

CTestProgressDlg::CTestProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_ui(std::make_unique<Ui::CTestProgressDlg>()) {
    m_ui->setupUi(this);
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    for (QLabel* value : {m_ui->currentFile, m_ui->currentUrl, m_ui->siteName})
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (QLabel* caption : {m_ui->currentFileLabel, m_ui->currentUrlLabel})
        caption->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    // The bars set the width: 235 dialog units, as the window was first drawn (a
    // dialog unit is a quarter of the average character width). The window keeps
    // the size its layout gives, whatever the texts.
    const int barWidth = fontMetrics().averageCharWidth() * 235 / 4;
    m_ui->fileBar->setMinimumWidth(barWidth);
    m_ui->urlBar->setMinimumWidth(barWidth);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CTestProgressDlg::~CTestProgressDlg() = default;

void CTestProgressDlg::Create() {
    adjustSize();
    QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (owner != nullptr)
        move(owner->frameGeometry().center() - rect().center());
    show();
    if (owner != nullptr)
        owner->activateWindow(); // the keyboard stays with the main window
}

void CTestProgressDlg::SetValues(const SProgressValues& values) {
    SetElided(m_ui->currentFile, values.currentFile);
    SetElided(m_ui->currentUrl, values.currentUrl);
    SetElided(m_ui->siteName, values.siteName);
    m_ui->fileIndex->setText(QString::fromStdString(values.fileIndex));
    m_ui->fileTotal->setText(QString::fromStdString(values.fileTotal));
    // Several links at once: the last one settled and the counts of the whole
    // test, in place of the current link's place in its page.
    const bool bSummary = !values.summary.empty();
    m_ui->currentUrlLabel->setText(bSummary ? QStringLiteral("Last URL:")
                                            : QStringLiteral("Current URL:"));
    for (QWidget* place : {m_ui->urlLabel, m_ui->urlOfLabel, m_ui->urlTotal})
        place->setVisible(!bSummary);
    m_ui->urlIndex->setText(QString::fromStdString(bSummary ? values.summary : values.urlIndex));
    m_ui->urlTotal->setText(QString::fromStdString(values.urlTotal));
    // A bar whose range is not known yet stays empty (a range of 0 to 0 would
    // show Qt's busy animation instead).
    for (auto [bar, max, pos] : {std::tuple{m_ui->fileBar, values.fileBarMax, values.fileBarPos},
                                 std::tuple{m_ui->urlBar, values.urlBarMax, values.urlBarPos}}) {
        bar->setRange(0, max > 0 ? max : 100);
        bar->setValue(pos);
    }
}
