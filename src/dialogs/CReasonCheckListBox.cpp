// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CReasonCheckListBox.h"

#include "engine/CReasonFilter.h"
#include "results/CDisplayText.h"

#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

QString ReasonText(int row) {
    const auto& table = CReasonFilter::ReasonTable();
    if (row < 0 || static_cast<std::size_t>(row) >= table.size())
        return QString();
    return CDisplayText::FromBytes(std::string(table[static_cast<std::size_t>(row)].text));
}

// The text keeps 3 pixels above and below it, so a large font is never cut.
int RowHeight(const QFontMetrics& metrics) {
    return std::max(CReasonCheckListBox::kRowHeight, metrics.height() + 6);
}

// Paints each line with its outcome's text, looked up at the moment of painting.
class CReasonDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(RowHeight(option.fontMetrics));
        return size;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = ReasonText(index.row());
        option->features |= QStyleOptionViewItem::HasDisplay;
    }
};

} // namespace

CReasonCheckListBox::CReasonCheckListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new CReasonDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CReasonCheckListBox::AddReasonItems() {
    for (std::size_t i = 0; i < CReasonFilter::kReasonCount; ++i) {
        auto* item = new QListWidgetItem(this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void CReasonCheckListBox::SetChecks(const std::string& filter) {
    for (int i = 0; i < count(); ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        // Any character but '0' lists its outcome, so it shows as checked.
        const bool bChecked = at < filter.size() && filter[at] != '0';
        item(i)->setCheckState(bChecked ? Qt::Checked : Qt::Unchecked);
    }
}

std::string CReasonCheckListBox::Checks() const {
    std::string checks;
    for (int i = 0; i < count(); ++i)
        checks += item(i)->checkState() != Qt::Unchecked ? '1' : '0';
    return checks;
}

QSize CReasonCheckListBox::sizeHint() const {
    int widest = 0;
    for (int i = 0; i < static_cast<int>(CReasonFilter::kReasonCount); ++i)
        widest = std::max(widest, fontMetrics().horizontalAdvance(ReasonText(i)));
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    // The longest text whole, beside its check box, with room for the item
    // margins and the scroll bar.
    const int width = widest + indicator + verticalScrollBar()->sizeHint().width() +
                      4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) +
                      2 * frameWidth() + 24;
    return {width, 11 * RowHeight(fontMetrics()) + 2 * frameWidth()};
}
