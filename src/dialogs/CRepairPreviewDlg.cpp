// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CRepairPreviewDlg.h"

#include "results/CDisplayText.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QSyntaxHighlighter>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Removed lines red, added lines green, hunk heads grey, as diff tools show them.
class CDiffHighlighter : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& text) override {
        QTextCharFormat format;
        if (text.startsWith(QLatin1String("+++")) || text.startsWith(QLatin1String("---"))) {
            format.setFontWeight(QFont::Bold);
        } else if (text.startsWith(QLatin1Char('-'))) {
            format.setForeground(QColor(0xa0, 0x00, 0x00));
            format.setBackground(QColor(0xff, 0xe8, 0xe8));
        } else if (text.startsWith(QLatin1Char('+'))) {
            format.setForeground(QColor(0x00, 0x70, 0x00));
            format.setBackground(QColor(0xe6, 0xff, 0xe6));
        } else if (text.startsWith(QLatin1String("@@"))) {
            format.setForeground(QColor(0x55, 0x55, 0x88));
        } else {
            return;
        }
        setFormat(0, static_cast<int>(text.size()), format);
    }
};

// The diff for the eye: a CR before a line's end shown as "^M", so that a
// line whose only change is its line end shows the change.
QString ShownDiff(const std::string& diff, int mostLines) {
    std::string shown;
    int lines = 0;
    std::size_t at = 0;
    while (at < diff.size() && lines < mostLines) {
        std::size_t end = diff.find('\n', at);
        end = end == std::string::npos ? diff.size() : end;
        std::string_view line(diff.data() + at, end - at);
        const bool bCr = !line.empty() && line.back() == '\r';
        if (bCr)
            line.remove_suffix(1);
        shown.append(line).append(bCr ? "^M\n" : "\n");
        at = end + 1;
        ++lines;
    }
    QString text = CDisplayText::FromBytes(shown);
    if (at < diff.size()) {
        const auto more =
            std::count(diff.begin() + static_cast<std::ptrdiff_t>(at), diff.end(), '\n');
        text += QStringLiteral("\n(%1 more lines are not shown)\n").arg(std::max<qint64>(more, 1));
    }
    return text;
}

} // namespace

CRepairPreviewDlg::CRepairPreviewDlg(QWidget* parent, std::vector<SPreviewPage> pages)
    : QDialog(parent), m_pages(std::move(pages)) {
    setObjectName(QStringLiteral("CRepairPreviewDlg"));
    setWindowTitle(QStringLiteral("Repair Preview"));
    int changes = 0;
    int repaired = 0;
    for (const SPreviewPage& page : m_pages)
        if (page.problem.empty()) {
            changes += page.changes;
            ++repaired;
        }
    QString summary =
        QStringLiteral("The repair changes %1 links in %2 pages.").arg(changes).arg(repaired);
    if (repaired < static_cast<int>(m_pages.size()))
        summary += QStringLiteral(" %1 pages cannot be repaired as they stand (in red).")
                       .arg(static_cast<int>(m_pages.size()) - repaired);
    summary +=
        QStringLiteral(" Only the ticked pages are repaired. A line ending in ^M ends in CR LF.");
    m_pSummary = new QLabel(summary, this);
    m_pSummary->setWordWrap(true);

    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("pageList"));
    m_pList->setUniformItemSizes(true);
    m_pList->setWhatsThis(
        QStringLiteral("Each page the repair would change. Only the ticked pages are repaired."));
    for (const SPreviewPage& page : m_pages) {
        QString text = CDisplayText::FromBytes(page.file) + QStringLiteral(" \u2014 ");
        if (!page.problem.empty())
            text +=
                CDisplayText::FromBytes(page.problem).replace(QLatin1Char('\n'), QLatin1Char(' '));
        else
            text += page.changes == 1 ? QStringLiteral("1 change")
                                      : QStringLiteral("%1 changes").arg(page.changes);
        auto* item = new QListWidgetItem(text, m_pList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(page.problem.empty() ? Qt::Checked : Qt::Unchecked);
        if (!page.problem.empty())
            item->setForeground(QColor(0xa0, 0x00, 0x00));
    }

    m_pDiff = new QPlainTextEdit(this);
    m_pDiff->setObjectName(QStringLiteral("diffView"));
    m_pDiff->setReadOnly(true);
    m_pDiff->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pDiff->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pDiff->setWhatsThis(QStringLiteral(
        "The lines the repair changes in the chosen page, with three lines around each: "
        "removed lines in red, added lines in green."));
    new CDiffHighlighter(m_pDiff->document());

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_pList);
    splitter->addWidget(m_pDiff);
    splitter->setStretchFactor(1, 3);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* repair =
        buttons->addButton(QStringLiteral("Repair"), QDialogButtonBox::AcceptRole);
    repair->setObjectName(QStringLiteral("repairButton"));
    repair->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    buttons->addButton(QDialogButtonBox::Help)->setObjectName(QStringLiteral("helpButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &CRepairPreviewDlg::HelpRequested);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);
    resize(760, 560);

    connect(m_pList, &QListWidget::currentRowChanged, this, &CRepairPreviewDlg::ShowPage);
    if (!m_pages.empty())
        m_pList->setCurrentRow(0);
}

CRepairPreviewDlg::~CRepairPreviewDlg() = default;

void CRepairPreviewDlg::ShowPage(int index) {
    if (index < 0 || index >= static_cast<int>(m_pages.size())) {
        m_pDiff->clear();
        return;
    }
    const SPreviewPage& page = m_pages[static_cast<std::size_t>(index)];
    QString text;
    if (!page.problem.empty())
        text = CDisplayText::FromBytes(page.problem) + QStringLiteral("\n\n");
    m_pDiff->setPlainText(text + ShownDiff(page.diff, kShownDiffLines));
}

std::set<std::string> CRepairPreviewDlg::SkippedFiles() const {
    std::set<std::string> skipped;
    for (int i = 0; i < m_pList->count(); ++i)
        if (m_pList->item(i)->checkState() != Qt::Checked)
            skipped.insert(m_pages[static_cast<std::size_t>(i)].file);
    return skipped;
}
